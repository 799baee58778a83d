// ln x and atan2(y, x) in 80-bit extended arithmetic written out in + - * /, for machines with
// no x87 unit to run fyl2x and fpatan: instantiated with SoftExtended there, and with long double
// on x86, where the results can be set against the instructions' (SoftExtended rounds as the
// x87 unit does, so the two instantiations give the same bits).
//
// Each reduces its argument with a table to a short polynomial and carries the leading terms
// as exact unevaluated sums, so that the value before the one final rounding is within about
// 2^-75 of the result at worst: always within one unit in the last place, and the nearest value
// unless the exact one lies within about 2^-11 units of a midpoint (none did among 2*10^6
// random arguments of each, checked against 113-bit references).
#pragma once

#include <bit>
#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "network/soft_extended.hpp"

namespace tavrin {

// An 80-bit value as its two fields, in the order the x87 unit stores them.
struct ExtendedBits {
    std::uint64_t significand;    // explicit integer bit on top
    std::uint16_t sign_exponent;  // sign bit, then the exponent biased by 16383
};

// The two bit-level operations the functions below need from their number type T:
//   ExtendedBits extended_bits(T x);
//   void set_extended_bits(T& x, const ExtendedBits& bits);
#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
#define TAVRIN_X87_LONG_DOUBLE 1

inline ExtendedBits extended_bits(long double x) {
    ExtendedBits bits;
    std::memcpy(&bits.significand, &x, 8);
    std::memcpy(&bits.sign_exponent, reinterpret_cast<const unsigned char*>(&x) + 8, 2);
    return bits;
}

// The struct's first ten bytes are the layout itself: a table entry loads as one value.
inline void set_extended_bits(long double& x, const ExtendedBits& bits) {
    static_assert(offsetof(ExtendedBits, sign_exponent) == 8);
    std::memcpy(&x, &bits, 10);
}
#endif

inline ExtendedBits extended_bits(SoftExtended x) {
    return {x.significand(), x.sign_exponent()};
}

inline void set_extended_bits(SoftExtended& x, const ExtendedBits& bits) {
    x = SoftExtended::from_bits(bits.sign_exponent, bits.significand);
}

namespace log_atan_detail {

// A reduction point and the function's value there, as an unevaluated sum of two values.
struct ReductionEntry {
    ExtendedBits point;
    ExtendedBits value_hi;
    ExtendedBits value_lo;
};

// From extended_log_atan.cpp, which extended_log_atan_tables.py writes.
extern const ExtendedBits ln2_hi;  // 48 bits: k ln2_hi is exact for every exponent k
extern const ExtendedBits ln2_lo;
extern const ExtendedBits pi_hi;
extern const ExtendedBits pi_lo;
extern const ExtendedBits half_pi_hi;
extern const ExtendedBits half_pi_lo;
// ln(1 + r) = r - r^2/2 + r^3 Q(r), |r| < 2^-8.4; coefficients lowest first.
extern const ExtendedBits log_polynomial[7];
// atan u = u + u^3 R(u^2), |u| < 2^-7.
extern const ExtendedBits atan_polynomial[4];
// c ~ 1/(1 + j/256) in 9 bits and -ln c, j = 0 .. 256.
extern const ReductionEntry log_table[257];
// c = j/64 and atan c, j = 0 .. 64.
extern const ReductionEntry atan_table[65];

constexpr std::uint16_t kSign = 0x8000;
constexpr std::uint16_t kBias = 16383;
constexpr std::uint64_t kIntegerBit = 0x8000000000000000u;
constexpr std::uint64_t kUpperHalf = 0xFFFFFFFF00000000u;

template <class T>
T make(const ExtendedBits& bits) {
    T x{};
    set_extended_bits(x, bits);
    return x;
}

// Field 1 .. 0x7FFE with the integer bit set, either sign.
constexpr bool ordinary(const ExtendedBits& b) {
    return static_cast<unsigned>((b.sign_exponent & 0x7FFF) - 1) < 0x7FFEu &&
           (b.significand & kIntegerBit) != 0;
}

// The upper 32 bits of x's significand: products of two such halves, or of one with a short
// table value, are exact.
template <class T>
T upper_half(T x) {
    ExtendedBits bits = extended_bits(x);
    bits.significand &= kUpperHalf;
    return make<T>(bits);
}

// k exactly, for |k| < 2^16.
template <class T>
T whole(int k) {
    if (k == 0) return T{};
    const auto magnitude = static_cast<std::uint64_t>(k < 0 ? -k : k);
    const int shift = std::countl_zero(magnitude);
    return make<T>({magnitude << shift,
                    static_cast<std::uint16_t>((k < 0 ? kSign : 0) | (kBias + 63 - shift))});
}

template <class T>
struct Pair {
    T hi;
    T lo;
};

// hi + lo == a + b exactly, hi = a + b rounded; |a| >= |b| or a == 0.
template <class T>
Pair<T> fast_two_sum(T a, T b) {
    const T s = a + b;
    return {s, b - (s - a)};
}

// The same for any a and b.
template <class T>
Pair<T> two_sum(T a, T b) {
    const T s = a + b;
    const T b_part = s - a;
    return {s, (a - (s - b_part)) + (b - b_part)};
}

template <class T, std::size_t N>
T polynomial(const ExtendedBits (&coefficients)[N], T x) {
    T sum = make<T>(coefficients[N - 1]);
    for (std::size_t i = N - 1; i-- > 0;) sum = sum * x + make<T>(coefficients[i]);
    return sum;
}

// The angle from atan(num / den) = hi + lo, where num is the smaller of |y|, |x| (swapped when
// that is |x|): turned into the quadrant of (|y|, x), then given y's sign.
template <class T>
T place_angle(T hi, T lo, bool swapped, bool x_negative, bool y_negative) {
    // atan|y/x|, pi - atan|y/x|, pi/2 - atan|x/y|, pi/2 + atan|x/y|.
    static constexpr ExtendedBits zero{0, 0};
    const ExtendedBits* const base_hi[4] = {&zero, &pi_hi, &half_pi_hi, &half_pi_hi};
    const ExtendedBits* const base_lo[4] = {&zero, &pi_lo, &half_pi_lo, &half_pi_lo};
    const int quadrant = (swapped ? 2 : 0) + (x_negative ? 1 : 0);
    if (swapped != x_negative) {
        hi = -hi;
        lo = -lo;
    }
    // The base is 0 or at least twice the angle added to it.
    const Pair<T> sum = fast_two_sum(make<T>(*base_hi[quadrant]), hi);
    const T angle = sum.hi + ((make<T>(*base_lo[quadrant]) + lo) + sum.lo);
    return y_negative ? -angle : angle;
}

}  // namespace log_atan_detail

// ln x: +0 at 1, -infinity at either zero, +infinity at +infinity, NaN below zero and for NaN.
template <class T>
T software_natural_log(T x) {
    using namespace log_atan_detail;
    const ExtendedBits bits = extended_bits(x);
    std::uint64_t significand = bits.significand;
    int field = bits.sign_exponent;
    if (!ordinary(bits) || (field & kSign) != 0) [[unlikely]] {
        if (significand == 0 && (field & 0x7FFF) == 0) return make<T>({kIntegerBit, 0xFFFF});
        // NaNs come back quieted, +infinity as it is; the encodings the x87 unit rejects give
        // its invalid-operation NaN, as every negative number does.
        if ((field & 0x7FFF) == 0x7FFF && (significand << 1) != 0) return x + x;
        if ((field & kSign) != 0) return (x - x) / (x - x);
        if (field != 0) return x + x;
        // Denormal: brought to a significand with its top bit set.
        const int shift = std::countl_zero(significand);
        significand <<= shift;
        field = 1 - shift;
    }
    // x = 2^k m, m in [1, 2), in [F - 2^-9, F + 2^-9) for F = 1 + j/256. With c ~ 1/F
    // from the table, ln x = k ln 2 - ln c + ln(1 + r), r = m c - 1.
    const int k = field - kBias;
    const auto j = static_cast<unsigned>(((significand >> 54) + 1) >> 1) - 256;
    const ReductionEntry& entry = log_table[j];
    const T one = make<T>({kIntegerBit, kBias});
    const T half = make<T>({kIntegerBit, kBias - 1});
    const T c = make<T>(entry.point);
    // c has 9 bits: m's upper half times c is exact, and so is r, a multiple of 2^-72 below
    // 2^-8 in size.
    const T m = make<T>({significand, kBias});
    const T m_upper = make<T>({significand & kUpperHalf, kBias});
    const T r = (m_upper * c - one) + (m - m_upper) * c;
    // r^2/2 = r1^2/2 + r1 r2 + r2^2/2, the first exact: near 1, where the result is r, the
    // square's rounding would otherwise show.
    const T r1 = upper_half(r);
    const T r2 = r - r1;
    const T tail = ((r * r) * r) * polynomial(log_polynomial, r) - (r1 * r2 + half * (r2 * r2));
    const Pair<T> near_one = fast_two_sum(r, -(half * (r1 * r1)));
    const T kt = whole<T>(k);
    // |k ln2_hi| >= ln 2 >= -ln c, or k = 0; where k = -1 and c = 1/2 they cancel exactly.
    const Pair<T> far = fast_two_sum(kt * make<T>(ln2_hi), make<T>(entry.value_hi));
    const Pair<T> sum = two_sum(far.hi, near_one.hi);
    const T lo =
        ((((kt * make<T>(ln2_lo) + make<T>(entry.value_lo)) + far.lo) + near_one.lo) + sum.lo) +
        tail;
    return sum.hi + lo;
}

// atan2(y, x) as C99 gives it: the angle of (x, y) in [-pi, pi] with y's sign, also for zeros
// (atan2(±0, -0) = ±pi, atan2(±0, +0) = ±0) and infinities (atan2(±inf, -inf) = ±3pi/4); NaN
// if either is NaN.
template <class T>
T software_arc_tangent(T y, T x) {
    using namespace log_atan_detail;
    const ExtendedBits y_bits = extended_bits(y);
    const ExtendedBits x_bits = extended_bits(x);
    const bool y_negative = (y_bits.sign_exponent & kSign) != 0;
    const bool x_negative = (x_bits.sign_exponent & kSign) != 0;
    int y_field = y_bits.sign_exponent & 0x7FFF;
    int x_field = x_bits.sign_exponent & 0x7FFF;
    std::uint64_t y_significand = y_bits.significand;
    std::uint64_t x_significand = x_bits.significand;
    if (!(ordinary(y_bits) && ordinary(x_bits))) [[unlikely]] {
        const bool y_nan = y_field == 0x7FFF && (y_significand << 1) != 0;
        const bool x_nan = x_field == 0x7FFF && (x_significand << 1) != 0;
        // NaNs, and encodings the x87 unit rejects, give NaN by its rules for a sum.
        if (y_nan || x_nan || (y_field != 0 && (y_significand & kIntegerBit) == 0) ||
            (x_field != 0 && (x_significand & kIntegerBit) == 0)) {
            return y + x;
        }
        const bool y_infinite = y_field == 0x7FFF, x_infinite = x_field == 0x7FFF;
        const bool y_zero = y_field == 0 && y_significand == 0;
        const bool x_zero = x_field == 0 && x_significand == 0;
        if (y_infinite && x_infinite) {
            const T half = make<T>({kIntegerBit, kBias - 1});
            return place_angle(half * make<T>(half_pi_hi), half * make<T>(half_pi_lo), false,
                               x_negative, y_negative);
        }
        // Along an axis: the angle of the direction that dominates.
        if (y_infinite || x_infinite || y_zero || x_zero) {
            return place_angle(T{}, T{}, y_infinite || (x_zero && !y_zero), x_negative, y_negative);
        }
        // Denormals: brought to significands with the top bit set.
        if (y_field == 0) {
            const int shift = std::countl_zero(y_significand);
            y_significand <<= shift;
            y_field = 1 - shift;
        }
        if (x_field == 0) {
            const int shift = std::countl_zero(x_significand);
            x_significand <<= shift;
            x_field = 1 - shift;
        }
    }
    // atan(num/den), num the smaller magnitude.
    const bool swapped = y_field > x_field || (y_field == x_field && y_significand > x_significand);
    const int num_field = swapped ? x_field : y_field;
    const int den_field = swapped ? y_field : x_field;
    const std::uint64_t num_significand = swapped ? x_significand : y_significand;
    const std::uint64_t den_significand = swapped ? y_significand : x_significand;
    const int distance = den_field - num_field;
    if (distance > 80) {
        // num/den < 2^-80: its arc tangent is within 2^-160 of it, which the quotient's single
        // rounding cannot tell apart (and the quotient may be denormal: no scaling).
        const ExtendedBits& num_bits = swapped ? x_bits : y_bits;
        const ExtendedBits& den_bits = swapped ? y_bits : x_bits;
        const T num = make<T>(
            {num_bits.significand, static_cast<std::uint16_t>(num_bits.sign_exponent & 0x7FFF)});
        const T den = make<T>(
            {den_bits.significand, static_cast<std::uint16_t>(den_bits.sign_exponent & 0x7FFF)});
        return place_angle(num / den, T{}, swapped, x_negative, y_negative);
    }
    // Scaled alike, den to [1, 2).
    const T den = make<T>({den_significand, kBias});
    const T num = make<T>({num_significand, static_cast<std::uint16_t>(kBias - distance)});
    // 128 z from below, z = num/den: c = j/64 is then within 1/128 (and a hair) of z, and at
    // least z/2 where it is not 0, which keeps num - c den exact.
    const std::uint64_t shifted = distance < 64 ? num_significand >> distance : 0;
    const std::uint64_t estimate = ((shifted >> 32) << 7) / ((den_significand >> 32) + 1);
    const ReductionEntry& entry = atan_table[(estimate + 1) >> 1];
    // atan z = atan c + atan u, u = (z - c)/(1 + z c) = (num - c den)/(den + c num).
    const T c = make<T>(entry.point);
    const T den_upper = upper_half(den);
    const T num_upper = upper_half(num);
    const T numerator = (num - c * den_upper) - c * (den - den_upper);
    // c num in two exact parts, the lower near 2^-38: the sum is brought back to a rounded
    // value and its error, or the quotient below would be off by that much.
    const Pair<T> partial = fast_two_sum(den, c * num_upper);
    const Pair<T> whole_denominator = fast_two_sum(partial.hi, partial.lo + c * (num - num_upper));
    const T denominator = whole_denominator.hi;
    const T denominator_lo = whole_denominator.lo;
    // u to twice the precision: the quotient's remainder is exact, by Dekker's product.
    const T u = numerator / denominator;
    const T product = u * denominator;
    const T u_upper = upper_half(u);
    const T u_lower = u - u_upper;
    const T d_upper = upper_half(denominator);
    const T d_lower = denominator - d_upper;
    const T product_lo = (((u_upper * d_upper - product) + u_upper * d_lower) + u_lower * d_upper) +
                         u_lower * d_lower;
    const T u_lo = (((numerator - product) - product_lo) - u * denominator_lo) / denominator;
    const T u2 = u * u;
    const T tail = (u * u2) * polynomial(atan_polynomial, u2);
    // atan c >= 1/64 > |u|, or c = 0.
    const Pair<T> sum = fast_two_sum(make<T>(entry.value_hi), u);
    const T lo = ((make<T>(entry.value_lo) + u_lo) + sum.lo) + tail;
    return place_angle(sum.hi, lo, swapped, x_negative, y_negative);
}

}  // namespace tavrin
