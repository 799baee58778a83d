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

struct PortFactors {
    WideComplex gamma;
    WideComplex shift;
    WideComplex left;
    WideComplex right;
};

PortFactors factors_of(const Complex& impedance, WaveDefinition waves, long double n) {
    const WideComplex z = widen(impedance);
    const WideComplex new_z{n, 0.0L};
    const long double root_n = std::sqrt(n);
    PortFactors f;
    switch (waves) {
        case WaveDefinition::traveling: {
            f.gamma = (new_z - z) / (new_z + z);
            f.shift = f.gamma;
            f.left = (z + new_z) / (2.0L * root_n * principal_sqrt(z));
            f.right = f.left;
            break;
        }
        case WaveDefinition::pseudo: {
            f.gamma = (new_z - z) / (new_z + z);
            f.shift = f.gamma;
            const long double magnitude = std::sqrt(n / z.re) * (modulus(z) / n);
            f.left = magnitude * ((z + new_z) / (2.0L * z));
            f.right = f.left;
            break;
        }
        case WaveDefinition::power: {
            f.gamma = (new_z - z) / (new_z + conj(z));
            f.shift = conj(f.gamma);
            f.right = (1.0L / (2.0L * std::sqrt(n * z.re))) * (new_z + conj(z));
            f.left = conj(f.right);
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
    for (int i = 0; i < 2; ++i) {
        c.gamma[i] = p[i].gamma;
        c.shift[i] = p[i].shift;
        for (int j = 0; j < 2; ++j) c.scale[i][j] = p[i].left / p[j].right;
    }
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
    const WideComplex det = d1 * d2 - (c.gamma[0] * c.gamma[1]) * through;
    const WideComplex m11 = (s11 - c.shift[0]) * d2 + c.gamma[1] * through;
    const WideComplex m22 = (s22 - c.shift[1]) * d1 + c.gamma[0] * through;
    result.s11 = narrow((c.scale[0][0] * m11) / det);
    result.s12 = narrow((c.scale[0][1] * s12) / det);
    result.s21 = narrow((c.scale[1][0] * s21) / det);
    result.s22 = narrow((c.scale[1][1] * m22) / det);
}

}  // namespace tavrin
