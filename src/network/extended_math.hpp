// Sine, cosine and powers of ten computed by the program itself, in long double arithmetic
// only, so that every platform gives the same bits: the C libraries disagree here (MinGW-w64's
// long double sine and cosine come from the x87 fsincos instruction and are off by thousands of
// units near multiples of a right angle).
#pragma once

namespace tavrin {

struct SineCosine {
    long double sine;
    long double cosine;
};

// sin a and cos a, each correctly rounded to long double in all but rare cases (the error
// stays below one unit in the last place). Arguments are reduced exactly for |a| < 2^1089,
// which covers every angle a double in degrees can give; beyond that the results are not
// meaningful, but still finite and the same everywhere. An infinite a gives NaN in both, a NaN
// is passed on; sin keeps the sign of a zero.
SineCosine extended_sincos(long double a);

// 10 raised to the power x, correctly rounded to double in all but very rare cases: exact where
// the result is a double (10^0 .. 10^22), +infinity on overflow, 0 or a subnormal on underflow,
// and a NaN x comes back as it is.
double power_of_ten(double x);

}  // namespace tavrin
