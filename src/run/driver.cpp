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

namespace {

// The option line and keyword lines of the input files, and what the run takes from them.
struct RunHeader {
    std::string option_line;  // the one the output's option line is made from
    FileKeywords keywords;    // of the file whose option line is used
    bool refused = false;     // data that cannot be renormalised as S-parameters
};

bool names_other_parameters_as_read(std::string line) {
    clean_line(line);
    return names_other_parameters(line);
}

// Each file up to its first data record: its header, its option line and its keyword lines.
// In two-file mode the reverse file's option line is the one used.
bool read_header(const RunInputs& run, FileSlots& slots, RecordReader& reader, RunHeader& header) {
    if (!skip_to_option_line(slots.forward, header.option_line)) return false;
    header.keywords = reader.read_keyword_lines(slots.forward, forward_slot);
    header.refused = header.keywords.refused;
    if (run.single_file) return true;
    // Forward data of another parameter type would be mixed into the S-parameters.
    header.refused = header.refused || names_other_parameters_as_read(header.option_line);
    if (!skip_to_option_line(slots.reverse, header.option_line)) return false;
    header.keywords = reader.read_keyword_lines(slots.reverse, reverse_slot);
    header.refused = header.refused || header.keywords.refused;
    return true;
}

// The pairs of the next record, S11, S21, S12, S22; false at the end of the forward data. In
// two-file mode a missing or mismatched reverse record sets mismatch.
bool next_two_port(const RunInputs& run, FileSlots& slots, RecordReader& reader, TwoPort& s,
                   bool& mismatch) {
    DataRecord forward;
    if (!reader.next_record(slots.forward, forward_slot, run.single_file ? 4 : 2, forward)) {
        return false;
    }
    s.s11 = forward.pairs[0];
    s.s21 = forward.pairs[1];
    if (run.single_file) {
        s.s12 = forward.pairs[2];
        s.s22 = forward.pairs[3];
        // A line that stops before S12's second number holds only S11 and S21: it describes a
        // symmetrical, reciprocal device. Written zeros are data and stay.
        if (forward.tokens <= 5) {
            s.s12 = s.s21;
            s.s22 = s.s11;
        }
        return true;
    }
    DataRecord reverse;
    // The reverse file measures the same frequencies; anything else pairs wrong data.
    if (!reader.next_record(slots.reverse, reverse_slot, 2, reverse) ||
        reverse.frequency != forward.frequency) {
        mismatch = true;
        return false;
    }
    s.s22 = reverse.pairs[0];
    s.s12 = reverse.pairs[1];
    return true;
}

}  // namespace

int process_run(const RunInputs& run, FileSlots& slots) {
    RecordReader reader;
    RunHeader header;
    if (!read_header(run, slots, reader, header)) return status_failure;

    std::string& option_line = header.option_line;
    DataFormat format = DataFormat::ri;
    double z_old = read_option_line(option_line, format);
    if (header.refused || names_other_parameters(option_line)) return status_failure;
    if (header.keywords.has_reference) z_old = header.keywords.reference;
    // A zero, negative or non-finite old impedance makes every number meaningless.
    if (!is_usable_impedance(z_old)) return status_failure;
    rewrite_option_line(option_line, z_old, run.z_new);
    slots.output.write(option_line);
    slots.output.write_line_end();

    const Complex gamma = renormalisation_gamma(z_old, run.z_new);
    PictureState pictures;
    TwoPort s;
    TwoPort result;
    bool mismatch = false;
    while (next_two_port(run, slots, reader, s, mismatch)) {
        if (format != DataFormat::ri) convert_all(s, convert_to_ri, format);
        renormalise(s, gamma, result);
        if (format != DataFormat::ri) convert_all(result, convert_from_ri, format);
        write_data_record(slots.output, pictures, reader.frequency_text(), format, result);
        // Stop at once on a full disk rather than compute what cannot be written.
        if (slots.output.failed()) return status_failure;
    }
    if (mismatch) {
        // Lines already written are right, but the file would look complete: leave none.
        slots.output.discard();
        return status_failure;
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
