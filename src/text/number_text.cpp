#include "text/number_text.hpp"

#include <bit>
#include <bit>
#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace tavrin {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_conversion_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Case-insensitive test that text starts with word (word in lower case).
bool starts_with_word(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (lower(text[i]) != word[i]) return false;
    }
    return true;
}

// "&H", "&O", "&B" or a bare "&": unsigned 64-bit digits that wrap, read as two's complement.
double parse_radix(std::string_view text) {
    unsigned radix = 8;
    std::size_t i = 1;
    if (text.size() > 1) {
        switch (text[1]) {
            case 'H':
            case 'h':
                radix = 16;
                i = 2;
                break;
            case 'O':
            case 'o':
                i = 2;
                break;
            case 'B':
            case 'b':
                radix = 2;
                i = 2;
                break;
            default:
                break;
        }
    }
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (is_digit(c)) {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        if (digit >= radix) break;
        value = value * radix + digit;
    }
    return static_cast<double>(static_cast<std::int64_t>(value));
}

int hex_digit_value(char c) {
    if (is_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// (m + a little more when sticky) * 2^exponent, rounded to the nearest double, ties to even,
// with the subnormal range and overflow to infinity as the standard conversion has them.
double round_binary(std::uint64_t m, long long exponent, bool sticky) {
    if (m == 0) return 0.0;
    const int length = static_cast<int>(std::bit_width(m));
    const long long top = exponent + length - 1;  // the value lies in [2^top, 2^(top + 1))
    if (top > 1100) return std::numeric_limits<double>::infinity();
    // Bits a double keeps at this magnitude: 53, fewer in the subnormal range.
    const long long keep = top >= -1022 ? 53 : top + 1075;
    if (keep < 0) return 0.0;  // below half the smallest subnormal
    const long long shift = length - keep;
    std::uint64_t q = m;
    if (shift > 0) {
        const std::uint64_t dropped = shift == 64 ? m : m & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        q = shift == 64 ? 0 : m >> shift;
        if (dropped > half || (dropped == half && (sticky || (q & 1u) != 0))) ++q;
        exponent += shift;
    }
    // q has at most 54 bits, so both the conversion and the scaling are exact (or overflow).
    return std::ldexp(static_cast<double>(q), static_cast<int>(exponent));
}

// Hexadecimal floating constant after "0x": hexadecimal digits with at most one point, at
// least one digit, then optionally "p" or "P", a sign and decimal digits (an exponent without
// digits is not part of the number). Returns false when no hexadecimal digit follows the
// prefix. Converted here rather than by the library, whose hexadecimal reading accepts an
// exponent sign of "+-" and cannot tell underflow from overflow.
bool parse_hex_float(std::string_view text, double& value) {
    std::uint64_t m = 0;
    long long exponent = 0;  // the value is m * 2^exponent, plus the sticky part
    bool sticky = false;     // a non-zero digit beyond the 64 bits kept
    bool any_digit = false;
    bool point = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        if (text[i] == '.' && !point) {
            point = true;
            continue;
        }
        const int digit = hex_digit_value(text[i]);
        if (digit < 0) break;
        any_digit = true;
        if ((m >> 60) == 0) {
            m = (m << 4) | static_cast<std::uint64_t>(digit);
            if (point) exponent -= 4;
        } else {
            if (digit != 0) sticky = true;
            if (!point) exponent += 4;
        }
    }
    if (!any_digit) return false;
    if (i < text.size() && (text[i] == 'p' || text[i] == 'P')) {
        std::size_t j = i + 1;
        bool negative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negative = text[j] == '-';
            ++j;
        }
        long long power = 0;
        for (; j < text.size() && is_digit(text[j]); ++j) {
            if (power < 100000000) power = power * 10 + (text[j] - '0');
        }
        exponent += negative ? -power : power;
    }
    value = round_binary(m, exponent, sticky);
    return true;
}

