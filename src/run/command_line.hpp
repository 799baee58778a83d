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
//
// The file form, chosen by --to among the options:
//   tavrin [OPTION...] --to IMPEDANCE INPUT OUTPUT
//   tavrin [OPTION...] --to IMPEDANCE --out-dir DIR INPUT...
//   --to Z | --to=Z                     the new reference: one value, or one per port (50,200)
//   --out-dir DIR | --out-dir=DIR       each INPUT is written to DIR under its own file name
//   --ports N | --ports=N               the port count, where the name does not give it
//   --mixed-mode P,N[:P,N...]           write mixed-mode data of these differential pairs, P
//     | --mixed-mode=P,N[:P,N...]       the positive line and N the negative one of each
//   --single-ended                      write mixed-mode data as single-ended data
//   --plot | --plot=FILE                a picture of each conversion, beside each output as
//                                       OUTPUT.svg, or as FILE (one input only); standard
//                                       output needs FILE
// Names are taken as written; "-" reads standard input or writes standard output.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "network/mixed_mode.hpp"
#include "network/port_renormalise.hpp"
#include "run/loop_threads.hpp"

namespace tavrin {

struct RunOptions {
    bool verbose = false;
    std::optional<WaveDefinition> waves;  // overrides what a file states
    // Not of the argument list: the environment's, set where the process starts, and each
    // file's share where files are converted several at once.
    LoopThreads threads;
};

// What the file form asks for.
struct FileForm {
    std::vector<double> to;       // the new references: one, or one per port
    std::string to_text;          // as given, for messages
    std::optional<std::string> out_dir;
    int ports = 0;                // --ports; 0 when not given
    std::optional<ModeOrder> pairs;  // --mixed-mode: one differential mode per pair, in order
    std::string pairs_text;          // as given, for messages
    bool single_ended = false;       // --single-ended
    std::vector<std::string> inputs;
    std::string output;           // without --out-dir
    bool plot = false;            // --plot
    std::string plot_file;        // --plot=FILE; empty for the name beside each output
};

struct CommandLine {
    enum class Mode { run, files, dialogue, help, version, refused };
    Mode mode = Mode::dialogue;
    RunOptions options;
    std::vector<std::string> arguments;  // the four, for a run
    FileForm files;                      // for the file form
    std::string problem;                 // why the list was refused, in words
};

// The new references of --to: numbers above 0 separated by commas; nothing when one is not.
std::optional<std::vector<double>> parse_new_references(std::string_view text);

// The pairs of --mixed-mode, "P,N" separated by ':' (ports from 1 to most_ports, none in two
// pairs, no pair of one port), as the differential mode of each; nothing, with problem set,
// when they are not.
std::optional<ModeOrder> parse_pairs(std::string_view text, std::string& problem);

// The highest port count a file may have.
inline constexpr int most_ports = 999;

CommandLine parse_command_line(int argc, const char* const* argv);

}  // namespace tavrin
