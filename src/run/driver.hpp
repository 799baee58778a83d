// The driver of a run: the inputs of a run, opening the files, and the record loop.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/file_slots.hpp"

namespace tavrin {

inline constexpr std::string_view s2p_extension = ".s2p";

struct RunInputs {
    std::string forward_name;
    std::string reverse_name;
    std::string output_name;
    double z_new = 0.0;
    bool single_file = false;
};

// Whole process: chooses the mode from the argument count and returns the exit status.
int run_program(int argc, char** argv);

// Command-line mode: the checks in their order, opening slots 1, 2 and 3 on the way.
// Returns 0 when the run may go on, 1 for a failure.
int open_command_line_run(const std::vector<std::string>& arguments, FileSlots& slots,
                          RunInputs& run);

// True when the file the output name reaches already exists and is one of the open inputs:
// opening it for output would empty that input before it is read.
bool output_reaches_an_input(const std::string& output_path, const FileSlots& slots);

// A new impedance the run can use: finite and above 0.
bool is_usable_impedance(double z);

// Header skip, option line, gamma and the record loop, on slots that are already open.
// Returns the exit status.
int process_run(const RunInputs& run, FileSlots& slots);

}  // namespace tavrin