constexpr std::uint64_t pow10_64[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Powers of ten that are exact doubles.
constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Decimal digits with at most one point and an optional exponent whose letter may be D.
// Returns false when no digit is there. Correctly rounded, independent of the locale.
bool parse_decimal_any(std::string_view text, double& value) {
    std::size_t i = 0;
    std::size_t integer_digits = 0;   // after leading zeros
    std::size_t fraction_zeros = 0;   // zeros right after the point, before the first digit
    bool seen_nonzero = false;
    bool any_digit = false;
    // The significant digits as an integer while they fit, and the power of ten they need.
    std::uint64_t digits = 0;
    int significant = 0;
    long long scale = 0;
    while (i < text.size() && is_digit(text[i])) {
        any_digit = true;
        if (text[i] != '0') seen_nonzero = true;
        if (seen_nonzero) {
            ++integer_digits;
            if (significant < 19) digits = digits * 10 + static_cast<unsigned>(text[i] - '0');
            ++significant;
        }
        ++i;
    }
    if (significant > 19) scale = significant - 19;  // integer digits beyond those kept
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) {
            any_digit = true;
            if (text[i] != '0') {
                seen_nonzero = true;
            } else if (!seen_nonzero) {
                ++fraction_zeros;
            }
            if (seen_nonzero) {
                if (significant < 19) {
                    digits = digits * 10 + static_cast<unsigned>(text[i] - '0');
                    --scale;
                }
                ++significant;
            } else {
                --scale;
            }
            ++i;
        }
    }
    if (!any_digit) return false;
    std::size_t mantissa_end = i;
    long long exponent = 0;
    std::size_t exponent_letter = std::string_view::npos;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        bool negative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negative = text[j] == '-';
            ++j;
        }
        if (j < text.size() && is_digit(text[j])) {
            exponent_letter = i;
            while (j < text.size() && is_digit(text[j])) {
                if (exponent < 100000000) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (negative) exponent = -exponent;
            mantissa_end = j;
        }
    }
    // Exact digits below 2^53 and a power of ten that is an exact double: one IEEE division or
    // multiplication rounds the exact quotient or product once, to nearest, as the full
    // conversion does.
    const long long power = scale + exponent;
    if (significant <= 19 && digits <= (1ull << 53) && power >= -22 && power <= 22) {
        const double d = static_cast<double>(digits);
        value = power < 0 ? d / exact_powers_of_ten[-power] : d * exact_powers_of_ten[power];
        return true;
    }
    const char* first = text.data();
    const char* last = first + mantissa_end;
    std::string copy;
    if (exponent_letter != std::string_view::npos &&
        (text[exponent_letter] == 'd' || text[exponent_letter] == 'D')) {
        copy.assign(first, last);
        copy[exponent_letter] = 'e';
        first = copy.data();
        last = first + copy.size();
    }
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond the double range either way: decide by the decimal magnitude.
        const long long magnitude =
            integer_digits > 0 ? static_cast<long long>(integer_digits) - 1 + exponent
                               : exponent - static_cast<long long>(fraction_zeros) - 1;
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc{}) {
        value = 0.0;
    }
    return true;
}

