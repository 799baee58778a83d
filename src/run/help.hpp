// The one-argument questions every command-line tool answers: how to use it, and which version.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

// The text asked for by exactly one argument that is --help or -h (usage) or --version or -V
// (the version line); nothing for any other command line, which then runs as always.
std::optional<std::string> help_or_version_text(int argc, const char* const* argv,
                                                std::string_view version);

// Writes that text to out and gives the exit status: 0, or 1 when it could not be written in
// full. Nothing (and nothing written) for any other command line.
std::optional<int> answer_help_or_version(int argc, const char* const* argv,
                                          std::string_view version, std::FILE* out);

}  // namespace tavrin
