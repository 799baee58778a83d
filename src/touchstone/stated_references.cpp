#include "touchstone/stated_references.hpp"

#include <cmath>

#include "support/text.hpp"
#include "text/number_text.hpp"

namespace tavrin {

namespace {

bool usable(double z) { return std::isfinite(z) && z > 0.0; }

std::string_view first_impedance_token(const OptionLine& option) {
    const std::string_view list =
        trim_front_blanks(text_from(option.text, static_cast<long long>(option.impedance_at) + 2));
    return list.substr(0, list.find(' '));
}

}  // namespace

Failure read_stated_references(const OptionLine& option, const FileHeader& header,
                               StatedReferences& stated) {
    const FileKeywords& keywords = header.keywords;
    stated = StatedReferences{};
    long long line = header.option_line_number;
    int count = 0;
    if (keywords.reference_count > 0) {
        stated.values[0] = keywords.reference[0];
        stated.values[1] = keywords.reference[1];
        count = keywords.reference_count;
        line = keywords.reference_line;
    } else if (option.impedance_count > 0) {
        stated.values[0] = option.z_old;
        stated.values[1] = option.impedance_count > 1 ? option.z_port2 : option.z_old;
        count = option.impedance_count;
    }
    stated.noise_reference = stated.values[0];
    if (header.port_impedances) {
        // They decide, whatever the option line or '[Reference]' says.
        stated.kind = StatedReferences::Kind::per_frequency;
        return {};
    }
    if (count == 0 && header.not_renormalized) {
        // The data is for each port's own impedance, and the file does not say which.
        return failure_of(Cause::references_unknown);
    }
    if (count > 2) {
        return failure_of(Cause::too_many_references, FileRole::none, line, option.text);
    }
    for (int port = 0; port < 2; ++port) {
        if (!usable(stated.values[port])) {
            // As written where the option line's first value is refused: 'R (50+50j)' reads
            // as 0, which would puzzle.
            const bool written = keywords.reference_count == 0 && port == 0;
            return failure_of(Cause::reference_not_usable, FileRole::none, line,
                              written ? std::string(first_impedance_token(option))
                                      : canonical_number_text(stated.values[port]));
        }
    }
    stated.kind = stated.values[0] == stated.values[1] ? StatedReferences::Kind::one
                                                       : StatedReferences::Kind::per_port;
    return {};
}

}  // namespace tavrin
