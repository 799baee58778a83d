// The route through the impedance matrix, derived from each wave definition on its own: V and
// I at each port from the old waves, Z = V I^-1, then the waves for a new real reference n at
// both ports. Independent of the direct forms the tool uses; undefined where I - S is singular.
#pragma once

#include <array>
#include <complex>

#include "network/port_renormalise.hpp"

namespace tavrin::test {

using Cx = std::complex<long double>;
using Matrix = std::array<std::array<Cx, 2>, 2>;

inline Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix c{};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) c[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j];
    return c;
}

inline Matrix inverse(const Matrix& a) {
    const Cx det = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    return {{{a[1][1] / det, -a[0][1] / det}, {-a[1][0] / det, a[0][0] / det}}};
}

// Per port, V = p a + q b and I = r a + s b for the given definition (from a, b in terms of
// V and I), as diagonal matrices P, Q, R, S.
struct WaveToVoltage {
    Matrix p{}, q{}, r{}, s{};
};

inline WaveToVoltage voltage_from_waves(const Cx z[2], WaveDefinition waves) {
    WaveToVoltage m;
    for (int i = 0; i < 2; ++i) {
        const Cx zi = z[i];
        const long double re = zi.real();
        switch (waves) {
            case WaveDefinition::traveling: {  // a, b = (V +- Z I) / (2 sqrt Z)
                const Cx k = std::sqrt(zi);
                m.p[i][i] = k;
                m.q[i][i] = k;
                m.r[i][i] = 1.0L / k;
                m.s[i][i] = -1.0L / k;
                break;
            }
            case WaveDefinition::pseudo: {  // a, b = sqrt(Re Z)/(2|Z|) (V +- Z I)
                const Cx k = std::abs(zi) / std::sqrt(re);
                m.p[i][i] = k;
                m.q[i][i] = k;
                m.r[i][i] = k / zi;
                m.s[i][i] = -k / zi;
                break;
            }
            case WaveDefinition::power: {  // a = (V + Z I)/(2 sqrt R), b = (V - conj(Z) I)/(2 sqrt R)
                const long double k = std::sqrt(re);
                m.p[i][i] = std::conj(zi) / k;
                m.q[i][i] = zi / k;
                m.r[i][i] = 1.0L / k;
                m.s[i][i] = -1.0L / k;
                break;
            }
        }
    }
    return m;
}

inline Matrix add(const Matrix& a, const Matrix& b) {
    Matrix c{};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) c[i][j] = a[i][j] + b[i][j];
    return c;
}

// S' for real n at both ports through Z = (P + Q S)(R + S_ S)^-1.
inline Matrix through_impedance_matrix(const Matrix& s, const Cx z[2], WaveDefinition waves, long double n) {
    const WaveToVoltage m = voltage_from_waves(z, waves);
    const Matrix v = add(m.p, multiply(m.q, s));
    const Matrix i = add(m.r, multiply(m.s, s));
    const Matrix zm = multiply(v, inverse(i));
    Matrix minus_n = zm, plus_n = zm;
    for (int k = 0; k < 2; ++k) {
        minus_n[k][k] -= n;
        plus_n[k][k] += n;
    }
    return multiply(minus_n, inverse(plus_n));
}

}  // namespace tavrin::test
