// parse_number on arbitrary bytes, checked against the C library's correctly rounded
// conversion; canonical_number_text checked against an independent 16-digit rendering and
// for reading back.
#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.hpp"
#include "text/number_text.hpp"

namespace {

using tavrin::fuzz::require;

bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    }
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

int radix_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

bool is_hex(char c) { return radix_digit(c) < 16; }

// A hexadecimal constant (the text after "0x"), correctly rounded through an exact bit
// string. The C library is not used here: glibc before 2.38 misrounds some subnormals.
double exact_hex_value(std::string_view text) {
    std::string bits;  // the mantissa's bits, most significant first
    long long exponent = 0;
    bool point = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        if (text[i] == '.' && !point) {
            point = true;
            continue;
        }
        if (!is_hex(text[i])) break;
        const int digit = radix_digit(text[i]);
        for (int b = 3; b >= 0; --b) bits.push_back(((digit >> b) & 1) ? '1' : '0');
        if (point) exponent -= 4;
    }
    if (i < text.size() && (text[i] == 'p' || text[i] == 'P')) {
        std::size_t j = i + 1;
        const bool negative = j < text.size() && text[j] == '-';
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        long long power = 0;
        for (; j < text.size() && text[j] >= '0' && text[j] <= '9'; ++j) {
            power = std::min(power * 10 + (text[j] - '0'), 1000000LL);
        }
        exponent += negative ? -power : power;
    }
    const std::size_t first_one = bits.find('1');
    if (first_one == std::string::npos) return 0.0;
    bits.erase(0, first_one);
    const long long length = static_cast<long long>(bits.size());
    const long long top = exponent + length - 1;  // the value lies in [2^top, 2^(top + 1))
    if (top > 1023) return HUGE_VAL;
    const long long keep = top >= -1022 ? 53 : top + 1075;
    if (keep < 0) return 0.0;
    std::uint64_t q = 0;
    for (long long k = 0; k < keep; ++k) {
        q = q << 1 | (k < length && bits[static_cast<std::size_t>(k)] == '1' ? 1u : 0u);
    }
    if (keep < length && bits[static_cast<std::size_t>(keep)] == '1') {
        const bool above_half = bits.find('1', static_cast<std::size_t>(keep) + 1) != std::string::npos;
        if (above_half || (q & 1u) != 0) ++q;
    }
    return std::ldexp(static_cast<double>(q), static_cast<int>(top - keep + 1));
}

// What the number-reading rules give for text, built from strtod for the decimal form.
double expected_value(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    const std::string_view rest = text.substr(i);
    if (rest.empty()) return 0.0;
    if (rest.size() >= 2 && rest[0] == '&') {
        unsigned radix = 8;
        std::size_t at = 1;
        const char c = rest[1];
        if (c == 'H' || c == 'h') {
            radix = 16;
            at = 2;
        } else if (c == 'O' || c == 'o') {
            at = 2;
        } else if (c == 'B' || c == 'b') {
            radix = 2;
            at = 2;
        }
        std::uint64_t value = 0;
        for (; at < rest.size(); ++at) {
            const int digit = radix_digit(rest[at]);
            if (digit >= static_cast<int>(radix)) break;
            value = value * radix + static_cast<unsigned>(digit);
        }
        return static_cast<double>(static_cast<std::int64_t>(value));
    }
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) return 0.0;
    // No byte of a number is NUL, so strtod's end at a NUL changes nothing.
    std::string copy(rest.substr(0, rest.find('\0')));
    for (char& c : copy) {
        if (c == 'D') c = 'E';
        if (c == 'd') c = 'e';
    }
    std::size_t at = 0;
    while (at < copy.size() && std::isspace(static_cast<unsigned char>(copy[at]))) ++at;
    const bool negative = at < copy.size() && copy[at] == '-';
    if (at < copy.size() && (copy[at] == '+' || copy[at] == '-')) ++at;
    const std::string_view number = std::string_view(copy).substr(at);
    if (number.size() >= 3 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X') &&
        (is_hex(number[2]) || (number[2] == '.' && number.size() >= 4 && is_hex(number[3])))) {
        const double magnitude = exact_hex_value(number.substr(2));
        return negative ? -magnitude : magnitude;
    }
    return std::strtod(copy.c_str(), nullptr);
}

// The canonical text built independently from printf's correctly rounded 16 digits.
std::string expected_canonical(double v) {
    if (v == 0.0) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15e", v);
    std::string s(buffer);
    std::string out;
    if (s[0] == '-') {
        out = "-";
        s.erase(0, 1);
    }
    const std::size_t e = s.find('e');
    const std::string digits = s.substr(0, 1) + s.substr(2, e - 2);  // 16 digits
    const int x = std::atoi(s.c_str() + e + 1);
    std::string body;
    if (x >= -4 && x < 16) {
        if (x >= 0) {
            body = digits.substr(0, static_cast<std::size_t>(x) + 1) + "." +
                   digits.substr(static_cast<std::size_t>(x) + 1);
        } else {
            body = "0." + std::string(static_cast<std::size_t>(-x - 1), '0') + digits;
        }
        while (body.back() == '0') body.pop_back();
        if (body.back() == '.') body.pop_back();
        return out + body;
    }
    body = digits.substr(0, 1) + "." + digits.substr(1);
    while (body.back() == '0') body.pop_back();
    if (body.back() == '.') body.pop_back();
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%03d", x < 0 ? '-' : '+', x < 0 ? -x : x);
    return out + body + exponent;
}

// True for a text such as "1e+023", "-0.001" or "100": a one followed by zeros.
bool is_power_of_ten(std::string_view text) {
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    text = text.substr(0, text.find('e'));
    std::string digits;
    for (const char c : text) {
        if (c != '.' && !(digits.empty() && c == '0')) digits.push_back(c);
    }
    return !digits.empty() && digits.front() == '1' &&
           digits.find_first_not_of('0', 1) == std::string::npos;
}

void check_canonical(double v) {
    const std::string t = tavrin::canonical_number_text(v);
    if (!std::isfinite(v)) {
        require(!t.empty(), "a non-finite value has some text");
        return;
    }
    require(t.size() <= 23, "canonical text has at most 23 characters", t);
    require(t == expected_canonical(v), "canonical text is the 16-digit rendering", t);
    const double back = tavrin::parse_number(t);
    if (std::isinf(back)) {
        // Sixteen digits of the largest doubles round past the overflow threshold.
        require(t == "1.797693134862316e+308" || t == "-1.797693134862316e+308",
                "only the largest doubles read back as infinity", t);
        return;
    }
    const long double error = std::fabs(static_cast<long double>(back) - v);
    require(error <= 6.2e-16L * std::fabs(static_cast<long double>(v)) + 4.95e-324L,
            "canonical text reads back within 16-digit rounding", t);
    const std::string again = tavrin::canonical_number_text(back);
    require(again == expected_canonical(back), "canonical text of the value read back", again);
    if (again != t) {
        // Only at a power of ten that no double holds: the nearest double lies just below
        // it, in the decade below, where sixteen digits resolve it.
        require(is_power_of_ten(t) && std::fabs(back) < std::fabs(v),
                "reading back the canonical text and writing it again gives the same text", t);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = tavrin::fuzz::as_text(data, size);
    const double value = tavrin::parse_number(text);
    require(same_double(value, expected_value(text)), "parse_number equals the reference",
            text);
    check_canonical(value);
    if (size >= 8) {
        double bits_value;
        std::memcpy(&bits_value, data, sizeof bits_value);
        check_canonical(bits_value);
    }
    return 0;
}
