// Cleaning Touchstone lines and taking their numbers one by one.
#pragma once

#include <string>
#include <string_view>

namespace tavrin {

// Tabs become blanks, a '!' cuts the comment off, commas become points, blanks are
// trimmed at both ends. In place.
void clean_line(std::string& line);

// Value of the number at the front of text (0 if none); the whole token up to the first
// blank and the blanks after it are removed from text.
double pop_number(std::string_view& text);

// Whether a cleaned text holds exactly four blank-separated tokens, as the second line of a
// two-port record written over two lines does; given up at the fifth, since it is asked of
// every record.
bool holds_four_tokens(std::string_view text);

}  // namespace tavrin
