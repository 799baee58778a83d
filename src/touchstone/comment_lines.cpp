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
    // As field solvers write it, on every record of a file: one comparison.
    constexpr std::string_view usual = " Port Impedance";
    if (comment.starts_with(usual)) return comment.substr(usual.size());
    constexpr std::string_view words = "PORTIMPEDANCE";
    std::size_t i = 0;
    for (const char letter : words) {
        while (i < comment.size() && is_blank(comment[i])) ++i;
        if (i == comment.size() || upper_case_ascii(comment[i]) != letter) return std::nullopt;
        ++i;
    }
    return comment.substr(i);
}

int take_numbers(std::string_view text, double* numbers, int capacity) {
    std::string with_point;  // only for a token written with a decimal comma
    int count = 0;
    std::size_t i = 0;
    for (;;) {
        while (i < text.size() && is_blank(text[i])) ++i;
        if (i == text.size()) return count;
        std::string_view token = text.substr(i);
        std::size_t length = 0;
        double value = parse_number(token, length);
        if (length == 0 || (length < token.size() && !is_blank(token[length]))) {
            // Not a number that ends its token (a comma, a word): the token, the slow way.
            length = 0;
            while (length < token.size() && !is_blank(token[length])) ++length;
            with_point.assign(token.substr(0, length));
            for (char& c : with_point) c = c == ',' ? '.' : c;
            token = with_point;
            value = parse_number(token);
        }
        // Strict: the number reader also takes words, radix and D forms.
        if (!is_decimal_number(token.substr(0, length))) return -1;
        if (count < capacity) numbers[count] = value;
        ++count;
        i += length;
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

std::optional<WaveDefinition> waves_stated(HeaderStatement statement) {
    switch (statement) {
        case HeaderStatement::traveling_waves: return WaveDefinition::traveling;
        case HeaderStatement::power_waves: return WaveDefinition::power;
        case HeaderStatement::pseudo_waves: return WaveDefinition::pseudo;
        default: return std::nullopt;
    }
}

void note_header_statement(std::string_view comment, bool& not_renormalized,
                           std::optional<WaveDefinition>& waves) {
    const HeaderStatement statement = header_statement(comment);
    if (statement == HeaderStatement::not_renormalized) not_renormalized = true;
    if (const std::optional<WaveDefinition> stated = waves_stated(statement)) waves = stated;
}

}  // namespace tavrin
