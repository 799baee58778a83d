// The driver of a run: the mode, the header of the input files, and the record loop.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "network/mixed_mode.hpp"
#include "network/port_renormalise.hpp"
#include "network/record_observer.hpp"
#include "run/command_line.hpp"
#include "run/inputs.hpp"
#include "support/failure.hpp"
#include "support/file_slots.hpp"
#include "touchstone/stated_references.hpp"

namespace tavrin {

// Mixed-mode data as read or written: the modes in the order of the matrix, the text
// '[Mixed-Mode Order]' gives them, and each mode's reference in ohms.
struct MixedModes {
    ModeOrder order;
    std::string order_text;          // "D1,3 D2,4 C1,3 C2,4"
    std::vector<double> references;  // per mode, in that order
};

// What a run did, or why it stopped: for the one line --verbose prints.
struct RunReport {
    Failure failure;
    unsigned long long records = 0;      // S-parameter lines written
    unsigned long long noise_lines = 0;  // noise lines written
    bool noise_left_out = false;         // a '[Noise Data]' block a version 1 file cannot hold
    StatedReferences references;         // the references the data was converted from
    WaveDefinition waves = WaveDefinition::traveling;
    std::string_view format_name;
    double z_new = 0.0;
    // The file form: the port count, and the references of N-ports or of new ones per port.
    std::size_t ports = 2;
    std::vector<double> z_new_each;   // one per port where they differ
    std::vector<double> from_each;    // an N-port's fixed references, one per port
    std::string option_line;          // as rewritten, for a Touchstone 2.0 header
    // The file form's mixed-mode data: the output's modes (none where it is single-ended), and
    // the input's (none where it was).
    std::optional<MixedModes> output_modes;
    std::optional<MixedModes> input_modes;
};

// How the file form writes a two-port file where it differs from the four-argument form: a
// new reference per port, the body of a Touchstone 2.0 output (the records, then '[Noise Data]'
// and the noise block; its header, which counts them, is the caller's to write before it),
// Lower and Upper matrices read.
struct TwoPortPlan {
    double z_new[2] = {0.0, 0.0};
    bool version_2 = false;
    RecordObserver* observer = nullptr;  // handed every record and noise line written
};

// Whole run as the command line asks for it: the four arguments, or the dialogue; opens the
// files in slots and returns the exit status.
int run_program(const CommandLine& command, FileSlots& slots, RunReport& report);

// Header, option line and the record loop, then the noise block, on slots that are already
// open. Returns the exit status.
int process_run(const RunInputs& run, const RunOptions& options, FileSlots& slots,
                RunReport& report, const TwoPortPlan* plan = nullptr);


}  // namespace tavrin
