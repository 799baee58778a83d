#include "run/dialogue.hpp"

#include <optional>
#include <string_view>

#include "run/console_window.hpp"
#include "text/prompted_input.hpp"

namespace tavrin {

namespace {

// Asks the question until accept takes the answer; false when the input ended first.
template <typename Accept>
bool ask(Console& console, InputContext& context, std::string_view prompt, Accept accept) {
    for (;;) {
        const std::optional<std::string> answer =
            prompted_input(console, context, prompt, false, false);
        if (!answer) return false;
        if (accept(*answer)) return true;
        // No message: the row is wiped and the question asked again over it.
        console.move_to_column(1);
        console.write(std::string(wipe_width, ' '));
        console.move_to_column(1);
    }
}

}  // namespace

bool run_dialogue(Console& console, FileSlots& slots, RunInputs& run,
                  const std::string& settings_path) {
    slots.settings.open(settings_path);
    const std::uint32_t word = read_window_position(slots.settings);
    setup_console_window(console, slots.settings, word, " ");
    console.size_console(console_columns, console_rows);
    console.write("Enter filename without .s2p");
    console.end_line();
    console.end_line();

    InputContext context(console);
    const bool forward = ask(console, context, "Forward: ", [&](const std::string& answer) {
        return accept_forward(answer, run, slots);
    });
    if (!forward) return false;
    console.end_line();

    const bool reverse = ask(console, context, "Reverse: ", [&](const std::string& typed) {
        if (!typed.empty()) return accept_reverse(typed, run, slots);
        // An empty answer means the forward file, shown where it would have been typed.
        console.write(run.forward_name);
        return accept_reverse(run.forward_name, run, slots);
    });
    if (!reverse) return false;
    console.end_line();

    const bool output = ask(console, context, "Output: ", [&](const std::string& answer) {
        return !answer.empty() && accept_output(answer, run, slots);
    });
    if (!output) return false;
    console.end_line();

    return ask(console, context, "Renormalized Z = ", [&](const std::string& answer) {
        return accept_impedance(answer, run);
    });
}

}  // namespace tavrin
