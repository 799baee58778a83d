#include "run/driver.hpp"

#include <cmath>

#include "network/conversions.hpp"
#include "support/text.hpp"
#include "network/renormalise.hpp"
#include "run/dialogue.hpp"
#include "run/settings_path.hpp"
#include "support/console.hpp"
#include "support/executable_path.hpp"
#include "text/number_text.hpp"
#include "text/picture.hpp"
#include "touchstone/line_tokens.hpp"
#include "touchstone/option_line.hpp"
#include "touchstone/output_record.hpp"
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

void convert_all(TwoPort& s, void (*convert)(Complex&, DataFormat), DataFormat format) {
    convert(s.s11, format);
    convert(s.s21, format);
    convert(s.s12, format);
    convert(s.s22, format);
}

}  // namespace

bool is_usable_impedance(double z) { return std::isfinite(z) && z > 0.0; }

bool output_reaches_an_input(const std::string& output_path, const FileSlots& slots) {
    const FileIdentity output = identity_of_path(output_path);
    return output.same_as(slots.forward.identity()) || output.same_as(slots.reverse.identity());
}

int open_command_line_run(const std::vector<std::string>& arguments, FileSlots& slots,
                          RunInputs& run) {
    run.forward_name = arguments.at(0);
    run.reverse_name = arguments.at(1);
    run.output_name = arguments.at(2);
    if (run.output_name == run.forward_name || run.output_name == run.reverse_name) {
        return status_failure;
    }
    run.single_file = run.forward_name == run.reverse_name;
    if (!slots.forward.open(run.forward_name + std::string(s2p_extension))) return status_failure;
    if (!run.single_file &&
        !slots.reverse.open(run.reverse_name + std::string(s2p_extension))) {
        return status_failure;
    }
    const std::string output_path = run.output_name + std::string(s2p_extension);
    if (output_reaches_an_input(output_path, slots)) return status_failure;
    if (!slots.output.open(output_path)) return status_failure;
    // An infinite impedance would make every output number NaN: refuse it like 0.
    run.z_new = parse_number(arguments.at(3));
    if (!is_usable_impedance(run.z_new)) return status_failure;
    return status_ok;
}

int process_run(const RunInputs& run, FileSlots& slots) {
    std::string option_line;
    if (!skip_to_option_line(slots.forward, option_line)) return status_failure;
    // In two-file mode the reverse file's option line replaces the forward file's.
    if (!run.single_file && !skip_to_option_line(slots.reverse, option_line)) {
        return status_failure;
    }

    DataFormat format = DataFormat::ri;
    const double z_old = read_option_line(option_line, format);
    // A zero, negative or non-finite old impedance makes every number meaningless.
    if (!is_usable_impedance(z_old)) return status_failure;
    rewrite_option_line(option_line, z_old, run.z_new);
    slots.output.write(option_line);
    slots.output.write_line_end();

    const Complex gamma = renormalisation_gamma(z_old, run.z_new);
    RecordReader reader;
    PictureState pictures;
    TwoPort s;
    TwoPort result;
    for (;;) {
        std::string_view record = reader.next_data_record(slots.forward, forward_slot);
        if (record.empty()) break;
        s.s11.re = pop_number(record);
        s.s11.im = pop_number(record);
        s.s21.re = pop_number(record);
        s.s21.im = pop_number(record);
        if (run.single_file) {
            s.s12.re = pop_number(record);
            s.s12.im = pop_number(record);
            s.s22.re = pop_number(record);
            s.s22.im = pop_number(record);
            // A line with only S11 and S21 describes a symmetrical, reciprocal device.
            if (s.s12.im == 0.0 && s.s22.im == 0.0) {
                s.s12 = s.s21;
                s.s22 = s.s11;
            }
        } else {
            std::string_view reverse = reader.next_data_record(slots.reverse, reverse_slot);
            s.s22.re = pop_number(reverse);
            s.s22.im = pop_number(reverse);
            s.s12.re = pop_number(reverse);
            s.s12.im = pop_number(reverse);
        }
        if (format != DataFormat::ri) convert_all(s, convert_to_ri, format);
        renormalise(s, gamma, result);
        if (format != DataFormat::ri) convert_all(result, convert_from_ri, format);
        write_data_record(slots.output, pictures, reader.frequency_text(), format, result);
        // Stop at once on a full disk rather than compute what cannot be written.
        if (slots.output.failed()) return status_failure;
    }
    if (slots.forward.failed() || slots.reverse.failed()) return status_failure;
    return status_ok;
}

int run_program(int argc, char** argv) {
    FileSlots& slots = file_slots();
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
