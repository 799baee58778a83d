#include "network/conversions.hpp"

#include <cmath>

namespace tavrin {

namespace {

// These exact doubles define the output bytes. The pi is the short 15-digit value, and the two
// backward factors were evaluated in double from it and from ln 10, so the forward and backward
// conversions are not exact inverses; they must not be "improved".
constexpr double db_to_exponent = 0.05;
constexpr double power_base = 10.0;
constexpr double short_pi = 3.14159265358979;
constexpr double half_turn_degrees = 180.0;
constexpr double degrees_per_radian = 57.29577951308238;
constexpr double db_per_neper = 8.685889638065035;

}  // namespace

void convert_to_ri(Complex& pair, DataFormat format) {
    double magnitude = pair.re;
    if (format == DataFormat::db) {
        // The exponent is rounded to double (stored), then the double-precision power applies.
        const double exponent =
            static_cast<double>(static_cast<long double>(pair.re) * db_to_exponent);
        magnitude = std::pow(power_base, exponent);
    }
    // The angle in radians stays long double: it is never rounded before sine and cosine.
    const long double angle = (static_cast<long double>(short_pi) * pair.im) /
                              static_cast<long double>(half_turn_degrees);
    const long double m = magnitude;
    // std::sin and std::cos on a long double argument are the extended-precision functions.
    pair.im = static_cast<double>(std::sin(angle) * m);
    pair.re = static_cast<double>(m * std::cos(angle));
}

void convert_from_ri(Complex& pair, DataFormat format) {
    const long double re = pair.re;
    const long double im = pair.im;
    const long double degrees = std::atan2(im, re) * static_cast<long double>(degrees_per_radian);
    // The squares are never stored, so 1e300 squared does not overflow.
    const long double modulus = std::sqrt((re * re) + (im * im));
    if (format == DataFormat::db) {
        // 20 log10 r as ln r times the dB-per-neper factor, from the unrounded modulus.
        pair.re = static_cast<double>(std::log(modulus) * static_cast<long double>(db_per_neper));
    } else {
        pair.re = static_cast<double>(modulus);
    }
    pair.im = static_cast<double>(degrees);
}

}  // namespace tavrin
