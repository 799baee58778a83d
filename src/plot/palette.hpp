// One colour per trace, told apart on white paper.
#pragma once

#include <cstddef>
#include <string>

namespace tavrin {

// "#rrggbb": a fixed set of well-separated colours first, then hues spread round the circle
// by the golden angle, dark enough to read as lines.
std::string trace_colour(std::size_t index);

}  // namespace tavrin
