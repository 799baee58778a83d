#include "run/nport_run.hpp"

#include <vector>

#include "network/nport_renormalise.hpp"
#include "text/number_text.hpp"
#include "touchstone/nport_output.hpp"
#include "touchstone/option_line.hpp"

namespace tavrin {

namespace {

Failure in_input(Failure failure) {
    if (failure.file == FileRole::none) failure.file = FileRole::forward;
    return failure;
}

Failure record_failure(Cause cause, const NPortRecord& record) {
    return failure_of(cause, FileRole::forward, record.line, record.frequency_text);
}

std::string impedances_text(const std::vector<Complex>& z) {
    std::string text;
    for (const Complex& value : z) {
        if (!text.empty()) text += ", ";
        text += canonical_number_text(value.re) + (value.im < 0 ? "-j" : "+j") +
                canonical_number_text(value.im < 0 ? -value.im : value.im);
    }
    return text;
}

void apply_format(void (*convert)(Complex&), std::vector<Complex>& s) {
    if (convert == nullptr) return;
    for (Complex& pair : s) convert(pair);
}

}  // namespace

Failure convert_nport_file(NPortReader& reader, NPortHeader& header, const NPortPlan& plan,
                           OutputSlot& output, RunReport& report) {
    const std::size_t ports = static_cast<std::size_t>(plan.ports);
    report.ports = ports;
    if (header.refusal) return in_input(header.refusal);
    const OptionLine option = read_option_line(header.option_line);
    if (option.other_parameters) {
        return failure_of(Cause::other_parameters, FileRole::forward, header.option_line_number,
                          option.text);
    }
    reader.begin_records(plan.ports, header);
    NPortReferences references;
    if (Failure failure = read_nport_references(option, header, ports, references)) {
        return in_input(failure);
    }
    std::vector<double> z_new(ports, plan.z_new.front());
    if (plan.z_new.size() == ports) {
        z_new.assign(plan.z_new.begin(), plan.z_new.end());
    } else if (plan.z_new.size() != 1) {
        Failure failure = failure_of(Cause::new_reference_count);
        failure.subject.clear();
        for (const double z : plan.z_new) {
            if (!failure.subject.empty()) failure.subject += ',';
            failure.subject += canonical_number_text(z);
        }
        failure.other = std::to_string(ports);
        return failure;
    }
    const WaveDefinition waves =
        plan.waves.value_or(header.waves.value_or(WaveDefinition::traveling));
    const bool per_record = references.kind == NPortReferences::Kind::per_frequency;
    report.format_name = option.format != nullptr ? option.format->name : "";
    report.waves = waves;
    report.z_new = z_new.front();
    report.references.kind = per_record ? StatedReferences::Kind::per_frequency
                                        : StatedReferences::Kind::one;
    if (!per_record) {
        report.from_each = references.values;
        report.references.values[0] = references.values.front();
    }
    for (const double z : z_new) {
        if (z != z_new.front()) report.z_new_each = z_new;
    }

    NPortRenormalisation change;
    std::vector<Complex> z_old(ports);
    if (!per_record) {
        for (std::size_t i = 0; i < ports; ++i) z_old[i] = {references.values[i], 0.0};
        prepare_nport_renormalisation(z_old, waves, z_new, change);
    }
    const FormatDescriptor& format = *option.format;
    // The option line's value is replaced whatever it is when port impedances decide.
    const double replaced = per_record ? option.z_old : references.values.front();
    const std::string option_line = rewrite_option_line(option, replaced, z_new.front());
    report.option_line = option_line;
    if (!plan.version_2) {
        output.write(option_line);
        output.write_line_end();
    }

    NPortRecord record;
    NPortWorkspace workspace;
    PictureState pictures;
    std::vector<Complex> result(ports * ports);
    while (reader.next_record(record)) {
        if (per_record) {
            if (!nport_references_usable(record.impedances, waves, z_new)) {
                Failure failure = record_failure(Cause::port_impedance_not_usable, record);
                failure.subject = impedances_text(record.impedances);
                failure.other = std::string(wave_definition_name(waves));
                return failure;
            }
            prepare_nport_renormalisation(record.impedances, waves, z_new, change);
        }
        apply_format(format.pair_to_ri, record.s);
        if (!renormalise_nport(record.s.data(), change, workspace, result.data())) {
            return record_failure(Cause::network_singular, record);
        }
        apply_format(format.pair_from_ri, result);
        write_nport_record(output, pictures, record.frequency_text, format, result.data(), ports);
        ++report.records;
        if (output.failed()) return {};
    }
    if (reader.problem()) return in_input(reader.problem());
    return {};
}

}  // namespace tavrin
