#include "network/renormalise.hpp"

namespace tavrin {

Complex renormalisation_gamma(double z_old, double z_new) {
    Complex gamma;  // imaginary part stays 0
    const Extended difference = static_cast<Extended>(z_old) - z_new;
    const Extended sum = static_cast<Extended>(z_old) + z_new;
    // Difference and sum keep extended precision; only the quotient is rounded, when stored.
    gamma.re = static_cast<double>(difference / sum);
    return gamma;
}

// The order of the steps and the rounding of every intermediate to a stored Complex define the
// output bytes, so this is deliberately not written as a matrix expression. Inputs are copied
// first, which also lets a caller pass the same TwoPort as s and result.
void renormalise(const TwoPort& s, const Complex& gamma, TwoPort& result) {
    static constexpr Complex one{1.0, 0.0};
    Complex e11 = s.s11;
    Complex e22 = s.s22;
    const Complex s21 = s.s21;
    const Complex s12 = s.s12;

    Complex m11;
    Complex m12;
    Complex m21;
    Complex m22;
    // From the caller's values, not the copies: reading a copy here, GCC keeps its widened
    // value on the x87 stack until gamma is added below and spills it in the slow 80-bit format.
    multiply_complex(m11, s.s11, gamma);
    multiply_complex(m12, s.s12, gamma);
    multiply_complex(m21, s.s21, gamma);
    multiply_complex(m22, s.s22, gamma);
    add_complex(m11, one);  // 1 + S11 gamma
    add_complex(m22, one);  // 1 + S22 gamma
    add_complex(e11, gamma);
    add_complex(e22, gamma);

    // Determinant of I + gamma S, and its reciprocal.
    Complex t;
    Complex u;
    multiply_complex(t, m11, m22);
    multiply_complex(u, m12, m21);
    subtract_complex(t, u);
    Complex r;
    divide_complex(r, one, t);

    // (I + gamma S)^-1.
    Complex n11;
    Complex n12;
    Complex n21;
    Complex n22;
    multiply_complex(n11, m22, r);
    multiply_complex(n12, m12, r);
    multiply_complex(n21, m21, r);
    multiply_complex(n22, m11, r);
    negate_complex(n12);
    negate_complex(n21);

    // (S + gamma I) times the inverse, each output the sum of two rounded products.
    Complex w;
    multiply_complex(w, e11, n11);
    multiply_complex(result.s11, s12, n21);
    add_complex(result.s11, w);
    multiply_complex(w, e11, n12);
    multiply_complex(result.s12, s12, n22);
    add_complex(result.s12, w);
    multiply_complex(w, s21, n11);
    multiply_complex(result.s21, e22, n21);
    add_complex(result.s21, w);
    multiply_complex(w, s21, n12);
    multiply_complex(result.s22, e22, n22);
    add_complex(result.s22, w);
}

}  // namespace tavrin
