// The order of modes of mixed-mode data as Touchstone 2.0 writes it after '[Mixed-Mode Order]'.
//
// Grammar: entries separated by blanks, each one of
//   D<P>,<N>   the differential mode of the pair of ports P (the positive line) and N
//   C<P>,<N>   the common mode of that pair
//   S<P>       port P, single-ended
// with the letter in either case and port numbers as decimal digits from 1 up. A cleaned line
// holds '.' where the file wrote ',' (see clean_line), which reads the same.
#pragma once

#include <string>
#include <string_view>

#include "network/mixed_mode.hpp"
#include "support/failure.hpp"

namespace tavrin {

// The entries of text, appended to order; false at the first token that is no entry, which
// bad then holds (the rest is not read).
bool read_mode_entries(std::string_view text, ModeOrder& order, std::string_view& bad);

// Whether a cleaned line holds entries only, and at least one.
bool holds_mode_entries_only(std::string_view text);

// One entry as a file writes it ("D1,3", "S5"), and a whole order, entries separated by a blank.
std::string mode_text(const Mode& mode);
std::string mode_order_text(const ModeOrder& order);

// The refusal of an order check_mode_order found a fault in: subject names the order as given
// (its keyword line, or --mixed-mode and its value), other the port number or the mode.
Failure mode_order_refusal(const ModeOrderCheck& check, const ModeOrder& order,
                           std::string subject);

}  // namespace tavrin
