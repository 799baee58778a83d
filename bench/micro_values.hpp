// Typical inputs of the micro-benchmarks: data-line tokens and values as measured files hold.
#pragma once

#include <array>
#include <string_view>

namespace tavrin::bench {

inline constexpr std::array<std::string_view, 12> typical_tokens = {
    "0.123456789",    "-0.912345678901", "123.456789012", "1.23456789e-05",
    "10.0099999",     "-1.93820026016",  "-179.12345678", "0.0152345678901",
    "2.87654321098",  "-45.1234567891",  "0.998123456",   "-0.00812345678",
};

// Real/imaginary parts, magnitudes, dB values and angles.
inline constexpr std::array<double, 12> typical_values = {
    0.123456789,  -0.912345678901, 123.456789012, 1.23456789e-05, 10.0099999,    -1.93820026016,
    -179.12345678, 0.0152345678901, 2.87654321098, -45.1234567891, 0.998123456, -0.00812345678,
};

}  // namespace tavrin::bench
