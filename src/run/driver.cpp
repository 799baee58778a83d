#include "run/driver.hpp"

#include <string>

#include "network/noise.hpp"
#include "network/reference_change.hpp"
#include "run/dialogue.hpp"
#include "run/record_loop.hpp"
#include "run/settings_path.hpp"
#include "support/console.hpp"
#include "support/executable_path.hpp"
#include "text/number_text.hpp"
#include "text/picture.hpp"
#include "touchstone/nport_output.hpp"
#include "touchstone/option_line.hpp"
#include "touchstone/output_record.hpp"
#include "touchstone/record_reader.hpp"

namespace tavrin {

namespace {

constexpr int status_ok = 0;
constexpr int status_failure = 1;

// What the run takes from the input files' headers: the option line it writes (the reverse
// file's in two-file mode), the references the data is given for and the wave definition.
struct RunHeader {
    OptionLine option;
    StatedReferences references;
    WaveDefinition waves = WaveDefinition::traveling;
};

Failure in_file(Failure failure, FileRole file) {
    failure.file = file;
    return failure;
}

// One file up to its first record: header lines, option line, keyword lines, what the file
// states about its references.
Failure read_file_header(RecordReader& reader, FileRole file, FileHeader& header,
                         OptionLine& option, StatedReferences& references) {
    if (!reader.read_header(header)) return failure_of(Cause::no_option_line, file);
    if (header.keywords.refusal) return in_file(header.keywords.refusal, file);
    // A comment after the first record the reader could not take.
    if (reader.problem()) return in_file(reader.problem(), file);
    option = read_option_line(header.option_line);
    if (option.other_parameters) {
        return failure_of(Cause::other_parameters, file, header.option_line_number, option.text);
    }
    return in_file(read_stated_references(option, header, references), file);
}

// Both files' headers, and the one set of references two files of a measurement must share.
Failure read_run_header(const RunInputs& run, const RunOptions& options, RecordReader& forward,
                        RecordReader& reverse, RunHeader& header) {
    FileHeader forward_header;
    if (Failure failure = read_file_header(forward, FileRole::forward, forward_header,
                                           header.option, header.references)) {
        return failure;
    }
    header.waves = options.waves.value_or(forward_header.waves.value_or(WaveDefinition::traveling));
    if (run.single_file) return {};

    const auto one_reference_only = [](const StatedReferences& references, FileRole file,
                                       long long line) -> Failure {
        // The reverse data is combined with the forward data as if both had one reference.
        if (references.kind == StatedReferences::Kind::per_port) {
            return failure_of(Cause::per_port_in_two_files, file, line);
        }
        if (references.kind == StatedReferences::Kind::per_frequency) {
            return failure_of(Cause::per_frequency_in_two_files, file, line);
        }
        return {};
    };
    if (Failure failure = one_reference_only(header.references, FileRole::forward,
                                             forward_header.option_line_number)) {
        return failure;
    }
    const double forward_reference = header.references.values[0];
    FileHeader reverse_header;
    // The reverse file's option line is the one written, as it always has been.
    if (Failure failure = read_file_header(reverse, FileRole::reverse, reverse_header,
                                           header.option, header.references)) {
        return failure;
    }
    if (Failure failure = one_reference_only(header.references, FileRole::reverse,
                                             reverse_header.option_line_number)) {
        return failure;
    }
    if (header.references.values[0] != forward_reference) {
        Failure failure = failure_of(Cause::references_differ, FileRole::reverse,
                                     reverse_header.option_line_number,
                                     canonical_number_text(header.references.values[0]));
        failure.other = canonical_number_text(forward_reference);
        return failure;
    }
    return {};
}

ReferenceChange reference_change(const RunHeader& header, double z_new,
                                 const TwoPortPlan* plan) {
    const StatedReferences& references = header.references;
    if (plan != nullptr && plan->z_new[0] != plan->z_new[1]) {
        const bool fixed = references.kind != StatedReferences::Kind::per_frequency;
        return ReferenceChange::to_each_port(fixed ? references.values : nullptr, header.waves,
                                             plan->z_new[0], plan->z_new[1]);
    }
    switch (references.kind) {
        case StatedReferences::Kind::per_port:
            return ReferenceChange::per_port(references.values[0], references.values[1], z_new);
        case StatedReferences::Kind::per_frequency:
            return ReferenceChange::per_record(header.waves, z_new);
        case StatedReferences::Kind::one:
            break;
    }
    return ReferenceChange::one_reference(references.values[0], z_new);
}

// The noise block after the S-parameter lines, for the new reference (port 1's). A Touchstone
// 2.0 output gives Rn in ohms after '[Noise Data]'.
Failure write_noise_block(TwoPortReader& two_ports, const RunHeader& header, double z_new,
                          bool version_2, OutputSlot& output, RunReport& report,
                          RecordObserver* observer) {
    const double r1 = header.references.noise_reference;
    PictureState pictures;
    NoiseLine noise;
    while (two_ports.next_noise_line(noise)) {
        // Checked only here: a file of port impedances may state no usable R, and needs one
        // only for a noise block.
        if (!is_usable_impedance(r1)) {
            return failure_of(Cause::reference_not_usable, FileRole::forward, 0,
                              canonical_number_text(r1));
        }
        if (version_2 && report.noise_lines == 0) write_version_2_noise_start(output);
        // Rn itself does not depend on the reference: one rounding from what the file gives.
        const double rn_ohms = noise.resistance_in_ohms
                                   ? noise.parameters.resistance
                                   : static_cast<double>(
                                         static_cast<Extended>(noise.parameters.resistance) * r1);
        const NoiseParameters read = noise.parameters;
        renormalise_noise(noise.parameters, r1, z_new, noise.resistance_in_ohms);
        if (observer != nullptr) {
            observer->noise(parse_number(noise.frequency_text), read, noise.parameters);
        }
        if (version_2) noise.parameters.resistance = rn_ohms;
        write_noise_record(output, pictures, noise.frequency_text, noise.parameters);
        ++report.noise_lines;
        if (output.failed()) break;
    }
    report.noise_left_out = two_ports.noise_block_left_out();
    return {};
}

std::string impedance_text(const Complex& z) {
    return canonical_number_text(z.re) + (z.im < 0 ? "-j" : "+j") +
           canonical_number_text(z.im < 0 ? -z.im : z.im);
}

// The record a loop stopped at, whose references cannot define the waves.
Failure refused_references(const TwoPortReader& two_ports, WaveDefinition waves) {
    const PortImpedances& z = two_ports.port_impedances();
    Failure failure = failure_of(Cause::port_impedance_not_usable, FileRole::forward,
                                 two_ports.port_impedances_line(),
                                 impedance_text(z.port1) + " and " + impedance_text(z.port2));
    failure.other = std::string(wave_definition_name(waves));
    return failure;
}

}  // namespace

int process_run(const RunInputs& run, const RunOptions& options, FileSlots& slots,
                RunReport& report, const TwoPortPlan* plan) {
    RecordReader forward(slots.forward, plan != nullptr);
    RecordReader reverse(slots.reverse);
    RunHeader header;
    report.z_new = run.z_new;
    report.failure = read_run_header(run, options, forward, reverse, header);
    report.references = header.references;
    report.waves = header.waves;
    if (report.failure) return status_failure;
    report.format_name = header.option.format->name;
    // The option line's value is replaced whatever it is when port impedances decide.
    const double replaced = header.references.kind == StatedReferences::Kind::per_frequency
                                ? header.option.z_old
                                : header.references.values[0];
    const bool version_2 = plan != nullptr && plan->version_2;
    const std::string option_line = rewrite_option_line(header.option, replaced, run.z_new);
    report.option_line = option_line;
    if (!version_2) {
        slots.output.write(option_line);
        slots.output.write_line_end();
    }

    TwoPortReader two_ports(forward, run.single_file ? nullptr : &reverse);
    const RecordConversion conversion{*header.option.format,
                                      reference_change(header, run.z_new, plan),
                                      two_ports.layout()};
    RecordObserver* const observer = plan != nullptr ? plan->observer : nullptr;
    const LoopResult loop =
        run_record_loop(two_ports, conversion, slots.output, options.threads, observer);
    report.records = loop.records;
    switch (loop.end) {
        case LoopEnd::complete:
            report.failure = write_noise_block(two_ports, header, run.z_new, version_2,
                                               slots.output, report, observer);
            break;
        case LoopEnd::write_failed:
            break;
        case LoopEnd::input_problem:
            report.failure = two_ports.problem();
            break;
        case LoopEnd::reference_refused:
            report.failure = refused_references(two_ports, header.waves);
            break;
        case LoopEnd::record_broken:
            report.failure = loop.broken;
            break;
    }
    if (report.failure) {
        // The lines written are right, but the file would look complete: leave none.
        slots.output.discard();
        return status_failure;
    }
    if (slots.output.failed()) {
        report.failure = failure_of(Cause::write_failed, FileRole::output);
        report.failure.system_error = slots.output.error();
        return status_failure;
    }
    if (slots.forward.failed() || slots.reverse.failed()) {
        const bool forward_failed = slots.forward.failed();
        report.failure = failure_of(Cause::read_failed,
                                    forward_failed ? FileRole::forward : FileRole::reverse);
        report.failure.system_error = (forward_failed ? slots.forward : slots.reverse).error();
        return status_failure;
    }
    return status_ok;
}

int run_program(const CommandLine& command, FileSlots& slots, RunReport& report) {
    RunInputs run;
    if (command.mode == CommandLine::Mode::run) {
        report.failure = open_command_line_run(command.arguments, slots, run);
        if (report.failure) return status_failure;
    } else {
        // Any other argument list: the same inputs are asked for in the dialogue.
        const std::string settings_path = settings_file_path(executable_path(), path_separator);
        if (!run_dialogue(system_console(), slots, run, settings_path)) return status_failure;
    }
    return process_run(run, command.options, slots, report);
}

}  // namespace tavrin
