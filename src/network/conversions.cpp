#include "network/conversions.hpp"

#include <cmath>

#include "network/extended_math.hpp"

namespace tavrin {

namespace {

// These exact doubles define the output bytes. The pi is the short 15-digit value, and the two
// backward factors were evaluated in double from it and from ln 10, so the forward and backward
// conversions are not exact inverses; they must not be "improved".
constexpr double db_to_exponent = 0.05;
constexpr double short_pi = 3.14159265358979;
constexpr double half_turn_degrees = 180.0;
constexpr double degrees_per_radian = 57.29577951308238;
constexpr double db_per_neper = 8.685889638065035;

// 10^x, the one place where the platforms' functions stay apart. glibc's pow, which the Linux
// build has always used, misses the correctly rounded double for about 0.08% of exponents, and
// our own power_of_ten cannot know which: were it used on Linux, about one DB line in 10^5
// would change there (one in 10^4 at impedances such as 0.001 or 1e6). MinGW-w64's pow misses
// more often, by many units for every whole exponent from -2 down (-40 dB, -60 dB, ...), so
// elsewhere our own stands in.
double power_of_ten_for(double x) {
#if defined(__GLIBC__)
    return std::pow(10.0, x);
#else
    return power_of_ten(x);
#endif
}

}  // namespace

void convert_to_ri(Complex& pair, DataFormat format) {
    double magnitude = pair.re;
    if (format == DataFormat::db) {
        // The exponent is rounded to double (stored), then the double-precision power applies.
        const double exponent =
            static_cast<double>(static_cast<Extended>(pair.re) * db_to_exponent);
        magnitude = power_of_ten_for(exponent);
    }
    // The angle in radians stays Extended: it is never rounded before sine and cosine.
    const Extended angle =
        (static_cast<Extended>(short_pi) * pair.im) / static_cast<Extended>(half_turn_degrees);
    const Extended m = magnitude;
    // Our own sine and cosine, correctly rounded to Extended, on every platform: MinGW-w64's
    // are thousands of units off near right angles (x87 fsincos), glibc's 1 unit in 2.5%.
    const SineCosine turn = extended_sincos(angle);
    pair.im = static_cast<double>(turn.sine * m);
    pair.re = static_cast<double>(m * turn.cosine);
}

void convert_from_ri(Complex& pair, DataFormat format) {
    const Extended re = pair.re;
    const Extended im = pair.im;
    const Extended degrees = arc_tangent(im, re) * static_cast<Extended>(degrees_per_radian);
    // The squares are never stored, so 1e300 squared does not overflow.
    const Extended modulus = square_root((re * re) + (im * im));
    if (format == DataFormat::db) {
        // 20 log10 r as ln r times the dB-per-neper factor, from the unrounded modulus.
        pair.re = static_cast<double>(natural_log(modulus) * static_cast<Extended>(db_per_neper));
    } else {
        pair.re = static_cast<double>(modulus);
    }
    pair.im = static_cast<double>(degrees);
}

WideComplex polar_to_wide(double magnitude, double degrees) {
    const Extended angle =
        (static_cast<Extended>(short_pi) * degrees) / static_cast<Extended>(half_turn_degrees);
    const Extended m = magnitude;
    const SineCosine turn = extended_sincos(angle);
    return {m * turn.cosine, turn.sine * m};
}

void wide_to_polar(const WideComplex& z, double& magnitude, double& degrees) {
    degrees = static_cast<double>(arc_tangent(z.im, z.re) *
                                  static_cast<Extended>(degrees_per_radian));
    magnitude = static_cast<double>(modulus(z));
}

}  // namespace tavrin
