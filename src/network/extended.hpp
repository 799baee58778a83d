// The one type every result is computed in: a 64-bit significand, a 15-bit exponent, rounding
// to nearest with ties to even, gradual underflow, every exception masked. Where long double is
// the x87 extended type it is long double; elsewhere (ARM64, MSVC), or with
// TAVRIN_SOFT_EXTENDED, the software type that gives the same bits. Code outside this header
// and the x87-only paths names Extended, never long double.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#if defined(TAVRIN_SOFT_EXTENDED)
#include "network/soft_extended.hpp"
#endif

namespace tavrin {

#if defined(TAVRIN_SOFT_EXTENDED)

using Extended = SoftExtended;
// Values, and functions of them, computed at compile time where the hardware type allows it.
#define TAVRIN_EXTENDED_CONSTEXPR const
#define TAVRIN_EXTENDED_CONSTEXPR_FUNCTION inline

#else

static_assert(sizeof(long double) >= 10 && std::numeric_limits<long double>::digits == 64,
              "long double is not the x87 extended type: build with TAVRIN_SOFT_EXTENDED");
using Extended = long double;
#define TAVRIN_EXTENDED_CONSTEXPR constexpr
#define TAVRIN_EXTENDED_CONSTEXPR_FUNCTION constexpr

#endif

inline Extended square_root(Extended x) {
    using std::sqrt;
    return sqrt(x);
}

inline Extended absolute(Extended x) {
    using std::fabs;
    return fabs(x);
}

inline Extended with_sign_of(Extended magnitude, Extended sign) {
    using std::copysign;
    return copysign(magnitude, sign);
}

// The 80-bit layout: the 64-bit significand with its explicit leading bit, and the sign with
// the biased exponent; a value with either replaced.
#if defined(TAVRIN_SOFT_EXTENDED)

inline std::uint64_t significand_of(Extended x) { return x.significand(); }
inline int biased_exponent_of(Extended x) { return x.biased_exponent(); }
inline std::uint16_t sign_exponent_of(Extended x) { return x.sign_exponent(); }
constexpr Extended extended_from_bits(std::uint16_t sign_exponent, std::uint64_t significand) {
    return Extended::from_bits(sign_exponent, significand);
}
inline Extended with_significand(Extended x, std::uint64_t significand) {
    return Extended::from_bits(x.sign_exponent(), significand);
}
inline Extended with_sign_exponent(Extended x, std::uint16_t sign_exponent) {
    return Extended::from_bits(sign_exponent, x.significand());
}

#else

inline std::uint64_t significand_of(Extended x) {
    std::uint64_t significand;
    std::memcpy(&significand, &x, sizeof significand);
    return significand;
}

inline std::uint16_t sign_exponent_of(Extended x) {
    std::uint16_t sign_exponent;
    std::memcpy(&sign_exponent, reinterpret_cast<const unsigned char*>(&x) + 8,
                sizeof sign_exponent);
    return sign_exponent;
}

inline int biased_exponent_of(Extended x) { return sign_exponent_of(x) & 0x7fff; }

inline Extended with_significand(Extended x, std::uint64_t significand) {
    std::memcpy(&x, &significand, sizeof significand);
    return x;
}

inline Extended with_sign_exponent(Extended x, std::uint16_t sign_exponent) {
    std::memcpy(reinterpret_cast<unsigned char*>(&x) + 8, &sign_exponent, sizeof sign_exponent);
    return x;
}

#endif

// A constant written as a hexadecimal floating literal of at most 16 significant hex digits
// ('0xc.90fdaa22168c235p-4', or '0.0'), exact in the extended type: the literal itself where
// that is long double, its bits where it is the software type.
namespace extended_detail {

constexpr int hex_digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c - 'A' + 10;
}

#if defined(TAVRIN_SOFT_EXTENDED)
constexpr Extended parse_hex_literal(std::string_view text) {
    std::size_t i = 2;  // past "0x"
    if (text.size() < 2 || text[1] != 'x') return Extended{};  // "0.0"
    std::uint64_t m = 0;
    int fraction_digits = 0;
    bool after_point = false;
    for (; text[i] != 'p'; ++i) {
        if (text[i] == '.') {
            after_point = true;
            continue;
        }
        m = (m << 4) | static_cast<std::uint64_t>(hex_digit(text[i]));
        if (after_point) ++fraction_digits;
    }
    ++i;
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') ++i;
    int exponent = 0;
    for (; i < text.size(); ++i) exponent = exponent * 10 + (text[i] - '0');
    if (negative) exponent = -exponent;
    if (m == 0) return Extended{};
    int zeros = 0;
    while ((m >> 63) == 0) {
        m <<= 1;
        ++zeros;
    }
    const int unbiased = 63 - zeros + exponent - 4 * fraction_digits;
    return Extended::from_bits(static_cast<std::uint16_t>(unbiased + 16383), m);
}
#endif

}  // namespace extended_detail

#if defined(TAVRIN_SOFT_EXTENDED)
#define TAVRIN_EXTENDED_CONSTANT(literal) \
    (::tavrin::extended_detail::parse_hex_literal(std::string_view(#literal)))
#else
#define TAVRIN_EXTENDED_CONSTANT(literal) literal##L
#endif

}  // namespace tavrin
