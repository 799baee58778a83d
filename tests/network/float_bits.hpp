// Helpers for tests that compare doubles by their exact bit patterns.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace tavrin::float_bits {

inline std::uint64_t bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

// Equal bit for bit, except that +0 and -0 count as the same value.
inline bool same_up_to_zero_sign(double actual, double expected) {
    if (actual == 0.0 && expected == 0.0) return true;
    return bits(actual) == bits(expected);
}

// Distance in units in the last place between two finite doubles of the same sign.
inline std::uint64_t ulps_apart(double a, double b) {
    const std::uint64_t x = bits(std::fabs(a));
    const std::uint64_t y = bits(std::fabs(b));
    return x > y ? x - y : y - x;
}

}  // namespace tavrin::float_bits
