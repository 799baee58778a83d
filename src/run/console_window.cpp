#include "run/console_window.hpp"

#include <atomic>

namespace tavrin {

namespace {

// Set once, before the control handler is registered; read by the handler.
std::atomic<Console*> handler_console{nullptr};
std::atomic<SettingsSlot*> handler_settings{nullptr};

}  // namespace

std::uint32_t window_position_from_bytes(const unsigned char* bytes, std::size_t count) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < window_position_bytes && i < count; ++i) {
        word |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    }
    return word;
}

std::uint32_t usable_window_position(std::uint32_t word) {
    return static_cast<std::int32_t>(word) < 1 ? default_window_position : word;
}

std::uint32_t read_window_position(SettingsSlot& settings) {
    std::uint32_t word = 0;
    if (settings.is_open()) {
        unsigned char bytes[window_position_bytes] = {};
        const std::size_t got = settings.read_at(0, bytes, window_position_bytes);
        word = window_position_from_bytes(bytes, got);
    }
    return usable_window_position(word);
}

void setup_console_window(Console& console, SettingsSlot& settings, std::uint32_t word,
                          std::string_view title) {
    console.set_title(title);
    console.prepare_input();
    handler_console = &console;
    handler_settings = &settings;
    console.move_window(window_position_of(word));
    console.lock_window_size();
    // At most one keystroke typed before the window was ready is thrown away.
    static_cast<void>(console.poll_key());
    console.set_control_handler(console_control_handler);
}

std::uint32_t current_window_position() {
    Console* console = handler_console.load();
    return console == nullptr ? 0 : window_position_word(console->window_position());
}

void save_window_position() {
    const std::uint32_t word = current_window_position();
    const unsigned char bytes[window_position_bytes] = {
        static_cast<unsigned char>(word), static_cast<unsigned char>(word >> 8),
        static_cast<unsigned char>(word >> 16), static_cast<unsigned char>(word >> 24)};
    SettingsSlot* const settings = handler_settings.load();
    if (settings != nullptr) settings->write_at(0, bytes, window_position_bytes);
}

// Only the settings write happens here: closing or flushing the other files while the main
// thread may be writing them is not safe, and the process ends right after, which closes them.
void console_control_handler() { save_window_position(); }

}  // namespace tavrin
