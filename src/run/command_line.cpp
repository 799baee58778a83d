#include "run/command_line.hpp"

#include <string_view>

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
bool is_version(std::string_view argument) { return argument == "--version" || argument == "-V"; }

}  // namespace

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
    std::size_t next = 0;
    for (; next < arguments.size() && is_option(arguments[next]); ++next) {
        const std::string_view option = arguments[next];
        if (option == "--") {
            ++next;
            break;
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
