// Noise parameters for another reference: the noise figure for any source impedance, computed
// from each set of parameters against its own reference, must not change.
#include "network/noise.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace tavrin {
namespace {

using Cx = std::complex<long double>;

const long double pi = 3.141592653589793238462643383279502884L;

// F(Zs) = Fmin + 4 rn |Gs - Gopt|^2 / ((1 - |Gs|^2) |1 + Gopt|^2), linear, every reflection
// coefficient and rn against the reference r.
long double noise_figure(const NoiseParameters& p, long double reference, Cx source) {
    const Cx gs = (source - reference) / (source + reference);
    const Cx gopt = std::polar(static_cast<long double>(p.gamma_magnitude),
                               static_cast<long double>(p.gamma_degrees) * pi / 180.0L);
    const long double fmin = std::pow(10.0L, p.fmin_db / 10.0L);
    return fmin + 4.0L * p.resistance * std::norm(gs - gopt) /
                      ((1.0L - std::norm(gs)) * std::norm(1.0L + gopt));
}

TEST(RenormaliseNoise, KeepsTheNoiseFigureForEverySourceImpedance) {
    const NoiseParameters data_sheet[] = {{0.45, 0.35, 25, 0.18}, {1.2, 0.62, -140, 0.4},
                                          {0.3, 0.05, 170, 0.09}};
    for (const NoiseParameters& p : data_sheet) {
        for (const double r1 : {50.0, 75.0}) {
            for (const double n : {25.0, 50.0, 75.0, 100.0}) {
                NoiseParameters q = p;
                renormalise_noise(q, r1, n, false);
                EXPECT_EQ(q.fmin_db, p.fmin_db);
                for (const Cx source : {Cx(10, 0), Cx(50, 20), Cx(120, -30)}) {
                    const long double before = noise_figure(p, r1, source);
                    EXPECT_NEAR(static_cast<double>(noise_figure(q, n, source) / before), 1.0, 1e-13)
                        << r1 << " -> " << n;
                }
            }
        }
    }
}

TEST(RenormaliseNoise, TheSameReferenceGivesTheParametersBack) {
    NoiseParameters p{0.52, 0.31, 48, 0.15};
    renormalise_noise(p, 50, 50, false);
    EXPECT_NEAR(p.gamma_magnitude, 0.31, 1e-15);
    EXPECT_NEAR(p.gamma_degrees, 48, 1e-12);
    EXPECT_EQ(p.resistance, 0.15);
}

TEST(RenormaliseNoise, ResistanceInOhmsIsDividedByTheNewReferenceOnly) {
    NoiseParameters normalised{0.5, 0.3, 30, 0.2};
    NoiseParameters ohms{0.5, 0.3, 30, 10.0};  // 0.2 of 50 ohms
    renormalise_noise(normalised, 50, 75, false);
    renormalise_noise(ohms, 50, 75, true);
    EXPECT_DOUBLE_EQ(normalised.resistance, 10.0 / 75.0);
    EXPECT_DOUBLE_EQ(ohms.resistance, 10.0 / 75.0);
    EXPECT_EQ(ohms.gamma_magnitude, normalised.gamma_magnitude);
}

}  // namespace
}  // namespace tavrin
