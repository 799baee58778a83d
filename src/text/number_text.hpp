// Conversions between text and doubles, always with the point as decimal separator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrin {

// Value of the longest numeric prefix; 0 when there is none. Never fails.
double parse_number(std::string_view text);
// The same value; scanned is set to a count of leading characters that holds no blank (0 when
// unknown), so that a caller looking for the blank after the number can start there.
double parse_number(std::string_view text, std::size_t& scanned);

// Exactly one decimal number and nothing else: an optional sign, digits with at most one
// point, an optional exponent (E or e, optional sign, digits). No radix, word or D forms.
bool is_decimal_number(std::string_view token);

// At most 16 significant digits, no fill, no leading blank, at most 23 characters.
std::string canonical_number_text(double value);

}  // namespace tavrin
