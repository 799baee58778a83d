// Complex numbers and the five operations from which the renormalisation is built.
//
// Every component is computed with long double (64-bit significand, extended exponent
// range) intermediates and rounded to double exactly once, when it is stored. The
// operations are inline because the renormalisation calls them thirty times per record.
#pragma once

namespace tavrin {

struct Complex {
    double re = 0.0;
    double im = 0.0;
};

// A pure sign change: exact, so no rounding is involved (0 becomes -0 and back).
inline void negate_complex(Complex& z) {
    z.re = -z.re;
    z.im = -z.im;
}

inline void add_complex(Complex& a, const Complex& b) {
    // The sum is formed in long double; storing it into the field is its one rounding.
    a.re = static_cast<double>(static_cast<long double>(a.re) + b.re);
    a.im = static_cast<double>(static_cast<long double>(a.im) + b.im);
}

inline void subtract_complex(Complex& a, const Complex& b) {
    a.re = static_cast<double>(static_cast<long double>(a.re) - b.re);
    a.im = static_cast<double>(static_cast<long double>(a.im) - b.im);
}

// Both operands are read before the destination is written, so aliasing it is harmless.
inline void multiply_complex(Complex& destination, const Complex& a, const Complex& b) {
    const long double are = a.re;
    const long double aim = a.im;
    const long double bre = b.re;
    const long double bim = b.im;
    // Left product, then right product, then the one combination; rounded once each.
    destination.re = static_cast<double>((are * bre) - (aim * bim));
    destination.im = static_cast<double>((are * bim) + (aim * bre));
}

// Textbook formula, deliberately without scaling or a zero test: a zero divisor gives NaN.
// den stays long double so that its square keeps the extended exponent range.
inline void divide_complex(Complex& destination, const Complex& a, const Complex& b) {
    const long double are = a.re;
    const long double aim = a.im;
    const long double bre = b.re;
    const long double bim = b.im;
    // The same value for both components; never held in a double.
    const long double den = (bre * bre) + (bim * bim);
    destination.re = static_cast<double>(((are * bre) + (aim * bim)) / den);
    destination.im = static_cast<double>(((aim * bre) - (are * bim)) / den);
}

}  // namespace tavrin
