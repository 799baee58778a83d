#include "run/command_line.hpp"

#include <algorithm>
#include <string_view>

#include "run/inputs.hpp"
#include "text/number_text.hpp"

namespace tavrin {

namespace {

constexpr std::string_view waves_option = "--waves=";

bool is_option(std::string_view argument) { return argument.size() > 1 && argument[0] == '-'; }

std::optional<WaveDefinition> waves_named(std::string_view name) {
    if (name == "traveling") return WaveDefinition::traveling;
    if (name == "power") return WaveDefinition::power;
    if (name == "pseudo") return WaveDefinition::pseudo;
    return std::nullopt;
}

bool is_help(std::string_view argument) { return argument == "--help" || argument == "-h"; }

// An option of the file form that takes a value: '--name=value', or '--name' and the next
// argument. Gives the value, or nothing for another option.
std::optional<std::string_view> value_of(std::string_view name,
                                         const std::vector<std::string_view>& arguments,
                                         std::size_t& next, bool& missing) {
    const std::string_view option = arguments[next];
    if (!option.starts_with(name)) return std::nullopt;
    const std::string_view rest = option.substr(name.size());
    if (rest.starts_with("=")) return rest.substr(1);
    if (!rest.empty()) return std::nullopt;
    if (next + 1 == arguments.size()) {
        missing = true;
        return std::string_view{};
    }
    return arguments[++next];
}

std::optional<int> port_count(std::string_view text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > most_ports) return std::nullopt;
    return n;
}

// A port number of --mixed-mode: 1 to most_ports, counted from 0.
std::optional<std::size_t> pair_port(std::string_view text) {
    const std::optional<int> n = port_count(text);
    if (!n) return std::nullopt;
    return static_cast<std::size_t>(*n - 1);
}

// The file form's arguments after its options.
void take_file_arguments(const std::vector<std::string_view>& rest, CommandLine& command) {
    FileForm& files = command.files;
    if (files.out_dir) {
        if (rest.empty()) {
            command.problem = "expected INPUT... after --out-dir, got none";
            return;
        }
        files.inputs.assign(rest.begin(), rest.end());
        return;
    }
    if (rest.size() != 2) {
        command.problem = "expected INPUT OUTPUT after --to, got " + std::to_string(rest.size()) +
                          (rest.size() == 1 ? " argument" : " arguments");
        return;
    }
    files.inputs.assign(1, std::string(rest[0]));
    files.output = rest[1];
}

// What --plot can name: a picture beside a file, or the one file given.
void check_picture(CommandLine& command) {
    const FileForm& files = command.files;
    if (!files.plot || !command.problem.empty()) return;
    if (files.plot_file == "-") {
        command.problem = "--plot=- : the picture is written to a file; name one";
    } else if (!files.plot_file.empty() && files.inputs.size() > 1) {
        command.problem = "--plot=FILE names one picture, but " +
                          std::to_string(files.inputs.size()) +
                          " inputs are given; --plot alone writes one beside each output";
    } else if (files.plot_file.empty() && !files.out_dir && files.output == "-") {
        command.problem = "--plot needs a file name (--plot=FILE) when the output is "
                          "standard output";
    }
}
bool is_version(std::string_view argument) { return argument == "--version" || argument == "-V"; }

}  // namespace

std::optional<std::vector<double>> parse_new_references(std::string_view text) {
    std::vector<double> values;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        std::size_t length = 0;
        const double z = parse_number(item, length);
        // The whole item must be the number, or a number and "ohm" as the dialogue takes it.
        const std::string_view after = item.substr(length);
        if (length == 0 || !is_usable_impedance(z) || (!after.empty() && after != "ohm" &&
                                                      after != "ohms" && after != "Ohm")) {
            return std::nullopt;
        }
        values.push_back(z);
        if (comma == std::string_view::npos) return values;
        text.remove_prefix(comma + 1);
    }
}

std::optional<ModeOrder> parse_pairs(std::string_view text, std::string& problem) {
    ModeOrder pairs;
    const std::string given = "--mixed-mode " + std::string(text);
    for (std::string_view rest = text;;) {
        const std::string_view item = rest.substr(0, rest.find(':'));
        const std::size_t comma = item.find(',');
        const std::optional<std::size_t> p = pair_port(item.substr(0, comma));
        const std::optional<std::size_t> n =
            comma == std::string_view::npos ? std::nullopt : pair_port(item.substr(comma + 1));
        if (!p || !n) {
            problem = "--mixed-mode needs pairs of ports P,N separated by ':', the positive line "
                      "first (--mixed-mode 1,3:2,4), not '" + std::string(text) + "'";
            return std::nullopt;
        }
        if (*p == *n) {
            problem = given + ": the pair " + std::string(item) + " is one port";
            return std::nullopt;
        }
        for (const Mode& pair : pairs) {
            for (const std::size_t port : {*p, *n}) {
                if (port == pair.positive || port == pair.negative) {
                    problem = given + ": port " + std::to_string(port + 1) + " is in two pairs";
                    return std::nullopt;
                }
            }
        }
        pairs.push_back({ModeKind::differential, *p, *n});
        if (item.size() == rest.size()) return pairs;
        rest.remove_prefix(item.size() + 1);
    }
}