// For each byte of word (first character lowest): zero where it is a digit. A byte of 0xFA or
// more may disturb the bytes after it, never those before, so the lowest nonzero byte is
// always the first non-digit.
std::uint64_t non_digit_bytes(std::uint64_t word) {
    return ((word & 0xF0F0F0F0F0F0F0F0ull) |
            (((word + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ^
           0x3333333333333333ull;
}

// The value of eight digit characters, the first most significant: pairs, then quadruples,
// then the two halves, each step one multiplication.
std::uint32_t eight_digits_value(std::uint64_t word) {
    word -= 0x3030303030303030ull;
    word = (word * 10) + (word >> 8);
    word = (((word & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
            (((word >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
           32;
    return static_cast<std::uint32_t>(word);
}

// Digits from s on, added to digits; eight bytes at a time where the text allows. Inlined,
// so that the running value stays in a register.
[[gnu::always_inline]] inline const char* read_digits(const char* s, const char* last,
                                                      std::uint64_t& digits) {
    if constexpr (std::endian::native == std::endian::little) {
        while (last - s >= 8) {
            std::uint64_t word;
            std::memcpy(&word, s, 8);
            const std::uint64_t others = non_digit_bytes(word);
            if (others == 0) {
                digits = digits * 100000000u + eight_digits_value(word);
                s += 8;
                continue;
            }
            const int count = std::countr_zero(others) / 8;  // leading digits, 0 to 7
            if (count > 0) {
                // Those digits moved to the end of a word of '0's, whose value they then are.
                const int drop = 8 * (8 - count);
                const std::uint64_t shifted = (word << drop) | (0x3030303030303030ull >> (64 - drop));
                digits = digits * pow10_64[count] + eight_digits_value(shifted);
            }
            return s + count;
        }
    }
    while (s < last && is_digit(*s)) digits = digits * 10 + static_cast<unsigned>(*s++ - '0');
    return s;
}

// The numbers of data files: at most 19 digits in all, so that they are exact as one 64-bit
// integer, and a power of ten within the exact doubles. Sets value and end (just past the
// number) and returns true; false for anything else, which parse_decimal_any reads.
[[gnu::always_inline]] inline bool parse_short_decimal(const char* first, const char* last, double& value, const char*& end) {
    std::uint64_t digits = 0;  // wraps beyond 19 digits, when it is not used
    // Integer parts are mostly short: one digit at a time. Fractions go eight at a time.
    const char* s = first;
    while (s < last && is_digit(*s)) digits = digits * 10 + static_cast<unsigned>(*s++ - '0');
    std::size_t count = static_cast<std::size_t>(s - first);
    long long fraction_digits = 0;
    if (s < last && *s == '.') {
        const char* const fraction = ++s;
        s = read_digits(s, last, digits);
        fraction_digits = s - fraction;
        count += static_cast<std::size_t>(fraction_digits);
    }
    if (count == 0 || count > 19 || digits > (1ull << 53)) return false;
    long long exponent = 0;
    if (s < last && (*s == 'e' || *s == 'E' || *s == 'd' || *s == 'D')) {
        const char* e = s + 1;
        bool negative = false;
        if (e < last && (*e == '+' || *e == '-')) negative = *e++ == '-';
        // Without a digit the letter is not part of the number.
        if (e < last && is_digit(*e)) {
            while (e < last && is_digit(*e) && exponent < 100) exponent = exponent * 10 + (*e++ - '0');
            if (e < last && is_digit(*e)) return false;  // a long exponent: the general reader
            s = e;
        }
        if (negative) exponent = -exponent;
    }
    const long long power = exponent - fraction_digits;
    if (power < -22 || power > 22) return false;
    // One IEEE operation on exact operands rounds the exact value once, to nearest.
    const double d = static_cast<double>(digits);
    value = power < 0 ? d / exact_powers_of_ten[-power] : d * exact_powers_of_ten[power];
    end = s;
    return true;
}

bool parse_decimal(std::string_view text, double& value) {
    const char* end = nullptr;
    if (parse_short_decimal(text.data(), text.data() + text.size(), value, end)) return true;
    return parse_decimal_any(text, value);
}

// The standard text-to-double conversion's rules: white space, a sign, then a decimal or
// hexadecimal number or one of the words inf, infinity and nan.
double convert_decimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_conversion_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = text.substr(i);
    double value = 0.0;
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        // A 'D' was already turned into 'E' by the caller's rule, so it reads as the digit E.
        std::string hex(rest.substr(2));
        for (char& c : hex) {
            if (c == 'D') c = 'E';
            if (c == 'd') c = 'e';
        }
        if (!parse_hex_float(hex, value)) value = 0.0;  // just the "0"
    } else if (starts_with_word(rest, "inf")) {
        value = std::numeric_limits<double>::infinity();
    } else if (starts_with_word(rest, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
    } else if (!parse_decimal(rest, value)) {
        return 0.0;
    }
    return negative ? -value : value;
}

}  // namespace

double parse_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    const std::string_view rest = text.substr(i);
    if (rest.empty()) return 0.0;
    if (rest.size() >= 2) {
        if (rest[0] == '&') return parse_radix(rest);
        if (rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) return 0.0;
    }
    return convert_decimal(rest);
}

double parse_number(std::string_view text, std::size_t& scanned) {
    // A token of a cleaned data line starts with a digit, a sign or a point; the decimal forms
    // hold no blank, so the caller may look for the blank after the number.
    const char* const first = text.data();
    const char* const last = first + text.size();
    const char* s = first;
    if (s < last && (*s == '+' || *s == '-')) ++s;
    if (s < last && (is_digit(*s) || *s == '.') &&
        !(*s == '0' && last - s >= 2 && (s[1] == 'x' || s[1] == 'X'))) {
        double value = 0.0;
        const char* end = nullptr;
        if (parse_short_decimal(s, last, value, end)) {
            scanned = static_cast<std::size_t>(end - first);
            return *first == '-' ? -value : value;
        }
    }
    scanned = 0;
    return parse_number(text);
}

bool is_decimal_number(std::string_view token) {
    std::size_t i = 0;
    const auto skip_digits = [&] {
        const std::size_t from = i;
        while (i < token.size() && is_digit(token[i])) ++i;
        return i > from;
    };
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    bool digits = skip_digits();
    if (i < token.size() && token[i] == '.') {
        ++i;
        digits = skip_digits() || digits;
    }
    if (!digits) return false;
    if (i < token.size() && (token[i] == 'E' || token[i] == 'e')) {
        ++i;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
        if (!skip_digits()) return false;
    }
    return i == token.size();
}

std::string canonical_number_text(double value) {
    if (value != value) return "nan";
    if (value == std::numeric_limits<double>::infinity()) return "inf";
    if (value == -std::numeric_limits<double>::infinity()) return "-inf";
    if (value == 0.0) return "0";

    // Sixteen significant digits, correctly rounded: d.ddddddddddddddde[+-]x
    char scientific[40];
    const auto result =
        std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific, 15);
    const std::string_view text(scientific, static_cast<std::size_t>(result.ptr - scientific));
    const bool negative = text.front() == '-';
    const std::string_view body = negative ? text.substr(1) : text;
    std::string digits;
    digits.push_back(body[0]);
    digits.append(body.substr(2, 15));
    const std::size_t e = body.find('e');
    int exponent = 0;
    std::from_chars(body.data() + e + 2, body.data() + body.size(), exponent);
    if (body[e + 1] == '-') exponent = -exponent;

    std::string out;
    if (negative) out.push_back('-');
    if (exponent >= -4 && exponent < 16) {
        if (exponent >= 0) {
            out.append(digits, 0, static_cast<std::size_t>(exponent) + 1);
            out.push_back('.');
            out.append(digits, static_cast<std::size_t>(exponent) + 1, std::string::npos);
        } else {
            out.append("0.");
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out.append(digits);
        }
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
        return out;
    }
    out.push_back(digits[0]);
    out.push_back('.');
    out.append(digits, 1, std::string::npos);
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    out.push_back('e');
    out.push_back(exponent < 0 ? '-' : '+');
    const int magnitude = exponent < 0 ? -exponent : exponent;
    char exponent_digits[8];
    const auto end = std::to_chars(exponent_digits, exponent_digits + sizeof exponent_digits, magnitude);
    const std::size_t count = static_cast<std::size_t>(end.ptr - exponent_digits);
    if (count < 3) out.append(3 - count, '0');
    out.append(exponent_digits, count);
    return out;
}

}  // namespace tavrin
