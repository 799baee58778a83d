// Complex numbers held in Extended from start to end, for the computations that are rounded
// to double only once, when their result is written: renormalisation from per-port or complex
// references, and noise parameters.
//
// Written out rather than taken from std::complex: its division and square root come from the
// C library, which differs between platforms, and the output must be the same bytes everywhere.
#pragma once

#include <cmath>

#include "network/complex.hpp"

namespace tavrin {

struct WideComplex {
    Extended re = Extended(0.0);
    Extended im = Extended(0.0);
};

inline WideComplex widen(const Complex& z) { return {z.re, z.im}; }

// The one rounding of each component, when a result is stored.
inline Complex narrow(const WideComplex& z) {
    return {static_cast<double>(z.re), static_cast<double>(z.im)};
}

inline WideComplex operator+(const WideComplex& a, const WideComplex& b) {
    return {a.re + b.re, a.im + b.im};
}

inline WideComplex operator-(const WideComplex& a, const WideComplex& b) {
    return {a.re - b.re, a.im - b.im};
}

inline WideComplex operator*(const WideComplex& a, const WideComplex& b) {
    return {(a.re * b.re) - (a.im * b.im), (a.re * b.im) + (a.im * b.re)};
}

inline WideComplex operator*(Extended a, const WideComplex& b) { return {a * b.re, a * b.im}; }

// Textbook quotient: operands that come from doubles cannot overflow the extended range here.
inline WideComplex operator/(const WideComplex& a, const WideComplex& b) {
    const Extended den = (b.re * b.re) + (b.im * b.im);
    return {((a.re * b.re) + (a.im * b.im)) / den, ((a.im * b.re) - (a.re * b.im)) / den};
}

inline WideComplex conj(const WideComplex& z) { return {z.re, -z.im}; }

// 1 / z with one division, for quotients that share a divisor.
inline WideComplex reciprocal(const WideComplex& z) {
    const Extended scale = Extended(1.0) / ((z.re * z.re) + (z.im * z.im));
    return {z.re * scale, -z.im * scale};
}

inline Extended modulus(const WideComplex& z) { return square_root((z.re * z.re) + (z.im * z.im)); }

// The principal square root (real part >= 0; on the negative real axis +j sqrt|x| for a +0
// imaginary part), from real square roots only, which are exact-rounded on every platform.
inline WideComplex principal_sqrt(const WideComplex& z) {
    if (z.re == Extended(0.0) && z.im == Extended(0.0)) return {Extended(0.0), z.im};
    const Extended t = square_root((modulus(z) + absolute(z.re)) / Extended(2.0));
    if (z.re >= Extended(0.0)) return {t, z.im / (Extended(2.0) * t)};
    return {absolute(z.im) / (Extended(2.0) * t), with_sign_of(t, z.im)};
}

}  // namespace tavrin
