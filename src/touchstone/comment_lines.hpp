// What comment lines say about the data: field solvers state each record's port impedances in
// comments after it, and exporters state in the header how the data is referenced.
#pragma once

#include <optional>
#include <string_view>

#include "network/port_renormalise.hpp"

namespace tavrin {

// The text after the '!' of a comment line: a line whose first character other than blanks and
// tabs is '!'. Nothing for any other line.
std::optional<std::string_view> comment_text(std::string_view raw_line);

// Grammar of a port impedance comment, on the comment's text: blanks, then the words "Port
// Impedance" in any case and with any blanks in and after them, then the numbers, the first of
// which may follow the words directly ('! Port Impedance49.688 0.23 49.688 0.23'). Gives the
// text of the numbers, or nothing when the comment is not one.
std::optional<std::string_view> port_impedance_numbers(std::string_view comment);

// Grammar: decimal numbers separated by blanks or tabs, a comma counting as the decimal point.
// Gives how many the text holds, the first `capacity` of them in numbers, or -1 when a token is
// not a decimal number.
int take_numbers(std::string_view text, double* numbers, int capacity);
// The real/imaginary pairs of two ports.
inline int take_numbers(std::string_view text, double numbers[4]) {
    return take_numbers(text, numbers, 4);
}

// Statements a header comment makes about the whole file, ignoring case and the number of
// blanks: "Data is not renormalized" (field solvers: the data is for each port's own impedance)
// and "S-parameter uses the power (pseudo, traveling) definition" (the wave definition).
enum class HeaderStatement { none, not_renormalized, traveling_waves, power_waves, pseudo_waves };
HeaderStatement header_statement(std::string_view comment);

// The wave definition a statement names, if it names one.
std::optional<WaveDefinition> waves_stated(HeaderStatement statement);

// Notes what a header comment states about the whole file, where it states anything.
void note_header_statement(std::string_view comment, bool& not_renormalized,
                           std::optional<WaveDefinition>& waves);

}  // namespace tavrin
