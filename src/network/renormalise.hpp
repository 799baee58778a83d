// Renormalisation of a two-port's S-parameters to a new real reference impedance.
#pragma once

#include "network/complex.hpp"

namespace tavrin {

struct TwoPort {
    Complex s11;
    Complex s21;
    Complex s12;
    Complex s22;
};

// (z_old - z_new) / (z_old + z_new), imaginary part 0; computed once per run.
Complex renormalisation_gamma(double z_old, double z_new);

// S' = (S + gamma I)(I + gamma S)^-1, by a fixed sequence of complex operations whose
// order and roundings define the result. No allocation.
void renormalise(const TwoPort& s, const Complex& gamma, TwoPort& result);

}  // namespace tavrin
