// The modes of a conversion of mixed-mode data: the input's own ('[Mixed-Mode Order]'), the
// pairs of --mixed-mode or --single-ended for the output, and what that asks of the references.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "network/mixed_mode.hpp"
#include "run/driver.hpp"
#include "support/failure.hpp"
#include "touchstone/nport_reader.hpp"

namespace tavrin {

// What the command line asks of the modes, and how it said it.
struct ModeRequest {
    const ModeOrder* pairs = nullptr;  // --mixed-mode; null where not given
    std::string_view pairs_text;
    bool single_ended = false;  // --single-ended
    std::string_view to_text;   // --to as given
};

// Settles the change of basis around the renormalisation and the modes the report describes.
// The output is mixed-mode for --mixed-mode (in the order of its pairs) or for a mixed-mode
// input without --single-ended (in its own order). Refused: --single-ended on single-ended
// data; a mixed-mode input with port impedances per record, or whose pair's lines have
// different references; pairs naming a port the file lacks; new references that differ on a
// pair; mixed-mode data for an output that is not a Touchstone 2.0 file written after its
// records (version_2 false: the input came from a stream whose contents were not known when
// the output was opened). from: the input's references, one per port (unused where the records
// carry their own).
Failure settle_modes(const NPortHeader& header, const ModeRequest& request, bool version_2,
                     const NPortReferences& from, std::span<const double> z_new, ModeChange& change,
                     RunReport& report);

// Noise data after the records, which mixed-mode data cannot hold.
Failure refuse_noise_with_modes(const NPortReader& reader, const RunReport& report);

}  // namespace tavrin
