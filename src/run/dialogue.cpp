#include "run/dialogue.hpp"

#include <optional>
#include <string_view>

#include "run/console_window.hpp"
#include "text/number_text.hpp"
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

std::string with_extension(const std::string& name) { return name + std::string(s2p_extension); }

}  // namespace

bool run_dialogue(Console& console, FileSlots& slots, RunInputs& run,
                  const std::string& settings_path) {
    slots.settings.open(settings_path);
    const std::uint32_t word = read_window_position(slots.settings);
    setup_console_window(console, word, " ");
    console.size_console(console_columns, console_rows);
    console.write("Enter filename without .s2p");
    console.end_line();
    console.end_line();

    InputContext context(console);
    const bool forward = ask(console, context, "Forward: ", [&](const std::string& answer) {
        if (!slots.forward.open(with_extension(answer))) return false;
        run.forward_name = answer;
        return true;
    });
    if (!forward) return false;
    console.end_line();

    const bool reverse = ask(console, context, "Reverse: ", [&](const std::string& typed) {
        std::string answer = typed;
        if (answer.empty()) {
            answer = run.forward_name;
            console.write(answer);
        }
        if (answer == run.forward_name) {
            run.reverse_name = answer;
            run.single_file = true;
            return true;
        }
        if (!slots.reverse.open(with_extension(answer))) return false;
        run.reverse_name = answer;
        run.single_file = false;
        return true;
    });
    if (!reverse) return false;
    console.end_line();

    const bool output = ask(console, context, "Output: ", [&](const std::string& answer) {
        if (answer.empty() || answer == run.forward_name || answer == run.reverse_name) {
            return false;
        }
        // A name that reaches an open input another way would empty it before it is read.
        const std::string path = with_extension(answer);
        if (output_reaches_an_input(path, slots) || !slots.output.open(path)) return false;
        run.output_name = answer;
        return true;
    });
    if (!output) return false;
    console.end_line();

    // Not a number and infinity would make every output number NaN: refused like 0.
    return ask(console, context, "Renormalized Z = ", [&](const std::string& answer) {
        const double z = parse_number(answer);
        if (!is_usable_impedance(z)) return false;
        run.z_new = z;
        return true;
    });
}

}  // namespace tavrin
