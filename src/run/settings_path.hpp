// Where the settings file lives: beside the executable.
#pragma once

#include <string>
#include <string_view>

namespace tavrin {

inline constexpr std::string_view settings_file_name = "tavrin.ini";

// The executable's directory (its path cut before the last separator; a bare drive such as
// "C:" keeps a separator after it; no separator at all gives an empty directory), then the
// separator and the settings file name.
std::string settings_file_path(std::string_view executable_path, char separator);

}  // namespace tavrin
