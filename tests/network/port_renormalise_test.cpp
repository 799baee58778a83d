// Renormalisation from per-port and complex references, checked against the route through the
// impedance matrix.
#include "network/port_renormalise.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "network/impedance_route.hpp"

namespace tavrin {
namespace {

using test::Cx;
using test::Matrix;
using test::through_impedance_matrix;

TwoPort two_port_of(const Matrix& s) {
    const auto c = [](const Cx& x) { return Complex{static_cast<double>(x.real()), static_cast<double>(x.imag())}; };
    return {c(s[0][0]), c(s[1][0]), c(s[0][1]), c(s[1][1])};
}

Matrix matrix_of(const TwoPort& s) {
    const auto c = [](const Complex& x) { return Cx(x.re, x.im); };
    return {{{c(s.s11), c(s.s12)}, {c(s.s21), c(s.s22)}}};
}

void expect_near(const Matrix& got, const Matrix& want, const char* name) {
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            const long double scale = std::max(1.0L, std::abs(want[i][j]));
            EXPECT_LT(std::abs(got[i][j] - want[i][j]) / scale, 1e-12L)
                << name << " S" << i + 1 << j + 1 << ": " << got[i][j] << " vs " << want[i][j];
        }
    }
}

Matrix renormalised(const Matrix& s, const Cx z[2], WaveDefinition waves, double n) {
    const PortImpedances impedances{{static_cast<double>(z[0].real()), static_cast<double>(z[0].imag())},
                                    {static_cast<double>(z[1].real()), static_cast<double>(z[1].imag())}};
    TwoPort result;
    renormalise_ports(two_port_of(s), port_renormalisation(impedances, waves, n), result);
    return matrix_of(result);
}

TEST(RenormalisePorts, AgreesWithTheImpedanceMatrixForEveryWaveDefinition) {
    struct References {
        const char* name;
        Cx z[2];
        bool real_part_positive;
    };
    const References references[] = {
        {"real, per port", {Cx(50, 0), Cx(75, 0)}, true},
        {"waveguide and coplanar", {Cx(375.2, 3.1), Cx(49.7, -0.1)}, true},
        {"lossy lines", {Cx(48, -6), Cx(81, 12)}, true},
        {"an evanescent port", {Cx(50, 0), Cx(0, 29)}, false},
    };
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> part(-0.7, 0.7);
    for (const References& r : references) {
        for (const WaveDefinition waves :
             {WaveDefinition::traveling, WaveDefinition::power, WaveDefinition::pseudo}) {
            // Power and pseudo waves need a positive real part.
            if (!r.real_part_positive && waves != WaveDefinition::traveling) continue;
            for (const double n : {25.0, 75.0, 100.0}) {
                for (int trial = 0; trial < 20; ++trial) {
                    Matrix s{};
                    for (auto& row : s)
                        for (Cx& x : row) x = Cx(part(random), part(random));
                    expect_near(renormalised(s, r.z, waves, n),
                                through_impedance_matrix(s, r.z, waves, n), r.name);
                }
            }
        }
    }
}

TEST(RenormalisePorts, TheDefinitionsDifferOnlyForComplexReferences) {
    const Matrix s = {{{Cx(0.2, 0.1), Cx(0.05, -0.02)}, {Cx(3, 1), Cx(-0.3, 0.2)}}};
    const Cx real[2] = {Cx(50, 0), Cx(75, 0)};
    const Cx complex[2] = {Cx(375.2, 3.1), Cx(49.7, -0.1)};
    const Matrix traveling_real = renormalised(s, real, WaveDefinition::traveling, 60);
    expect_near(renormalised(s, real, WaveDefinition::power, 60), traveling_real, "power, real");
    expect_near(renormalised(s, real, WaveDefinition::pseudo, 60), traveling_real, "pseudo, real");
    const Matrix traveling = renormalised(s, complex, WaveDefinition::traveling, 60);
    const Matrix power = renormalised(s, complex, WaveDefinition::power, 60);
    const Matrix pseudo = renormalised(s, complex, WaveDefinition::pseudo, 60);
    EXPECT_GT(std::abs(power[0][0] - traveling[0][0]), 1e-6L);
    EXPECT_GT(std::abs(pseudo[1][0] - traveling[1][0]), 1e-6L);
}

TEST(RenormalisePorts, SpecialNetworksStayWhatTheyAre) {
    // A thru between equal references is a thru for any new reference: I - S is singular, so
    // an impedance matrix does not exist, and the direct form must still give it.
    const Matrix thru = {{{Cx(0, 0), Cx(1, 0)}, {Cx(1, 0), Cx(0, 0)}}};
    const Cx line[2] = {Cx(49.7, -0.1), Cx(49.7, -0.1)};
    for (const WaveDefinition waves : {WaveDefinition::traveling, WaveDefinition::pseudo}) {
        expect_near(renormalised(thru, line, waves, 50), thru, "thru");
    }
    // New references equal to the old: the data back.
    const Matrix amplifier = {{{Cx(0.3, -0.2), Cx(0, 0)}, {Cx(25, 18), Cx(-0.1, 0.4)}}};
    const Cx fifty[2] = {Cx(50, 0), Cx(50, 0)};
    expect_near(renormalised(amplifier, fifty, WaveDefinition::traveling, 50), amplifier, "same");
    // A unilateral amplifier stays unilateral: S12 exactly 0 gives S12' exactly 0.
    const Cx ports[2] = {Cx(50, 0), Cx(75, 0)};
    EXPECT_EQ(renormalised(amplifier, ports, WaveDefinition::traveling, 60)[0][1], Cx(0, 0));
}

TEST(ReferencesUsable, RefusesWhatCannotDefineTheWaves) {
    struct Case {
        Complex z;
        bool traveling, power, pseudo;
    };
    const double inf = INFINITY;
    const Case cases[] = {
        {{50, 0}, true, true, true},        {{49.7, -0.1}, true, true, true},
        {{0, 29}, true, false, false},      {{-5, 3}, true, false, false},
        {{0, 0}, false, false, false},      {{inf, 0}, false, false, false},
        {{50, NAN}, false, false, false},   {{-60, 0}, false, false, false},  // Z = -n
    };
    for (const Case& c : cases) {
        const PortImpedances both{c.z, {50, 0}};
        EXPECT_EQ(references_usable(both, WaveDefinition::traveling, 60), c.traveling) << c.z.re;
        EXPECT_EQ(references_usable(both, WaveDefinition::power, 60), c.power) << c.z.re;
        EXPECT_EQ(references_usable(both, WaveDefinition::pseudo, 60), c.pseudo) << c.z.re;
        const PortImpedances second{{50, 0}, c.z};
        EXPECT_EQ(references_usable(second, WaveDefinition::traveling, 60), c.traveling) << c.z.re;
    }
}

TEST(PrincipalSqrt, TakesTheRootWithANonNegativeRealPart) {
    const WideComplex cases[] = {{4, 0}, {-4, 0}, {-4, -0.0}, {0, 29}, {0, -29}, {3, -4}, {-3, 4}};
    for (const WideComplex& z : cases) {
        const WideComplex root = principal_sqrt(z);
        const Cx expected =
            std::sqrt(Cx(static_cast<double>(z.re), static_cast<double>(z.im)));  // whole numbers
        EXPECT_NEAR(static_cast<double>(root.re), static_cast<double>(expected.real()), 1e-15);
        EXPECT_NEAR(static_cast<double>(root.im), static_cast<double>(expected.imag()), 1e-15);
        EXPECT_GE(static_cast<double>(root.re), 0.0);
    }
}

}  // namespace
}  // namespace tavrin
