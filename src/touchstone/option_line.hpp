// The option line: data format and reference impedance in, the new impedance out.
#pragma once

#include <string>
#include <string_view>

#include "network/data_format.hpp"

namespace tavrin {

// Cleans and upper-cases the line in place, decides the data format and gives z_old
// (the number after "R ", or 50 when the line names none).
double read_option_line(std::string& line, DataFormat& format);

// True when a blank-separated word of the line is Y, Z, H or G (either case): the file holds
// another kind of parameters, which renormalising as S-parameters would turn into nonsense.
bool names_other_parameters(std::string_view line);

// Puts the canonical text of z_new where the line names z_old, or appends " R " and it.
void rewrite_option_line(std::string& line, double z_old, double z_new);

}  // namespace tavrin
