#include "touchstone/option_line.hpp"

#include "support/text.hpp"
#include "text/number_text.hpp"
#include "touchstone/line_tokens.hpp"

namespace tavrin {

namespace {

constexpr std::string_view impedance_mark = "R ";

std::string_view token_at(std::string_view text) {
    return text.substr(0, text.find(' '));
}

}  // namespace

double read_option_line(std::string& line, DataFormat& format) {
    clean_line(line);
    upper_case_ascii(line);
    if (find_text(line, "DB") != 0) {
        format = DataFormat::db;
    } else if (find_text(line, "RI") == 0) {
        format = DataFormat::ma;
    } else {
        format = DataFormat::ri;
    }
    const std::size_t p = find_text(line, impedance_mark);
    if (p == 0) return 50.0;
    return parse_number(text_from(line, static_cast<long long>(p) + 2));
}

bool names_other_parameters(std::string_view line) {
    while (!line.empty()) {
        line = trim_front_blanks(line);
        const std::string_view word = token_at(line);
        if (word.size() == 1 && (word[0] == 'Y' || word[0] == 'Z' || word[0] == 'H' ||
                                 word[0] == 'G' || word[0] == 'y' || word[0] == 'z' ||
                                 word[0] == 'h' || word[0] == 'g')) {
            return true;
        }
        line.remove_prefix(word.size());
    }
    return false;
}

void rewrite_option_line(std::string& line, double z_old, double z_new) {
    const std::string n = canonical_number_text(z_new);
    const std::size_t p = find_text(line, impedance_mark);
    if (p == 0) {
        line.append(" R ");
        line.append(n);
        return;
    }
    const std::string o = canonical_number_text(z_old);
    const std::string_view head = left_text(line, static_cast<long long>(p) + 1);
    std::string rewritten(head);
    rewritten.append(n);
    rewritten.append(text_from(line, static_cast<long long>(p + 2 + o.size())));

    // Replacing exactly as many characters as z_old's canonical text has is right for
    // '50' or '50.0', but would turn 'R 050' into 'R 750', 'R 50.0' into 'R 25.5.0' or
    // 'R   50' into 'R 75 50'. Unless it replaced part of one token and left exactly the new
    // impedance there, the blanks after "R " and the whole token are replaced instead.
    const std::string_view replaced = left_text(text_from(line, static_cast<long long>(p) + 2),
                                                static_cast<long long>(o.size()));
    const std::string_view written = token_at(text_from(rewritten, static_cast<long long>(p) + 2));
    if (replaced.find(' ') != std::string_view::npos || !is_decimal_number(written) ||
        parse_number(written) != parse_number(n)) {
        const std::string_view after_mark = text_from(line, static_cast<long long>(p) + 2);
        const std::string_view from_token = trim_front_blanks(after_mark);
        const std::string_view tail = from_token.substr(token_at(from_token).size());
        rewritten.assign(head);
        rewritten.append(n);
        rewritten.append(tail);
    }
    line = std::move(rewritten);
}

}  // namespace tavrin
