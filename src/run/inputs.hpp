// The four inputs of a run and the checks that both run modes apply to them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/failure.hpp"
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

// Each accept_ check takes one answer: it opens that file on the way and records the name, or
// refuses the answer (false) and leaves the run as it was.
bool accept_forward(const std::string& name, RunInputs& run, FileSlots& slots);
// The forward name again means single-file mode, and no second file is opened.
bool accept_reverse(const std::string& name, RunInputs& run, FileSlots& slots);
// A name of its own that reaches no open input another way (letter case, a path, a link):
// opening such a file for output would empty that input before it is read.
bool accept_output(const std::string& name, RunInputs& run, FileSlots& slots);
// The number the text starts with, when it is finite and above 0.
bool accept_impedance(std::string_view text, RunInputs& run);

// Whether the output name is one of the input names, exactly as written.
bool names_an_input(const std::string& output, const std::string& forward,
                    const std::string& reverse);
// A usable reference impedance: finite and above 0.
bool is_usable_impedance(double z);

// Why an output name is refused (Cause::none when it is accepted); the file is opened on the way.
Cause refuse_output(const std::string& name, RunInputs& run, FileSlots& slots);

// Command-line mode: forward, reverse, output, impedance, checked in that order after the
// names are compared, opening slots 1, 2 and 3 on the way. Gives no failure when the run may
// go on.
Failure open_command_line_run(const std::vector<std::string>& arguments, FileSlots& slots,
                              RunInputs& run);

}  // namespace tavrin