CommandLine parse_command_line(int argc, const char* const* argv) {
    std::vector<std::string_view> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    CommandLine command;
    if (arguments.empty() || !is_option(arguments.front())) {
        command.mode = arguments.size() == 4 ? CommandLine::Mode::run : CommandLine::Mode::dialogue;
        command.arguments.assign(arguments.begin(), arguments.end());
        return command;
    }
    bool help = false;
    bool version = false;
    bool file_form = false;
    std::string_view new_option;  // an option only the file form has
    std::size_t next = 0;
    for (; next < arguments.size() && is_option(arguments[next]); ++next) {
        const std::string_view option = arguments[next];
        if (option == "--") {
            ++next;
            break;
        }
        bool missing = false;
        if (const auto to = value_of("--to", arguments, next, missing)) {
            file_form = true;
            command.files.to_text = *to;
            if (const auto values = parse_new_references(*to); values && !missing) {
                command.files.to = *values;
            } else if (command.problem.empty()) {
                command.problem = "--to needs impedances above 0, one or one per port separated "
                                  "by commas (--to 75, --to 50,200), not '" + std::string(*to) + "'";
            }
            continue;
        }
        if (const auto dir = value_of("--out-dir", arguments, next, missing)) {
            new_option = option;
            command.files.out_dir = std::string(*dir);
            if ((missing || dir->empty()) && command.problem.empty()) {
                command.problem = "--out-dir needs a folder";
            }
            continue;
        }
        if (const auto ports = value_of("--ports", arguments, next, missing)) {
            new_option = option;
            if (const auto n = port_count(*ports); n && !missing) {
                command.files.ports = *n;
            } else if (command.problem.empty()) {
                command.problem = "--ports needs a port count from 1 to " +
                                  std::to_string(most_ports) + ", not '" + std::string(*ports) + "'";
            }
            continue;
        }
        if (const auto pairs = value_of("--mixed-mode", arguments, next, missing)) {
            new_option = option;
            command.files.pairs_text = *pairs;
            std::string problem;
            command.files.pairs = missing ? std::nullopt : parse_pairs(*pairs, problem);
            if (!command.files.pairs && command.problem.empty()) {
                command.problem = missing ? "--mixed-mode needs pairs of ports P,N" : problem;
            }
            continue;
        }
        if (option == "--single-ended") {
            new_option = option;
            command.files.single_ended = true;
            continue;
        }
        if (option == "--plot" || option.starts_with("--plot=")) {
            new_option = "--plot";
            command.files.plot = true;
            command.files.plot_file = option.substr(std::min(option.size(), std::size_t{7}));
            if (option == "--plot=" && command.problem.empty()) {
                command.problem = "--plot= needs a file name, or give --plot alone";
            }
            continue;
        }
        if (option == "--verbose" || option == "-v") {
            command.options.verbose = true;
        } else if (option.starts_with(waves_option) &&
                   waves_named(option.substr(waves_option.size()))) {
            command.options.waves = waves_named(option.substr(waves_option.size()));
        } else if (is_help(option)) {
            help = true;
        } else if (is_version(option)) {
            version = true;
        } else if (command.problem.empty()) {
            command.problem = option.starts_with(waves_option)
                                  ? "unknown wave definition in '" + std::string(option) +
                                        "' (traveling, power or pseudo)"
                                  : "unknown option '" + std::string(option) + "'";
        }
    }
    // Asked for help, the user gets it, whatever else was wrong with the line.
    if (help || version) {
        command.mode = help ? CommandLine::Mode::help : CommandLine::Mode::version;
        return command;
    }
    if (!file_form && !new_option.empty() && command.problem.empty()) {
        command.problem.assign(1, '\'').append(new_option).append("' goes with --to");
    }
    if (command.files.single_ended && command.files.pairs && command.problem.empty()) {
        command.problem = "--single-ended and --mixed-mode ask for different outputs: give one";
    }
    if (file_form && command.problem.empty()) {
        take_file_arguments({arguments.begin() + static_cast<std::ptrdiff_t>(next), arguments.end()},
                            command);
        check_picture(command);
    }
    if (file_form) {
        command.mode = command.problem.empty() ? CommandLine::Mode::files : CommandLine::Mode::refused;
        return command;
    }
    const std::size_t rest = arguments.size() - next;
    if (command.problem.empty() && rest != 4) {
        command.problem = "expected FORWARD REVERSE OUTPUT IMPEDANCE after the options, got " +
                          std::to_string(rest) + (rest == 1 ? " argument" : " arguments");
    }
    if (!command.problem.empty()) {
        command.mode = CommandLine::Mode::refused;
        return command;
    }
    command.mode = CommandLine::Mode::run;
    command.arguments.assign(arguments.begin() + static_cast<std::ptrdiff_t>(next), arguments.end());
    return command;
}

}  // namespace tavrin
