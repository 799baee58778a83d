#include "touchstone/line_tokens.hpp"

#include "support/text.hpp"
#include "text/number_text.hpp"

namespace tavrin {

void clean_line(std::string& line) {
    std::size_t length = line.size();
    for (std::size_t i = 0; i < length; ++i) {
        char& c = line[i];
        if (c == '\t') {
            c = ' ';
        } else if (c == '!') {
            length = i;  // nothing after the comment mark is looked at
        } else if (c == ',') {
            c = '.';
        }
    }
    const std::string_view trimmed = trim_blanks(std::string_view(line.data(), length));
    const std::size_t start = static_cast<std::size_t>(trimmed.data() - line.data());
    line.erase(start + trimmed.size());
    line.erase(0, start);
}

double pop_number(std::string_view& text) {
    const double value = parse_number(text);
    const std::size_t blank = text.find(' ');
    text = blank == std::string_view::npos ? std::string_view{}
                                           : trim_front_blanks(text.substr(blank));
    return value;
}

}  // namespace tavrin
