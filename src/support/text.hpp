// Text operations on byte strings, with positions counted from 1 as the rest of the system
// counts them. Only ASCII is interpreted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrin {

// Code of the first character, 0 for the empty text.
inline int first_code(std::string_view text) {
    return text.empty() ? 0 : static_cast<unsigned char>(text.front());
}

// 1-based position of pattern in text, searching from position from; 0 when absent.
inline std::size_t find_text(std::string_view text, std::string_view pattern, std::size_t from = 1) {
    if (from < 1 || from > text.size() + 1) return 0;
    const std::size_t at = text.find(pattern, from - 1);
    return at == std::string_view::npos ? 0 : at + 1;
}

// The first n characters (all of them when n exceeds the length, none for n below 1).
inline std::string_view left_text(std::string_view text, long long n) {
    if (n < 1) return {};
    return text.substr(0, static_cast<std::size_t>(n) < text.size() ? static_cast<std::size_t>(n)
                                                                     : text.size());
}

// From 1-based position p to the end; empty for p below 1 or past the end.
inline std::string_view text_from(std::string_view text, long long p) {
    if (p < 1 || static_cast<std::size_t>(p) > text.size()) return {};
    return text.substr(static_cast<std::size_t>(p) - 1);
}

inline std::string_view trim_front_blanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    return text.substr(i);
}

inline std::string_view trim_blanks(std::string_view text) {
    text = trim_front_blanks(text);
    std::size_t n = text.size();
    while (n > 0 && text[n - 1] == ' ') --n;
    return text.substr(0, n);
}

// Letters a to z become A to Z; every other byte stays, so output never depends on the locale.
inline char upper_case_ascii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline void upper_case_ascii(std::string& text) {
    for (char& c : text) c = upper_case_ascii(c);
}

}  // namespace tavrin
