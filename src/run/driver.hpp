// The driver of a run: the mode, the header of the input files, and the record loop.
#pragma once

#include "run/inputs.hpp"
#include "support/file_slots.hpp"

namespace tavrin {

// Whole run: chooses the mode from the argument count, opens the files in slots and returns
// the exit status.
int run_program(int argc, char** argv, FileSlots& slots);

// Header skip, option line, gamma and the record loop, on slots that are already open.
// Returns the exit status.
int process_run(const RunInputs& run, FileSlots& slots);

}  // namespace tavrin
