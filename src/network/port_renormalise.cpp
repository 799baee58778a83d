#include "network/port_renormalise.hpp"

#include <cmath>

namespace tavrin {

namespace {

bool finite(const Complex& z) { return std::isfinite(z.re) && std::isfinite(z.im); }

}  // namespace

std::string_view wave_definition_name(WaveDefinition waves) {
    switch (waves) {
        case WaveDefinition::power: return "power";
        case WaveDefinition::pseudo: return "pseudo";
        case WaveDefinition::traveling: break;
    }
    return "traveling";
}

bool port_reference_usable(const Complex& z, WaveDefinition waves, double n) {
    if (!finite(z) || (z.re == 0.0 && z.im == 0.0)) return false;
    if (waves != WaveDefinition::traveling) return z.re > 0.0;
    // Z = -n would make the port's reflection coefficient infinite.
    return !(z.im == 0.0 && z.re == -n);
}

bool references_usable(const PortImpedances& z, WaveDefinition waves, double n) {
    return port_reference_usable(z.port1, waves, n) && port_reference_usable(z.port2, waves, n);
}

// With S_ii' = L_i/R_i ... and the off-diagonal factors L_i/R_j (1 - G_i Gamma_i) worked out
// per definition (sum_i = Z_i + n, or n + conj Z_i for power waves):
//   traveling: both 4n sqrt(Z1) sqrt(Z2) / (sum_1 sum_2), diagonal 1;
//   pseudo:    4n (m1/m2) Z2 / (sum_1 sum_2) and 4n (m2/m1) Z1 / (sum_1 sum_2), m_i = |Z_i| /
//              sqrt(Re Z_i), diagonal 1;
//   power:     both 4n sqrt(Re Z1 Re Z2) / (sum_1 sum_2), diagonal conj(sum_i) / sum_i.
// Fewer divisions and square roots than the factors themselves: for a field solver's file they
// are most of the per-record work.
PortRenormalisation port_renormalisation(const PortImpedances& z, WaveDefinition waves, double n) {
    const Extended new_z = n;
    const WideComplex z1 = widen(z.port1);
    const WideComplex z2 = widen(z.port2);
    const bool power = waves == WaveDefinition::power;
    const WideComplex sum1 = power ? WideComplex{new_z + z1.re, -z1.im} : WideComplex{new_z + z1.re, z1.im};
    const WideComplex sum2 = power ? WideComplex{new_z + z2.re, -z2.im} : WideComplex{new_z + z2.re, z2.im};
    const WideComplex over_sum1 = reciprocal(sum1);
    const WideComplex over_sum2 = reciprocal(sum2);
    const WideComplex over_sums = (Extended(4.0) * new_z) * (over_sum1 * over_sum2);
    PortRenormalisation c;
    c.gamma[0] = port_reflection(z1, new_z, sum1, over_sum1);
    c.gamma[1] = port_reflection(z2, new_z, sum2, over_sum2);
    c.shift[0] = power ? conj(c.gamma[0]) : c.gamma[0];
    c.shift[1] = power ? conj(c.gamma[1]) : c.gamma[1];
    c.gamma_product = c.gamma[0] * c.gamma[1];
    c.unit_diagonal = !power;
    switch (waves) {
        case WaveDefinition::traveling:
            c.scale[0][1] = (principal_sqrt(z1) * principal_sqrt(z2)) * over_sums;
            c.scale[1][0] = c.scale[0][1];
            break;
        case WaveDefinition::pseudo: {
            const Extended ratio =
                (modulus(z1) * square_root(z2.re)) / (modulus(z2) * square_root(z1.re));
            c.scale[0][1] = ratio * (z2 * over_sums);
            c.scale[1][0] = (Extended(1.0) / ratio) * (z1 * over_sums);
            break;
        }
        case WaveDefinition::power:
            c.scale[0][1] = square_root(z1.re * z2.re) * over_sums;
            c.scale[1][0] = c.scale[0][1];
            c.scale[0][0] = conj(sum1) * over_sum1;
            c.scale[1][1] = conj(sum2) * over_sum2;
            break;
    }
    return c;
}

void renormalise_ports(const TwoPort& s, const PortRenormalisation& c, TwoPort& result) {
    const WideComplex one{Extended(1.0), Extended(0.0)};
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
