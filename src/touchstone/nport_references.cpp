#include <cmath>

#include "support/text.hpp"
#include "text/number_text.hpp"
#include "touchstone/line_tokens.hpp"
#include "touchstone/nport_reader.hpp"

namespace tavrin {

namespace {

bool usable(double z) { return std::isfinite(z) && z > 0.0; }

// The option line's list after "R ", up to its last number.
std::string_view impedance_list(const OptionLine& option) {
    const std::string_view text = std::string_view(option.text).substr(0, option.list_end);
    return trim_front_blanks(text_from(text, static_cast<long long>(option.impedance_at) + 2));
}

}  // namespace

Failure read_nport_references(const OptionLine& option, const NPortHeader& header,
                              std::size_t ports, NPortReferences& references) {
    references = NPortReferences{};
    if (header.port_impedances) {
        // They decide, whatever the option line or '[Reference]' says.
        references.kind = NPortReferences::Kind::per_frequency;
        return {};
    }
    std::vector<double>& values = references.values;
    long long line = header.option_line_number;
    if (!header.reference.empty()) {
        line = header.reference_line;
        const std::size_t count = header.reference.size();
        if (count != 1 && count != ports) {
            return failure_of(Cause::reference_count, FileRole::none, line, header.reference_text);
        }
        for (const double z : header.reference) {
            if (!usable(z)) {
                return failure_of(Cause::reference_not_usable, FileRole::none, line,
                                  canonical_number_text(z));
            }
        }
        values = count == 1 ? std::vector<double>(ports, header.reference[0]) : header.reference;
    } else if (option.impedance_count > 0) {
        const auto count = static_cast<std::size_t>(option.impedance_count);
        if (count != 1 && count != ports) {
            return failure_of(Cause::too_many_references, FileRole::none, line, option.text);
        }
        std::string_view list = impedance_list(option);
        if (!usable(option.z_old)) {
            // As written: 'R (50+50j)' reads as 0, which would puzzle.
            return failure_of(Cause::reference_not_usable, FileRole::none, line,
                              std::string(list.substr(0, list.find(' '))));
        }
        pop_number(list);
        values.assign(count == 1 ? ports : 1, option.z_old);
        for (std::size_t port = 1; port < count; ++port) {
            const double z = pop_number(list);
            if (!usable(z)) {
                return failure_of(Cause::reference_not_usable, FileRole::none, line,
                                  canonical_number_text(z));
            }
            values.push_back(z);
        }
    } else if (header.not_renormalized) {
        // The data is for each port's own impedance, and the file does not say which.
        return failure_of(Cause::references_unknown);
    } else {
        values.assign(ports, 50.0);
    }
    references.kind = NPortReferences::Kind::one;
    for (const double z : values) {
        if (z != values.front()) references.kind = NPortReferences::Kind::per_port;
    }
    return {};
}

}  // namespace tavrin
