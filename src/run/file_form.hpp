// The file form of the command line: each input converted on its own to its own output, with
// the port count its name or header gives, and an output that appears only when complete.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "run/command_line.hpp"

namespace tavrin {

// The port count a name's extension gives: ".sNp" with N from 1 to 999, in any letter case;
// 0 for any other name.
int ports_from_extension(std::string_view name);

// The output of an input under --out-dir: the folder, then the input's own file name.
std::string output_in_folder(const std::string& folder, const std::string& input);

// Converts every input of the command line; with --verbose one line on messages per file.
// Gives 0 when every file was converted, else 1.
int run_file_form(const CommandLine& command, std::FILE* messages);

}  // namespace tavrin
