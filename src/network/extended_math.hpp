// Sine, cosine and powers of ten computed by the program itself, in extended arithmetic
// only, so that every platform gives the same bits: the C libraries disagree here (MinGW-w64's
// long double sine and cosine come from the x87 fsincos instruction and are off by thousands of
// units near multiples of a right angle).
#pragma once

#include <cmath>
#include <limits>

#include "network/extended.hpp"
#include "network/extended_log_atan.hpp"

namespace tavrin {

struct SineCosine {
    Extended sine;
    Extended cosine;
};

// sin a and cos a, each correctly rounded to the extended type in all but rare cases (the error
// stays below one unit in the last place). Arguments are reduced exactly for |a| < 2^1089,
// which covers every angle a double in degrees can give; beyond that the results are not
// meaningful, but still finite and the same everywhere. An infinite a gives NaN in both, a NaN
// is passed on; sin keeps the sign of a zero.
SineCosine extended_sincos(Extended a);

// 10 raised to the power x, correctly rounded to double in all but very rare cases: exact where
// the result is a double (10^0 .. 10^22), +infinity on overflow, 0 or a subnormal on underflow,
// and a NaN x comes back as it is.
double power_of_ten(double x);

// ln x and atan2(y, x). On x86 with the hardware type, bit for bit what the C libraries' logl
// and atan2l give (glibc and MinGW-w64 both run these x87 instructions), without the call, the
// argument checks and the errno handling, which cost as much as the instructions themselves.
// Inline: a long double argument or result crossing a call goes through memory. Elsewhere
// computed in software on the extended type, within one unit in the last place of the exact
// value; the x87 instructions are not correctly rounded, so the two differ in the last bit
// for a small share of arguments.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && \
    !defined(TAVRIN_SOFT_EXTENDED)

inline long double arc_tangent(long double y, long double x) {
    long double angle;
    // fpatan: the arc tangent of st(1) / st(0), quadrant from both signs, st(1) popped.
    asm("fpatan" : "=t"(angle) : "0"(x), "u"(y) : "st(1)");
    return angle;
}

inline long double natural_log(long double x) {
    // Zeros, negatives, infinities and NaNs take the libraries' special cases.
    if (!(x > 0 && x <= std::numeric_limits<long double>::max())) return std::log(x);
    long double ln2;
    asm("fldln2" : "=t"(ln2));
    long double result;
    // The libraries take ln 2 log2(1 + t), t = x - 1, for |t| up to the double 0.29 and
    // ln 2 log2 x beyond; the two can differ in the last bit, so the switch must be theirs.
    const long double t = x - 1.0L;
    if (std::fabs(t) <= static_cast<long double>(0.29)) {
        asm("fyl2xp1" : "=t"(result) : "0"(t), "u"(ln2) : "st(1)");
    } else {
        asm("fyl2x" : "=t"(result) : "0"(x), "u"(ln2) : "st(1)");
    }
    return result;
}

#else

inline Extended arc_tangent(Extended y, Extended x) { return software_arc_tangent(y, x); }
inline Extended natural_log(Extended x) { return software_natural_log(x); }

#endif

}  // namespace tavrin
