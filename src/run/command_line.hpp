// What the argument list asks for.
//
// Grammar: tavrin [OPTION...] FORWARD REVERSE OUTPUT IMPEDANCE, where the arguments before the
// four that begin with '-' (but are not "-" alone) are options and "--" ends them:
//   -v, --verbose                       say on standard error what was done, or why not
//   --waves=traveling|power|pseudo      the wave definition for complex port impedances
//   -h, --help; -V, --version           answered alone, whatever else is given
// With options, exactly four arguments must follow. Without any, the argument list means what
// it always has: four arguments are a run, a single --help, -h, --version or -V is answered,
// and anything else opens the dialogue.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "network/port_renormalise.hpp"

namespace tavrin {

struct RunOptions {
    bool verbose = false;
    std::optional<WaveDefinition> waves;  // overrides what a file states
};

struct CommandLine {
    enum class Mode { run, dialogue, help, version, refused };
    Mode mode = Mode::dialogue;
    RunOptions options;
    std::vector<std::string> arguments;  // the four, for a run
    std::string problem;                 // why the list was refused, in words
};

CommandLine parse_command_line(int argc, const char* const* argv);

}  // namespace tavrin
