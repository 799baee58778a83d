#include "touchstone/comment_lines.hpp"

#include <string>

#include "support/text.hpp"
#include "text/number_text.hpp"

namespace tavrin {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Upper case, tabs as blanks, runs of blanks as one, trimmed: the form statements are matched in.
std::string normalised_words(std::string_view text) {
    std::string words;
    for (const char c : text) {
        if (is_blank(c)) {
            if (!words.empty() && words.back() != ' ') words.push_back(' ');
        } else {
            words.push_back(upper_case_ascii(c));
        }
    }
    if (!words.empty() && words.back() == ' ') words.pop_back();
    return words;
}

}  // namespace

std::optional<std::string_view> comment_text(std::string_view raw_line) {
    std::size_t i = 0;
    while (i < raw_line.size() && is_blank(raw_line[i])) ++i;
    if (i == raw_line.size() || raw_line[i] != '!') return std::nullopt;
    return raw_line.substr(i + 1);
}

std::optional<std::string_view> port_impedance_numbers(std::string_view comment) {
    constexpr std::string_view words = "PORTIMPEDANCE";
    std::size_t i = 0;
    for (const char letter : words) {
        while (i < comment.size() && is_blank(comment[i])) ++i;
        if (i == comment.size() || upper_case_ascii(comment[i]) != letter) return std::nullopt;
        ++i;
    }
    return comment.substr(i);
}

int take_numbers(std::string_view text, double numbers[4]) {
    std::string token;
    int count = 0;
    std::size_t i = 0;
    for (;;) {
        while (i < text.size() && is_blank(text[i])) ++i;
        if (i == text.size()) return count;
        token.clear();
        for (; i < text.size() && !is_blank(text[i]); ++i) {
            token.push_back(text[i] == ',' ? '.' : text[i]);
        }
        if (!is_decimal_number(token)) return -1;
        if (count < 4) numbers[count] = parse_number(token);
        ++count;
    }
}

HeaderStatement header_statement(std::string_view comment) {
    const std::string words = normalised_words(comment);
    if (words.find("DATA IS NOT RENORMALIZED") != std::string::npos ||
        words.find("DATA IS NOT RENORMALISED") != std::string::npos) {
        return HeaderStatement::not_renormalized;
    }
    constexpr std::string_view uses = "S-PARAMETER USES THE ";
    const std::size_t at = words.find(uses);
    if (at == std::string::npos) return HeaderStatement::none;
    const std::string_view definition = std::string_view(words).substr(at + uses.size());
    if (definition.starts_with("POWER")) return HeaderStatement::power_waves;
    if (definition.starts_with("PSEUDO")) return HeaderStatement::pseudo_waves;
    if (definition.starts_with("TRAVEL")) return HeaderStatement::traveling_waves;
    return HeaderStatement::none;
}

}  // namespace tavrin
