// Conversions between text and doubles, always with the point as decimal separator.
#pragma once

#include <string>
#include <string_view>

namespace tavrin {

// Value of the longest numeric prefix; 0 when there is none. Never fails.
double parse_number(std::string_view text);

// At most 16 significant digits, no fill, no leading blank, at most 23 characters.
std::string canonical_number_text(double value);

}  // namespace tavrin
