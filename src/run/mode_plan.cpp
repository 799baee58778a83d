#include "run/mode_plan.hpp"

#include <string>

#include "text/number_text.hpp"
#include "touchstone/mode_order.hpp"

namespace tavrin {

namespace {

MixedModes described(const ModeOrder& order, std::span<const double> port_references) {
    return {order, mode_order_text(order), mode_references(order, port_references)};
}

// The refusal of a pair whose lines have different references, as subject states them.
Failure unequal_pair(const Mode& pair, std::span<const double> references, long long line,
                     std::string subject) {
    Failure failure =
        failure_of(Cause::pair_references_differ, FileRole::forward, line, std::move(subject));
    failure.other = std::to_string(pair.positive + 1) + "," + std::to_string(pair.negative + 1) +
                    " at " + canonical_number_text(references[pair.positive]) + " and " +
                    canonical_number_text(references[pair.negative]);
    return failure;
}

// The modes of a mixed-mode input: from real references per port, the same on each pair.
// Complex ones per frequency would need a wave definition of each mode.
Failure settle_input_modes(const NPortHeader& header, const NPortReferences& from,
                           ModeChange& change, RunReport& report) {
    const ModeOrder& order = *header.modes;
    if (from.kind == NPortReferences::Kind::per_frequency) {
        return failure_of(Cause::mixed_mode_port_impedances, FileRole::forward, header.modes_line);
    }
    if (const std::optional<std::size_t> i = pair_with_unequal_references(order, from.values)) {
        const bool stated = !header.reference.empty();
        return unequal_pair(order[*i], from.values,
                            stated ? header.reference_line : header.option_line_number,
                            stated ? header.reference_text : header.option_line);
    }
    change.from_modes = basis_to_ports(order);
    report.input_modes = described(order, from.values);
    return {};
}

}  // namespace

Failure settle_modes(const NPortHeader& header, const ModeRequest& request, bool version_2,
                     const NPortReferences& from, std::span<const double> z_new, ModeChange& change,
                     RunReport& report) {
    if (request.single_ended && !header.modes) {
        return failure_of(Cause::single_ended_input, FileRole::forward);
    }
    if (header.modes) {
        if (Failure failure = settle_input_modes(header, from, change, report)) return failure;
    }
    std::optional<ModeOrder> output;
    if (request.pairs != nullptr) {
        output = order_of_pairs(*request.pairs, z_new.size());
        const ModeOrderCheck check = check_mode_order(*output, z_new.size());
        if (check.fault != ModeOrderFault::none) {
            Failure failure = mode_order_refusal(check, *output,
                                                 "--mixed-mode " + std::string(request.pairs_text));
            failure.file = FileRole::forward;
            return failure;
        }
    } else if (header.modes && !request.single_ended) {
        output = header.modes;
    }
    if (!output) return {};
    if (const std::optional<std::size_t> i = pair_with_unequal_references(*output, z_new)) {
        return unequal_pair((*output)[*i], z_new, 0, "--to " + std::string(request.to_text));
    }
    if (!version_2) return failure_of(Cause::mixed_mode_from_stream, FileRole::forward);
    change.to_modes = basis_to_modes(*output);
    report.output_modes = described(*output, z_new);
    return {};
}

Failure refuse_noise_with_modes(const NPortReader& reader, const RunReport& report) {
    if (reader.noise_line() == 0 || (!report.input_modes && !report.output_modes)) return {};
    return failure_of(Cause::mixed_mode_noise, FileRole::forward, reader.noise_line());
}

}  // namespace tavrin
