#include "touchstone/option_line.hpp"

#include "support/text.hpp"
#include "text/number_text.hpp"
#include "touchstone/line_tokens.hpp"

namespace tavrin {

namespace {

constexpr std::string_view impedance_mark = "R ";
constexpr std::string_view frequency_units[] = {"HZ", "KHZ", "MHZ", "GHZ"};

std::string_view token_at(std::string_view text) { return text.substr(0, text.find(' ')); }

bool is_parameter_letter(std::string_view word) {
    return word.size() == 1 && std::string_view("SYZHG").find(word[0]) != std::string_view::npos;
}

// Counts the numbers of the list after "R ": the first token whatever it is, then every decimal
// number token right after it.
void read_impedance_list(std::string_view text, std::string_view list, OptionLine& option) {
    std::string_view rest = trim_front_blanks(list);
    rest.remove_prefix(token_at(rest).size());
    option.impedance_count = 1;
    option.list_end = text.size() - rest.size();
    for (;;) {
        rest = trim_front_blanks(rest);
        const std::string_view word = token_at(rest);
        if (word.empty() || !is_decimal_number(word)) return;
        if (++option.impedance_count == 2) option.z_port2 = parse_number(word);
        rest.remove_prefix(word.size());
        option.list_end = text.size() - rest.size();
    }
}

}  // namespace

bool is_option_line(std::string_view raw_line) {
    const std::size_t first = raw_line.find_first_not_of(" \t");
    return first != std::string_view::npos && raw_line[first] == '#';
}

OptionLine read_option_line(std::string line) {
    clean_line(line);
    upper_case_ascii(line);
    OptionLine option;
    option.text = std::move(line);
    const std::string_view text = option.text;
    option.format = &format_named_in(text);
    option.impedance_at = find_text(text, impedance_mark);
    if (option.impedance_at != 0) {
        const std::string_view list = text_from(text, static_cast<long long>(option.impedance_at) + 2);
        option.z_old = parse_number(list);
        read_impedance_list(text, list, option);
    }
    bool parameter_found = false;
    for (std::string_view rest = text; !rest.empty();) {
        rest = trim_front_blanks(rest);
        const std::string_view word = token_at(rest);
        rest.remove_prefix(word.size());
        if (is_parameter_letter(word)) {
            if (!parameter_found) option.parameter = word[0];
            parameter_found = true;
            option.other_parameters = option.other_parameters || word[0] != 'S';
        }
        for (const std::string_view unit : frequency_units) {
            if (option.frequency_unit.empty() && word == unit) option.frequency_unit = unit;
        }
    }
    return option;
}

std::string rewrite_option_line(const OptionLine& option, double z_old, double z_new) {
    const std::string_view line = option.text;
    const std::string n = canonical_number_text(z_new);
    const std::size_t p = option.impedance_at;
    if (p == 0) return std::string(line) + " R " + n;
    const std::string_view head = left_text(line, static_cast<long long>(p) + 1);
    std::string rewritten(head);
    if (option.impedance_count > 1) {
        // One reference for both ports now: the whole list goes.
        rewritten.append(n);
        rewritten.append(line.substr(option.list_end));
        return rewritten;
    }
    const std::string o = canonical_number_text(z_old);
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
        const std::string_view from_token =
            trim_front_blanks(text_from(line, static_cast<long long>(p) + 2));
        rewritten.assign(head);
        rewritten.append(n);
        rewritten.append(from_token.substr(token_at(from_token).size()));
    }
    return rewritten;
}

}  // namespace tavrin
