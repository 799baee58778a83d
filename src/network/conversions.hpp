// Conversion of one pair between the file's data format and real/imaginary form.
#pragma once

#include "network/complex.hpp"
#include "network/wide_complex.hpp"

namespace tavrin {

// How a data line writes each pair: real/imaginary, magnitude/angle, or dB/angle.
enum class DataFormat : int { ri = 0, ma = 1, db = 2 };

// (magnitude or dB, angle in degrees) -> (re, im). DB selects the dB rules, anything else MA.
void convert_to_ri(Complex& pair, DataFormat format);
// (re, im) -> (magnitude or dB, angle in degrees).
void convert_from_ri(Complex& pair, DataFormat format);

// The magnitude/angle rules above without their roundings, for values computed further in long
// double: (magnitude, angle in degrees) -> re + j im, and back to a modulus and an angle in
// degrees, each rounded to double once.
WideComplex polar_to_wide(double magnitude, double degrees);
void wide_to_polar(const WideComplex& z, double& magnitude, double& degrees);

}  // namespace tavrin
