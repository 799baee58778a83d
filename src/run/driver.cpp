#include "run/driver.hpp"

#include <string>

#include "network/renormalise.hpp"
#include "run/dialogue.hpp"
#include "run/record_loop.hpp"
#include "run/settings_path.hpp"
#include "support/console.hpp"
#include "support/executable_path.hpp"
#include "support/text.hpp"
#include "touchstone/option_line.hpp"
#include "touchstone/record_reader.hpp"

namespace tavrin {

namespace {

constexpr int status_ok = 0;
constexpr int status_failure = 1;

// Reads lines up to the first one whose very first character is '#'; false at end of file.
bool skip_to_option_line(InputSlot& input, std::string& line) {
    while (input.read_line(line)) {
        if (first_code(line) == '#') return true;
    }
    return false;
}

// What the run takes from the input files' headers: the option line it writes (the reverse
// file's in two-file mode), the impedance the data is given for, and whether it can be used.
struct RunHeader {
    OptionLine option;
    double z_old = 50.0;
    bool refused = false;  // not S-parameters, or keywords asking for what cannot be done
};

// Each file up to its first data record: header lines, option line, keyword lines.
bool read_header(const RunInputs& run, FileSlots& slots, RecordReader& forward,
                 RecordReader& reverse, RunHeader& header) {
    std::string line;
    if (!skip_to_option_line(slots.forward, line)) return false;
    FileKeywords keywords = forward.read_keyword_lines();
    bool refused = keywords.refused;
    if (!run.single_file) {
        // Forward data of another parameter type would be mixed into the S-parameters.
        refused = refused || read_option_line(line).other_parameters;
        if (!skip_to_option_line(slots.reverse, line)) return false;
        keywords = reverse.read_keyword_lines();
        refused = refused || keywords.refused;
    }
    header.option = read_option_line(std::move(line));
    header.refused = refused || header.option.other_parameters;
    header.z_old = keywords.has_reference ? keywords.reference : header.option.z_old;
    return true;
}

}  // namespace

int process_run(const RunInputs& run, FileSlots& slots) {
    RecordReader forward(slots.forward);
    RecordReader reverse(slots.reverse);
    RunHeader header;
    if (!read_header(run, slots, forward, reverse, header)) return status_failure;
    // A zero, negative or non-finite old impedance makes every number meaningless.
    if (header.refused || !is_usable_impedance(header.z_old)) return status_failure;
    slots.output.write(rewrite_option_line(header.option, header.z_old, run.z_new));
    slots.output.write_line_end();

    TwoPortReader two_ports(forward, run.single_file ? nullptr : &reverse);
    const RecordConversion conversion{*header.option.format,
                                      renormalisation_gamma(header.z_old, run.z_new),
                                      two_ports.layout()};
    switch (run_record_loop(two_ports, conversion, slots.output, loop_threads_from_environment())) {
        case LoopEnd::complete:
            break;
        case LoopEnd::write_failed:
            return status_failure;
        case LoopEnd::mismatched:
            // The lines written are right, but the file would look complete: leave none.
            slots.output.discard();
            return status_failure;
    }
    if (slots.forward.failed() || slots.reverse.failed()) return status_failure;
    return status_ok;
}

int run_program(int argc, char** argv, FileSlots& slots) {
    RunInputs run;
    if (argc == 5) {
        const std::vector<std::string> arguments(argv + 1, argv + 5);
        if (open_command_line_run(arguments, slots, run) != status_ok) return status_failure;
    } else {
        // Any other argument count: the same inputs are asked for in the dialogue.
        const std::string settings_path = settings_file_path(executable_path(), path_separator);
        if (!run_dialogue(system_console(), slots, run, settings_path)) return status_failure;
    }
    return process_run(run, slots);
}

}  // namespace tavrin
