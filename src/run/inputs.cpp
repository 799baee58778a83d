#include "run/inputs.hpp"

#include <cmath>

#include "text/number_text.hpp"

namespace tavrin {

namespace {

std::string with_extension(const std::string& name) { return name + std::string(s2p_extension); }

}  // namespace

bool is_usable_impedance(double z) { return std::isfinite(z) && z > 0.0; }

bool names_an_input(const std::string& output, const std::string& forward,
                    const std::string& reverse) {
    return output == forward || output == reverse;
}

bool accept_forward(const std::string& name, RunInputs& run, FileSlots& slots) {
    if (!slots.forward.open(with_extension(name))) return false;
    run.forward_name = name;
    return true;
}

bool accept_reverse(const std::string& name, RunInputs& run, FileSlots& slots) {
    const bool single_file = name == run.forward_name;
    if (!single_file && !slots.reverse.open(with_extension(name))) return false;
    run.reverse_name = name;
    run.single_file = single_file;
    return true;
}

Cause refuse_output(const std::string& name, RunInputs& run, FileSlots& slots) {
    if (names_an_input(name, run.forward_name, run.reverse_name)) return Cause::output_names_input;
    const std::string path = with_extension(name);
    const FileIdentity output = identity_of_path(path);
    if (output.same_as(slots.forward.identity()) || output.same_as(slots.reverse.identity())) {
        return Cause::output_reaches_input;
    }
    if (!slots.output.open(path)) return Cause::cannot_create_output;
    run.output_name = name;
    return Cause::none;
}

bool accept_output(const std::string& name, RunInputs& run, FileSlots& slots) {
    return refuse_output(name, run, slots) == Cause::none;
}

bool accept_impedance(std::string_view text, RunInputs& run) {
    // An infinite impedance or a NaN would make every output number NaN: refused like 0.
    const double z = parse_number(text);
    if (!is_usable_impedance(z)) return false;
    run.z_new = z;
    return true;
}

Failure open_command_line_run(const std::vector<std::string>& arguments, FileSlots& slots,
                              RunInputs& run) {
    // Names are compared before any file is touched.
    if (names_an_input(arguments.at(2), arguments.at(0), arguments.at(1))) {
        return failure_of(Cause::output_names_input, FileRole::output);
    }
    if (!accept_forward(arguments.at(0), run, slots)) {
        Failure failure = failure_of(Cause::cannot_open_input, FileRole::forward);
        failure.system_error = slots.forward.error();
        return failure;
    }
    if (!accept_reverse(arguments.at(1), run, slots)) {
        Failure failure = failure_of(Cause::cannot_open_input, FileRole::reverse);
        failure.system_error = slots.reverse.error();
        return failure;
    }
    if (const Cause refused = refuse_output(arguments.at(2), run, slots); refused != Cause::none) {
        Failure failure = failure_of(refused, FileRole::output);
        if (refused == Cause::cannot_create_output) failure.system_error = slots.output.error();
        return failure;
    }
    // The output file exists from here on and stays behind empty on a failure.
    if (!accept_impedance(arguments.at(3), run)) {
        return failure_of(Cause::impedance_not_usable, FileRole::none, 0, arguments.at(3));
    }
    return {};
}

}  // namespace tavrin
