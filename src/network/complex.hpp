// Complex numbers and the five operations from which the renormalisation is built.
//
// Every component is computed with Extended (64-bit significand, extended exponent
// range) intermediates and rounded to double exactly once, when it is stored. The
// operations are inline because the renormalisation calls them thirty times per record.
#pragma once

#include "network/extended.hpp"

namespace tavrin {

struct Complex {
    double re = 0.0;
    double im = 0.0;
};

// A stored component, widened to Extended where it is used. Left alone, GCC keeps the
// widened copy on the x87 stack from one operation to the next and spills it in the 80-bit
// format, whose stores and loads cost several times a load of the double; read as volatile, the
// double is loaded afresh at each use. The value is the same either way.
[[gnu::always_inline]] inline Extended widened(const double& x) {
    return *static_cast<const volatile double*>(&x);
}

inline void negate_complex(Complex& z) {
    z.re = -z.re;
    z.im = -z.im;
}

inline void add_complex(Complex& a, const Complex& b) {
    // The sum is formed in Extended; storing it into the field is its one rounding.
    a.re = static_cast<double>(widened(a.re) + widened(b.re));
    a.im = static_cast<double>(widened(a.im) + widened(b.im));
}

inline void subtract_complex(Complex& a, const Complex& b) {
    a.re = static_cast<double>(widened(a.re) - widened(b.re));
    a.im = static_cast<double>(widened(a.im) - widened(b.im));
}

// Both operands are read before the destination is written, so aliasing it is harmless.
inline void multiply_complex(Complex& destination, const Complex& a, const Complex& b) {
    const Extended are = widened(a.re);
    const Extended aim = widened(a.im);
    const Extended bre = widened(b.re);
    const Extended bim = widened(b.im);
    // Left product, then right product, then the one combination; rounded once each.
    destination.re = static_cast<double>((are * bre) - (aim * bim));
    destination.im = static_cast<double>((are * bim) + (aim * bre));
}

// Textbook formula, deliberately without scaling or a zero test: a zero divisor gives NaN.
// den stays Extended so that its square keeps the extended exponent range.
inline void divide_complex(Complex& destination, const Complex& a, const Complex& b) {
    const Extended are = widened(a.re);
    const Extended aim = widened(a.im);
    const Extended bre = widened(b.re);
    const Extended bim = widened(b.im);
    // The same value for both components; never held in a double.
    const Extended den = (bre * bre) + (bim * bim);
    destination.re = static_cast<double>(((are * bre) + (aim * bim)) / den);
    destination.im = static_cast<double>(((aim * bre) - (are * bim)) / den);
}

}  // namespace tavrin
