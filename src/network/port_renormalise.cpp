#include "network/port_renormalise.hpp"

#include <cmath>

namespace tavrin {

namespace {

bool finite(const Complex& z) { return std::isfinite(z.re) && std::isfinite(z.im); }

bool usable(const Complex& z, WaveDefinition waves, double n) {
    if (!finite(z) || (z.re == 0.0 && z.im == 0.0)) return false;
    if (waves != WaveDefinition::traveling) return z.re > 0.0;
    // Z = -n would make the port's reflection coefficient infinite.
    return !(z.im == 0.0 && z.re == -n);
}

// One port's part of S' = L (S - G)(I - Gamma S)^-1 R^-1, with R held as its inverse so that
// the four scale factors are products. Only the ratios L_i / R_j count, so factors common to
// both ports (2 sqrt(n), and the 1/n of the pseudo-wave magnitude) are left out, and
// reciprocals stand in for quotients: the per-record work of a field solver's file is mostly
// these divisions and square roots. The reflection coefficients stay true quotients, so that
// a reference far from n still gives exactly -1 and the network's zeros stay zeros.
struct PortFactors {
    WideComplex gamma;
    WideComplex shift;
    WideComplex left;
    WideComplex right_inverse;
};

PortFactors factors_of(const Complex& impedance, WaveDefinition waves, long double n) {
    const WideComplex z = widen(impedance);
    const WideComplex new_z{n, 0.0L};
    PortFactors f;
    switch (waves) {
        case WaveDefinition::traveling: {
            // D = (Z + n) / (2 sqrt(Z) sqrt(n)).
            const WideComplex sum = z + new_z;
            const WideComplex over_sum = reciprocal(sum);
            const WideComplex root = principal_sqrt(z);
            f.gamma = (new_z - z) / sum;
            f.shift = f.gamma;
            f.left = sum * reciprocal(root);
            f.right_inverse = root * over_sum;
            break;
        }
        case WaveDefinition::pseudo: {
            // D = sqrt(n / Re Z) (|Z| / n) (Z + n) / (2 Z).
            const WideComplex sum = z + new_z;
            const WideComplex over_sum = reciprocal(sum);
            const long double magnitude = modulus(z) / std::sqrt(z.re);
            f.gamma = (new_z - z) / sum;
            f.shift = f.gamma;
            f.left = magnitude * (sum * reciprocal(z));
            f.right_inverse = (1.0L / magnitude) * (z * over_sum);
            break;
        }
        case WaveDefinition::power: {
            // P = (n + conj Z) / (2 sqrt(n Re Z)); L = conj P, R = P.
            const WideComplex sum = new_z + conj(z);
            const WideComplex over_sum = reciprocal(sum);
            const long double root = std::sqrt(z.re);
            f.gamma = (new_z - z) / sum;
            f.shift = conj(f.gamma);
            f.left = (1.0L / root) * conj(sum);
            f.right_inverse = root * over_sum;
            break;
        }
    }
    return f;
}

}  // namespace

std::string_view wave_definition_name(WaveDefinition waves) {
    switch (waves) {
        case WaveDefinition::power: return "power";
        case WaveDefinition::pseudo: return "pseudo";
        case WaveDefinition::traveling: break;
    }
    return "traveling";
}

bool references_usable(const PortImpedances& z, WaveDefinition waves, double n) {
    return usable(z.port1, waves, n) && usable(z.port2, waves, n);
}

PortRenormalisation port_renormalisation(const PortImpedances& z, WaveDefinition waves, double n) {
    const PortFactors p[2] = {factors_of(z.port1, waves, n), factors_of(z.port2, waves, n)};
    const WideComplex one{1.0L, 0.0L};
    PortRenormalisation c;
    // Traveling and pseudo-waves have L = R: the diagonal is left as it is.
    c.unit_diagonal = waves != WaveDefinition::power;
    for (int i = 0; i < 2; ++i) {
        c.gamma[i] = p[i].gamma;
        c.shift[i] = p[i].shift;
        for (int j = 0; j < 2; ++j) {
            if (i != j || !c.unit_diagonal) c.scale[i][j] = p[i].left * p[j].right_inverse;
        }
    }
    c.gamma_product = c.gamma[0] * c.gamma[1];
    // (S - G)(I - Gamma S)^-1 has S12 (1 - G1 Gamma1) / det and S21 (1 - G2 Gamma2) / det off
    // the diagonal.
    c.scale[0][1] = c.scale[0][1] * (one - c.shift[0] * c.gamma[0]);
    c.scale[1][0] = c.scale[1][0] * (one - c.shift[1] * c.gamma[1]);
    return c;
}

void renormalise_ports(const TwoPort& s, const PortRenormalisation& c, TwoPort& result) {
    const WideComplex one{1.0L, 0.0L};
    const WideComplex s11 = widen(s.s11);
    const WideComplex s21 = widen(s.s21);
    const WideComplex s12 = widen(s.s12);
    const WideComplex s22 = widen(s.s22);
    const WideComplex through = s12 * s21;
    const WideComplex d1 = one - c.gamma[0] * s11;  // 1 - Gamma1 S11
    const WideComplex d2 = one - c.gamma[1] * s22;  // 1 - Gamma2 S22
    const WideComplex over_det = reciprocal(d1 * d2 - c.gamma_product * through);
    const WideComplex m11 = (s11 - c.shift[0]) * d2 + c.gamma[1] * through;
    const WideComplex m22 = (s22 - c.shift[1]) * d1 + c.gamma[0] * through;
    result.s11 = narrow((c.unit_diagonal ? m11 : c.scale[0][0] * m11) * over_det);
    result.s12 = narrow((c.scale[0][1] * s12) * over_det);
    result.s21 = narrow((c.scale[1][0] * s21) * over_det);
    result.s22 = narrow((c.unit_diagonal ? m22 : c.scale[1][1] * m22) * over_det);
}

}  // namespace tavrin
