#include "touchstone/record_reader.hpp"

#include "touchstone/line_tokens.hpp"

namespace tavrin {

std::string_view RecordReader::next_data_record(InputSlot& input, int slot) {
    const int index = slot == reverse_slot ? 1 : 0;
    std::string& line = lines_[index];
    double& last = last_frequency_[index];
    while (input.read_line(line)) {
        clean_line(line);
        if (line.empty()) continue;  // blank or comment-only line
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) {
            frequency_text_.clear();
        } else {
            frequency_text_.assign(line, 0, blank);
        }
        std::string_view rest(line);
        const double frequency = pop_number(rest);
        if (frequency == last) continue;  // a repeated frequency is dropped
        if (frequency > last) {
            last = frequency;
            return rest;
        }
        return {};  // a drop in frequency ends the data; NaN lands here too
    }
    return {};
}

}  // namespace tavrin
