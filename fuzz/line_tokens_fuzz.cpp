// clean_line and pop_number on arbitrary bytes: the cleaned form, idempotence, and that
// popping walks the tokens from left to right and always ends.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "text/number_text.hpp"
#include "touchstone/line_tokens.hpp"

namespace {

using tavrin::fuzz::require;

// The cleaning rules, written out directly.
std::string expected_clean(std::string_view raw) {
    std::string out;
    for (const char c : raw) {
        if (c == '!') break;
        out.push_back(c == '\t' ? ' ' : c == ',' ? '.' : c);
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = out.find_last_not_of(' ');
    return out.substr(first, last - first + 1);
}

bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Pops until the text is empty; each pop gives the number in front and drops one token.
void pop_all(std::string_view text, bool cleaned) {
    std::size_t pops = 0;
    const std::size_t limit = text.size() + 1;
    while (!text.empty()) {
        const std::string_view before = text;
        const double expected = tavrin::parse_number(before);
        const double got = tavrin::pop_number(text);
        require(same_double(got, expected), "pop_number gives the number in front", before);
        const std::size_t blank = before.find(' ');
        std::string_view rest;
        if (blank != std::string_view::npos) {
            rest = before.substr(blank);
            rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
        }
        require(text == rest, "pop_number drops the token and the blanks after it", before);
        require(text.size() < before.size(), "pop_number always shortens the text", before);
        if (cleaned && !text.empty()) require(text.front() != ' ', "no blank in front", text);
        require(++pops <= limit, "popping ends");
    }
    const double empty = tavrin::pop_number(text);
    require(std::bit_cast<std::uint64_t>(empty) == 0 && text.empty(),
            "popping an empty text gives +0 and leaves it empty");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw = tavrin::fuzz::as_text(data, size);
    std::string line(raw);
    tavrin::clean_line(line);
    require(line == expected_clean(raw), "clean_line follows the cleaning rules", raw);
    require(line.find_first_of("\t!,") == std::string::npos, "no tab, comment or comma left",
            line);
    std::string again = line;
    tavrin::clean_line(again);
    require(again == line, "clean_line is idempotent", line);

    pop_all(line, true);
    pop_all(raw, false);
    return 0;
}
