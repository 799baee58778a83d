// Interactive mode: asks for the four inputs of a run until each is acceptable.
#pragma once

#include <string>

#include "run/inputs.hpp"
#include "support/console.hpp"
#include "support/file_slots.hpp"

namespace tavrin {

inline constexpr int console_columns = 28;
inline constexpr int console_rows = 7;
inline constexpr int wipe_width = 27;

// Opens the settings file (slot 4) at settings_path, sets up and sizes the console, then asks
// for the forward, reverse and output names and the new impedance, opening slots 1, 2 (unless
// single-file) and 3 on the way. Returns false only when the input ended before every answer
// was accepted.
bool run_dialogue(Console& console, FileSlots& slots, RunInputs& run,
                  const std::string& settings_path);

}  // namespace tavrin
