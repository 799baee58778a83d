#include "touchstone/line_tokens.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "support/text.hpp"
#include "text/number_text.hpp"

namespace tavrin {

namespace {

bool is_cleaning_mark(char c) { return c == '\t' || c == '!' || c == ','; }

// Nonzero where a byte of word equals c; the lowest flagged byte is always a true match.
std::uint64_t bytes_equal(std::uint64_t word, unsigned char c) {
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    const std::uint64_t x = word ^ (ones * c);
    return (x - ones) & ~x & highs;
}

// Position of the first tab, '!' or ',' at or after from, or size when there is none. Most
// data lines hold none, so they are scanned eight bytes at a time.
std::size_t next_cleaning_mark(const char* text, std::size_t from, std::size_t size) {
    std::size_t i = from;
#if defined(__SSE2__)
    // Sixteen bytes at a time where the processor has SSE2 (every x86-64 does).
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i mark = _mm_set1_epi8('!');
    const __m128i comma = _mm_set1_epi8(',');
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i found = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, tab), _mm_cmpeq_epi8(bytes, mark)),
            _mm_cmpeq_epi8(bytes, comma));
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(found));
        if (bits != 0) return i + static_cast<std::size_t>(std::countr_zero(bits));
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= size; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, text + i, 8);
            const std::uint64_t found =
                bytes_equal(word, '\t') | bytes_equal(word, '!') | bytes_equal(word, ',');
            if (found != 0) return i + static_cast<std::size_t>(std::countr_zero(found)) / 8;
        }
    }
    while (i < size && !is_cleaning_mark(text[i])) ++i;
    return i;
}

}  // namespace

void clean_line(std::string& line) {
    std::size_t length = line.size();
    for (std::size_t i = next_cleaning_mark(line.data(), 0, length); i < length;
         i = next_cleaning_mark(line.data(), i + 1, length)) {
        char& c = line[i];
        if (c == '\t') {
            c = ' ';
        } else if (c == '!') {
            length = i;  // nothing after the comment mark is looked at
        } else {
            c = '.';  // a decimal comma
        }
    }
    const std::string_view trimmed = trim_blanks(std::string_view(line.data(), length));
    const std::size_t start = static_cast<std::size_t>(trimmed.data() - line.data());
    line.erase(start + trimmed.size());
    line.erase(0, start);
}

double pop_number(std::string_view& text) {
    std::size_t scanned = 0;
    const double value = parse_number(text, scanned);
    // Usually the number ends right at the blank.
    const std::size_t blank = scanned < text.size() && text[scanned] == ' '
                                  ? scanned
                                  : text.find(' ', scanned);
    text = blank == std::string_view::npos ? std::string_view{}
                                           : trim_front_blanks(text.substr(blank));
    return value;
}

// Blank by blank (memchr), not character by character.
bool holds_four_tokens(std::string_view text) {
    int count = 0;
    std::size_t i = text.find_first_not_of(' ');
    while (i != std::string_view::npos) {
        if (++count > 4) return false;
        const std::size_t blank = text.find(' ', i);
        if (blank == std::string_view::npos) break;
        i = text.find_first_not_of(' ', blank);
    }
    return count == 4;
}

}  // namespace tavrin
