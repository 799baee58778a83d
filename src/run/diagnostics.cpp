#include "run/diagnostics.hpp"

#include <algorithm>

#include "support/system_error_text.hpp"
#include "text/number_text.hpp"

namespace tavrin {

namespace {

const std::string& name_of(FileRole file, const RunFileNames& names) {
    static const std::string none;
    switch (file) {
        case FileRole::forward: return names.forward;
        case FileRole::reverse: return names.reverse;
        case FileRole::output: return names.output;
        case FileRole::picture: return names.picture;
        case FileRole::none: break;
    }
    return none;
}

// "f.s2p line 12: " or "f.s2p: ".
std::string where(const Failure& failure, const RunFileNames& names) {
    std::string text = name_of(failure.file, names);
    if (failure.line > 0) text += " line " + std::to_string(failure.line);
    return text + ": ";
}

std::string system_reason(int error) {
    return error != 0 ? ": " + system_error_text(error) : std::string();
}

std::string ohms(double z) { return canonical_number_text(z) + " ohms"; }

// "50 ohms", or "50/200 ohms per port" where they differ.
std::string ohms_per_port(const std::vector<double>& values) {
    std::string text;
    for (const double z : values) {
        if (!text.empty()) text += '/';
        text += canonical_number_text(z);
    }
    return text + " ohms per port";
}

bool all_equal(const std::vector<double>& values) {
    for (const double z : values) {
        if (z != values.front()) return false;
    }
    return true;
}

std::string counted(std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// "85 ohms", or "85/100 ohms" for the modes of that kind, in their order, where they differ.
std::string mode_ohms(const MixedModes& modes, ModeKind kind) {
    std::vector<double> values;
    for (std::size_t i = 0; i < modes.order.size(); ++i) {
        if (modes.order[i].kind == kind) values.push_back(modes.references[i]);
    }
    if (all_equal(values)) return ohms(values.front());
    std::string text;
    for (const double z : values) {
        if (!text.empty()) text += '/';
        text += canonical_number_text(z);
    }
    return text + " ohms";
}

// "4 ports as 2 differential pairs (D1,3 D2,4 C1,3 C2,4)", with the single-ended ones.
std::string modes_written(const MixedModes& modes) {
    std::size_t pairs = 0;
    for (const Mode& mode : modes.order) pairs += mode.kind == ModeKind::differential ? 1 : 0;
    const std::size_t single = modes.order.size() - 2 * pairs;
    std::string text = counted(modes.order.size(), "port", "ports") + " as ";
    if (pairs > 0) text += counted(pairs, "differential pair", "differential pairs");
    if (pairs > 0 && single > 0) text += " and ";
    if (single > 0) text += counted(single, "single-ended port", "single-ended ports");
    return text + " (" + modes.order_text + ")";
}

std::string wording(const Failure& f, const RunFileNames& names) {
    const std::string at = where(f, names);
    const std::string& file = name_of(f.file, names);
    switch (f.cause) {
        case Cause::none:
            return {};
        case Cause::output_names_input:
            return at + "the output name is an input's name; the input would be overwritten";
        case Cause::output_reaches_input:
            return at + "this name reaches an input file (other letter case, a path or a link); "
                        "the input would be overwritten";
        case Cause::cannot_open_input:
            return "cannot open " + file + system_reason(f.system_error);
        case Cause::cannot_create_output:
            return "cannot create " + file + system_reason(f.system_error);
        case Cause::impedance_not_usable:
            return "the impedance '" + f.subject + "' is not a number above 0";
        case Cause::no_option_line:
            return at + "no option line (a line starting with '#')";
        case Cause::other_parameters:
            return at + "the option line '" + f.subject +
                   "' names Y, Z, H or G parameters; only S-parameters can be renormalised";
        case Cause::reference_not_usable:
            return at + "the reference impedance " + f.subject + " is not a number above 0";
        case Cause::too_many_references:
            return at + "more than two reference impedances after R in '" + f.subject + "'";
        case Cause::reference_count:
            return at + "'" + f.subject + "' needs one impedance, or one for each of the two ports";
        case Cause::references_conflict:
            return at + "'" + f.subject + "' differs from the '[Reference]' before it";
        case Cause::ports_not_two:
            return at + "'" + f.subject + "': only two-port data can be converted";
        case Cause::matrix_not_full:
            return at + "'" + f.subject + "': only the Full matrix format can be read";
        case Cause::mixed_mode:
            return at + "'" + f.subject + "': mixed-mode data cannot be converted";
        case Cause::unknown_pair_order:
            return at + "'" + f.subject + "': unknown two-port data order (12_21 or 21_12)";
        case Cause::references_unknown:
            return at + "the file says its data is not renormalized but states no reference "
                        "impedance (no Port Impedance comments, no R on the option line, no "
                        "[Reference])";
        case Cause::references_differ:
            return at + "reference " + f.subject + " ohms, but " + names.forward + " is for " +
                   f.other + " ohms; both files of a measurement need the same";
        case Cause::per_port_in_two_files:
            return at + "a reference per port; forward and reverse files need one reference "
                        "for both ports";
        case Cause::per_frequency_in_two_files:
            return at + "port impedances per frequency; forward and reverse files need one "
                        "reference for both ports";
        case Cause::port_impedance_missing:
            return at + "no Port Impedance comment after this record, though the first record "
                        "has one";
        case Cause::port_impedance_unexpected:
            return at + "a Port Impedance comment, but the first record (line " +
                   std::to_string(f.other_line) + ") has none";
        case Cause::port_impedance_malformed:
            return at + "a Port Impedance comment that is not one re/im pair for each port "
                        "(or a second one for the same record)";
        case Cause::port_impedance_not_usable:
            return at + "port impedances " + f.subject + " ohms cannot define " + f.other +
                   " waves (0, or for power and pseudo waves a real part not above 0)";
        case Cause::reverse_record_missing:
            return at + "no record at frequency " + f.subject + " (" + names.forward + " line " +
                   std::to_string(f.other_line) + ")";
        case Cause::reverse_frequency_differs:
            return at + "frequency " + f.subject + ", but " + names.forward + " line " +
                   std::to_string(f.other_line) + " is at " + f.other;
        case Cause::ports_unknown:
            return at + "the port count is not known: no .sNp extension, no '[Number of Ports]'; "
                        "give --ports N";
        case Cause::ports_disagree:
            return at + f.subject + " ports, but " + f.other + " says otherwise";
        case Cause::count_not_usable:
            return at + "'" + f.subject + "': the count must be a whole number " + f.other;
        case Cause::ports_beyond_memory:
            return at + "'" + f.subject + "': one record of that many ports would not fit in "
                        "memory (its matrix alone needs over 1 GiB); the port count must be " +
                   f.other;
        case Cause::record_short:
            return at + "the record at frequency " + f.subject + " ends after " + f.other +
                   " numbers, before its S-parameters are complete";
        case Cause::record_long:
            return at + "the record at frequency " + f.subject + " holds more numbers than " +
                   f.other + " S-parameters";
        case Cause::number_malformed:
            return at + "'" + f.subject + "' is not a number";
        case Cause::frequency_not_rising:
            return at + "frequency " + f.subject + " is not above the frequency before it (" +
                   f.other + ")";
        case Cause::frequency_count_differs:
            return at + "'[Number of Frequencies] " + f.other + "', but " + f.subject +
                   " records were read";
        case Cause::network_singular:
            return at + "at frequency " + f.subject +
                   " the network cannot be renormalised (I - Gamma S is singular)";
        case Cause::new_reference_count:
            return "--to " + f.subject + ": give one impedance, or one for each of the " +
                   f.other + " ports";
        case Cause::mode_malformed:
            return at + "'" + f.subject + "' is not a mode of '[Mixed-Mode Order]' (such as D1,3, "
                        "C1,3 or S5)";
        case Cause::mode_order_conflict:
            return at + "'" + f.subject + "' differs from the '[Mixed-Mode Order]' before it";
        case Cause::mode_port_missing:
            return at + "'" + f.subject + "' names port " + f.other +
                   ", which the file does not have";
        case Cause::mode_pair_of_one_port:
            return at + "'" + f.subject + "': " + f.other + " pairs a port with itself";
        case Cause::mode_port_twice:
            return at + "'" + f.subject + "' names port " + f.other +
                   " twice (a port is in one pair, or single-ended once)";
        case Cause::mode_port_left_out:
            return at + "'" + f.subject + "' leaves port " + f.other + " out";
        case Cause::mode_without_partner:
            return at + "'" + f.subject + "': " + f.other + " has no " +
                   (f.other.starts_with('D') ? "C" : "D") + f.other.substr(1) +
                   " (each pair needs its differential and its common mode)";
        case Cause::pair_references_differ:
            return at + "'" + f.subject + "' puts the pair " + f.other +
                   " ohms; a differential pair needs one reference for both its lines";
        case Cause::single_ended_input:
            return at + "--single-ended, but the file holds single-ended data (no "
                        "'[Mixed-Mode Order]')";
        case Cause::mixed_mode_noise:
            return at + "noise data, which has no mixed-mode form: a two-port with noise "
                        "parameters is converted only as single-ended data";
        case Cause::mixed_mode_port_impedances:
            return at + "Port Impedance comments in mixed-mode data: its modes need one real "
                        "reference per port, as '[Reference]' gives them";
        case Cause::mixed_mode_from_stream:
            return at + "mixed-mode data in a stream read once: give --mixed-mode (the pairs to "
                        "write) or --single-ended";
        case Cause::output_written_before:
            return at + "an earlier input of this run was written to this name; it would be "
                        "overwritten";
        case Cause::picture_names_input:
            return at + "the picture's name is an input's name; the input would be overwritten";
        case Cause::picture_reaches_input:
            return at + "the picture's name reaches an input file (other letter case, a path or "
                        "a link); the input would be overwritten";
        case Cause::picture_is_output:
            return at + "the picture's name is the output's; the picture would replace it";
        case Cause::cannot_move_output:
            return "cannot move the finished output to " + file + system_reason(f.system_error);
        case Cause::read_failed:
            return "cannot read " + file + system_reason(f.system_error);
        case Cause::write_failed:
            return "cannot write " + file + system_reason(f.system_error);
    }
    return {};
}

// The success line of a mixed-mode output: its modes, then the references per line and the
// modes' references.
std::string mixed_mode_success(const RunReport& report, const RunFileNames& names,
                               const std::string& from) {
    const MixedModes& modes = *report.output_modes;
    std::string text = "tavrin: wrote " + names.output + ": " +
                       counted(report.records, "record", "records") + ", " +
                       modes_written(modes) + ", from " + from + " to " +
                       (report.z_new_each.empty() ? ohms(report.z_new) + " per line"
                                                  : ohms_per_port(report.z_new_each));
    if (std::any_of(modes.order.begin(), modes.order.end(),
                    [](const Mode& m) { return m.kind == ModeKind::differential; })) {
        text += ": differential " + mode_ohms(modes, ModeKind::differential) + ", common " +
                mode_ohms(modes, ModeKind::common);
    }
    text += ", " + std::string(report.format_name);
    if (!names.picture.empty()) text += "; picture " + names.picture;
    return text + "\n";
}

}  // namespace

std::string describe_failure(const Failure& failure, const RunFileNames& names) {
    return "tavrin: " + wording(failure, names) + "\n";
}

std::string describe_success(const RunReport& report, const RunFileNames& names) {
    const StatedReferences& references = report.references;
    std::string from;
    switch (references.kind) {
        case StatedReferences::Kind::one:
            from = all_equal(report.from_each) ? ohms(references.values[0])
                                               : ohms_per_port(report.from_each);
            break;
        case StatedReferences::Kind::per_port:
            from = canonical_number_text(references.values[0]) + "/" +
                   canonical_number_text(references.values[1]) + " ohms per port";
            break;
        case StatedReferences::Kind::per_frequency:
            from = "port impedances per frequency, " +
                   std::string(wave_definition_name(report.waves)) + " waves";
            break;
    }
    if (report.input_modes) {
        from = "mixed-mode data (" + report.input_modes->order_text + ") at " + from;
    }
    if (report.output_modes) return mixed_mode_success(report, names, from);
    std::string text = "tavrin: wrote " + names.output + ": " + std::to_string(report.records) +
                       " S-parameter record" + (report.records == 1 ? "" : "s");
    if (report.ports != 2) {
        text += " of " + std::to_string(report.ports) + " port" + (report.ports == 1 ? "" : "s");
    }
    if (report.noise_lines > 0) {
        text += " and " + std::to_string(report.noise_lines) + " noise line" +
                (report.noise_lines == 1 ? "" : "s");
    }
    const std::string to =
        report.z_new_each.empty() ? ohms(report.z_new) : ohms_per_port(report.z_new_each);
    text += ", from " + from + " to " + to + ", " + std::string(report.format_name);
    if (!names.picture.empty()) text += "; picture " + names.picture;
    if (report.noise_left_out) {
        // Said, since the file had data this one lacks.
        text += "; the [Noise Data] block, which starts above the last S-parameter frequency, "
                "is left out: a version 1 file cannot hold it";
    }
    return text + "\n";
}

}  // namespace tavrin
