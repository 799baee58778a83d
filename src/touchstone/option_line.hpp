// The option line of a Touchstone file, taken apart once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "touchstone/data_format.hpp"

namespace tavrin {

// Grammar, on the line as cleaned and upper-cased: '#' and blank-separated words, e.g.
// '# GHZ S MA R 50'. Read from it:
// - the data format: "DB" anywhere, else MA unless "RI" occurs somewhere, else RI;
// - the reference impedance: the number after the first "R " (a letter R and a blank), 50
//   when there is none; where decimal number tokens follow that number ('R 50 75'), they
//   continue the list, one value per port;
// - the parameter letter: the first word that is S, Y, Z, H or G alone ('S' when none is);
//   any word Y, Z, H or G means the file holds other parameters than S;
// - the frequency unit: the first word HZ, KHZ, MHZ or GHZ (empty when none is).
struct OptionLine {
    std::string text;  // cleaned and upper-cased
    const FormatDescriptor* format = nullptr;
    double z_old = 50.0;
    std::size_t impedance_at = 0;  // 1-based position of "R ", 0 when there is none
    // Numbers in the list after "R " (the first counts whatever it is); 0 without "R ".
    int impedance_count = 0;
    double z_port2 = 0.0;          // the second number, where the list has one
    std::size_t list_end = 0;      // index in text just past the list's last token
    char parameter = 'S';
    bool other_parameters = false;
    std::string_view frequency_unit;
};

// Whether a line as read is the option line: its first character other than blanks and tabs
// is '#'.
bool is_option_line(std::string_view raw_line);

// Cleans and upper-cases the line and reads it.
OptionLine read_option_line(std::string line);

// The line naming z_new: the canonical text of z_new replaces the number after "R " (keeping
// the file's own form of it where that still reads as z_new: 'R 50.0' becomes 'R 75.0'), or
// the whole list of a reference per port ('R 50 75' becomes 'R 100'), or " R " and it are
// appended to a line without one. z_old is the impedance being replaced.
std::string rewrite_option_line(const OptionLine& option, double z_old, double z_new);

}  // namespace tavrin
