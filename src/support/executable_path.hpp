// Where the running program lives, for files kept beside it.
#pragma once

#include <string>

namespace tavrin {

#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// Full path of the running executable; empty when the platform cannot tell.
std::string executable_path();

}  // namespace tavrin
