// The questions every command-line tool answers: how to use it, and which version.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tavrin {

// The --help text (usage, options with examples, exit status).
std::string usage_text();
// The --version line.
std::string version_text(std::string_view version);

// Writes the usage (help) or the version line to out and gives the exit status: 0, or 1 when
// it could not be written in full.
int answer_help_or_version(bool help, std::string_view version, std::FILE* out);

}  // namespace tavrin
