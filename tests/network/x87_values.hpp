// The functions under test on long double values, bit for bit, where long double is the x87
// type: the hardware type itself, or the software type through the same 80 bits. Tests that
// hold x87 values as their reference run only there.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstring>

#include "network/extended.hpp"
#include "network/extended_math.hpp"

#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
#define TAVRIN_TEST_X87_VALUES 1

namespace tavrin::test {

inline Extended to_extended(long double x) {
#if defined(TAVRIN_SOFT_EXTENDED)
    std::uint64_t significand;
    std::uint16_t sign_exponent;
    std::memcpy(&significand, &x, sizeof significand);
    std::memcpy(&sign_exponent, reinterpret_cast<const unsigned char*>(&x) + 8, 2);
    return Extended::from_bits(sign_exponent, significand);
#else
    return x;
#endif
}

inline long double to_long_double(Extended x) {
#if defined(TAVRIN_SOFT_EXTENDED)
    long double value = 0;
    const std::uint64_t significand = x.significand();
    const std::uint16_t sign_exponent = x.sign_exponent();
    std::memcpy(&value, &significand, sizeof significand);
    std::memcpy(reinterpret_cast<unsigned char*>(&value) + 8, &sign_exponent, 2);
    return value;
#else
    return x;
#endif
}

struct LongSineCosine {
    long double sine;
    long double cosine;
};

inline LongSineCosine sincos_of(long double a) {
    const SineCosine result = extended_sincos(to_extended(a));
    return {to_long_double(result.sine), to_long_double(result.cosine)};
}

}  // namespace tavrin::test

#endif
