// The dialogue's console window: its remembered position, its set-up and its control handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "support/console.hpp"
#include "support/settings_slot.hpp"

namespace tavrin {

// The window position word (see window_position_word), kept in the settings file least
// significant byte first.
inline constexpr std::size_t window_position_bytes = 4;
// Used when the settings give no position: x = 768, y = 384.
inline constexpr std::uint32_t default_window_position = 0x01800300u;

// The word from the first bytes of the settings file; bytes it does not have read as zero.
std::uint32_t window_position_from_bytes(const unsigned char* bytes, std::size_t count);
// A word below 1, taken as signed, holds no position worth restoring: the default instead.
std::uint32_t usable_window_position(std::uint32_t word);
// The position to restore: read from the settings slot when it is open, then made usable.
std::uint32_t read_window_position(SettingsSlot& settings);

// Title, keyboard mode, window position and the control handler, in that order. The handler
// saves the window position into settings.
void setup_console_window(Console& console, SettingsSlot& settings, std::uint32_t word,
                          std::string_view title);

// The window's position now, as a word.
std::uint32_t current_window_position();
// Writes the current position at the start of the settings file given at set-up.
void save_window_position();
// Runs on every control event; async-signal-safe.
void console_control_handler();

}  // namespace tavrin
