// The option line: data format and reference impedance in, the new impedance out.
#pragma once

#include <string>

#include "network/data_format.hpp"

namespace tavrin {

// Cleans and upper-cases the line in place, decides the data format and gives z_old
// (the number after "R ", or 50 when the line names none).
double read_option_line(std::string& line, DataFormat& format);

// Puts the canonical text of z_new where the line names z_old, or appends " R " and it.
void rewrite_option_line(std::string& line, double z_old, double z_new);

}  // namespace tavrin
