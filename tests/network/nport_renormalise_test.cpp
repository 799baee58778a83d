// Renormalisation of N-ports to per-port real references, checked against the route through the
// impedance matrix derived here from each wave definition, and on the networks that route
// cannot take (a thru, a lossless network, a singular I - Gamma S).
#include "network/nport_renormalise.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "network/float_bits.hpp"

namespace tavrin {
namespace {

using Cx = std::complex<long double>;

// A square matrix of long double complex numbers, row by row, for the independent route.
struct Matrix {
    std::size_t n = 0;
    std::vector<Cx> e;
    explicit Matrix(std::size_t size) : n(size), e(size * size) {}
    Cx& operator()(std::size_t i, std::size_t j) { return e[i * n + j]; }
    const Cx& operator()(std::size_t i, std::size_t j) const { return e[i * n + j]; }
};

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix c(a.n);
    for (std::size_t i = 0; i < a.n; ++i)
        for (std::size_t k = 0; k < a.n; ++k)
            for (std::size_t j = 0; j < a.n; ++j) c(i, j) += a(i, k) * b(k, j);
    return c;
}

// Gauss-Jordan with partial pivoting on the modulus.
Matrix inverse(Matrix a) {
    const std::size_t n = a.n;
    Matrix x(n);
    for (std::size_t i = 0; i < n; ++i) x(i, i) = 1;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        for (std::size_t r = k + 1; r < n; ++r)
            if (std::abs(a(r, k)) > std::abs(a(p, k))) p = r;
        for (std::size_t j = 0; j < n; ++j) {
            std::swap(a(k, j), a(p, j));
            std::swap(x(k, j), x(p, j));
        }
        const Cx d = a(k, k);
        for (std::size_t j = 0; j < n; ++j) {
            a(k, j) /= d;
            x(k, j) /= d;
        }
        for (std::size_t r = 0; r < n; ++r) {
            if (r == k) continue;
            const Cx f = a(r, k);
            for (std::size_t j = 0; j < n; ++j) {
                a(r, j) -= f * a(k, j);
                x(r, j) -= f * x(k, j);
            }
        }
    }
    return x;
}

// Per port, V = p a + q b and I = r a + t b for the definition, from a and b in terms of V, I
// (as in impedance_route.hpp); then Z = (P + Q S)(R + T S)^-1 and, since for a real n every
// definition gives a', b' = (V +- n I) / (2 sqrt n), S' = D (Z - N)(Z + N)^-1 D^-1 with
// D = diag(1 / (2 sqrt n_i)). Undefined where R + T S is singular (a thru, for one).
Matrix through_impedance_matrix(const Matrix& s, const std::vector<Cx>& z, WaveDefinition waves,
                                const std::vector<double>& n) {
    const std::size_t size = s.n;
    Matrix v(size), i_(size);
    for (std::size_t i = 0; i < size; ++i) {
        const Cx zi = z[i];
        Cx p, q, r, t;
        switch (waves) {
            case WaveDefinition::traveling: {  // a, b = (V +- Z I) / (2 sqrt Z)
                const Cx k = std::sqrt(zi);
                p = k, q = k, r = 1.0L / k, t = -1.0L / k;
                break;
            }
            case WaveDefinition::pseudo: {  // a, b = sqrt(Re Z)/(2|Z|) (V +- Z I)
                const Cx k = std::abs(zi) / std::sqrt(zi.real());
                p = k, q = k, r = k / zi, t = -k / zi;
                break;
            }
            case WaveDefinition::power: {  // a = (V + Z I)/(2 sqrt Re Z), b = (V - conj Z I)/(2
                                           // sqrt Re Z)
                const long double k = std::sqrt(zi.real());
                p = std::conj(zi) / k, q = zi / k, r = 1.0L / k, t = -1.0L / k;
                break;
            }
        }
        for (std::size_t j = 0; j < size; ++j) {
            v(i, j) = q * s(i, j) + (i == j ? p : Cx(0));
            i_(i, j) = t * s(i, j) + (i == j ? r : Cx(0));
        }
    }
    const Matrix zm = multiply(v, inverse(i_));
    Matrix minus_n = zm, plus_n = zm;
    for (std::size_t k = 0; k < size; ++k) {
        minus_n(k, k) -= n[k];
        plus_n(k, k) += n[k];
    }
    Matrix result = multiply(minus_n, inverse(plus_n));
    for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = 0; j < size; ++j)
            result(i, j) *= std::sqrt(static_cast<long double>(n[j]) / n[i]);
    return result;
}

Matrix matrix_of(const std::vector<Complex>& s, std::size_t n) {
    Matrix m(n);
    for (std::size_t k = 0; k < n * n; ++k) m.e[k] = Cx(s[k].re, s[k].im);
    return m;
}

std::vector<Complex> renormalised(const std::vector<Complex>& s, const std::vector<Complex>& z,
                                  WaveDefinition waves, const std::vector<double>& n,
                                  bool expect_success = true) {
    NPortRenormalisation c;
    prepare_nport_renormalisation(z, waves, n, c);
    NPortWorkspace w;
    std::vector<Complex> result(s.size());
    EXPECT_EQ(renormalise_nport(s.data(), c, w, result.data()), expect_success);
    return result;
}

// The largest error relative to max(1, |want|), after expecting each below 1e-12.
long double expect_near(const std::vector<Complex>& got, const Matrix& want,
                        const std::string& name) {
    long double worst = 0;
    for (std::size_t i = 0; i < want.n; ++i) {
        for (std::size_t j = 0; j < want.n; ++j) {
            const Cx g(got[i * want.n + j].re, got[i * want.n + j].im);
            const long double error =
                std::abs(g - want(i, j)) / std::max(1.0L, std::abs(want(i, j)));
            EXPECT_LT(error, 1e-12L)
                << name << " S" << i + 1 << "," << j + 1 << ": " << g << " vs " << want(i, j);
            worst = std::max(worst, error);
        }
    }
    return worst;
}

// Random elements of modulus below gain/sqrt(N): for a gain below 1 I - S and R + T S are far
// from singular.
std::vector<Complex> random_s(std::size_t n, std::mt19937_64& random, double gain = 0.7) {
    const double bound = gain / std::sqrt(static_cast<double>(n));
    std::uniform_real_distribution<double> part(-bound, bound);
    std::vector<Complex> s(n * n);
    for (Complex& x : s) x = {part(random), part(random)};
    return s;
}

const WaveDefinition all_waves[] = {WaveDefinition::traveling, WaveDefinition::power,
                                    WaveDefinition::pseudo};

std::string label(const char* name, WaveDefinition waves) {
    return std::string(name) + ", " + std::string(wave_definition_name(waves));
}

TEST(RenormaliseNPort, AgreesWithTheImpedanceMatrixForEveryWaveDefinition) {
    struct Case {
        const char* name;
        std::vector<Complex> z;
        std::vector<double> n;
        bool real_part_positive = true;
        double gain =
            0.7;  // of the random S; above 1, I - Gamma S is no longer diagonally dominant
    };
    // References of N ports cycling through a list, new ones through another.
    const auto cycle = [](std::size_t size, const std::vector<Complex>& z,
                          const std::vector<double>& n) {
        Case c{"", {}, {}};
        for (std::size_t i = 0; i < size; ++i) {
            c.z.push_back(z[i % z.size()]);
            c.n.push_back(n[i % n.size()]);
        }
        return c;
    };
    const std::vector<Complex> lossy = {{30, -5},     {48, -6}, {81, 12}, {375.2, 3.1},
                                        {49.7, -0.1}, {50, 0},  {22, 0.5}};
    std::vector<Case> cases = {
        {"N=1, real", {{50, 0}}, {75}},
        {"N=1, lossy", {{30, -5}}, {50}},
        {"N=1, the same reference", {{50, 0}}, {50}},
        {"N=3, real per port", {{50, 0}, {75, 0}, {25, 0}}, {50, 200, 100}},
        {"N=3, lossy", {{30, -5}, {48, -6}, {81, 12}}, {50, 50, 50}},
        {"N=4, lossy, new per port",
         {{30, -5}, {375.2, 3.1}, {49.7, -0.1}, {50, 0}},
         {50, 200, 50, 200}},
        {"N=5, real old, new per port",
         {{50, 0}, {50, 0}, {75, 0}, {10, 0}, {1000, 0}},
         {50, 200, 60, 12.5, 300}},
        {"N=4, an evanescent port",
         {{50, 0}, {0, 29}, {-5, 3}, {60, -2}},
         {50, 200, 75, 50},
         false},
        // Amplifiers and new references far from the old: the pivoting swaps rows.
        {"N=3, gain", {{10, 0}, {48, -6}, {400, 0}}, {200, 300, 20}, true, 6},
        {"N=4, gain", {{10, 0}, {48, -6}, {400, 0}, {30, -5}}, {200, 300, 20, 500}, true, 8},
        {"N=8, gain",
         {{10, 0}, {48, -6}, {400, 0}, {30, -5}, {10, 0}, {48, -6}, {400, 0}, {30, -5}},
         {200, 300, 20, 500, 200, 300, 20, 500},
         true,
         10},
    };
    for (const std::size_t size : {5u, 8u, 12u, 32u}) {
        Case c = cycle(size, lossy, {50, 200, 75, 25, 100});
        c.name = size == 5    ? "N=5, lossy"
                 : size == 8  ? "N=8, lossy"
                 : size == 12 ? "N=12, lossy"
                              : "N=32, lossy";
        cases.push_back(c);
    }
    std::mt19937_64 random(11);
    long double worst = 0;
    for (const Case& c : cases) {
        const std::size_t size = c.z.size();
        std::vector<Cx> z;
        for (const Complex& x : c.z) z.emplace_back(x.re, x.im);
        for (const WaveDefinition waves : all_waves) {
            // Power and pseudo waves need a positive real part.
            if (!c.real_part_positive && waves != WaveDefinition::traveling) continue;
            ASSERT_TRUE(nport_references_usable(c.z, waves, c.n)) << label(c.name, waves);
            for (int trial = 0; trial < (size > 12 ? 3 : 10); ++trial) {
                const std::vector<Complex> s = random_s(size, random, c.gain);
                const Matrix want = through_impedance_matrix(matrix_of(s, size), z, waves, c.n);
                worst = std::max(worst, expect_near(renormalised(s, c.z, waves, c.n), want,
                                                    label(c.name, waves)));
            }
        }
    }
    // Observed: 1.0e-16 at worst, in the amplifiers (the route's own error included).
    EXPECT_LT(worst, 1e-15L);
}

TEST(RenormaliseNPort, OneReferenceForAllPortsIsTheTwoPortRenormalisation) {
    // The two-port form and the N-port solve order their operations differently, so they may
    // be a few units in the last place apart, counted in ulps of the element's modulus (a
    // component much smaller than the modulus can be hundreds of its own ulps off). Observed
    // over these 3 x 4 x 2000 elements x 4: 99.7 % bit-identical, the rest 1 ulp apart.
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> part(-0.9, 0.9);
    const PortImpedances references[] = {{{50, 0}, {75, 0}},
                                         {{375.2, 3.1}, {49.7, -0.1}},
                                         {{48, -6}, {81, 12}},
                                         {{30, -5}, {30, -5}}};
    double worst_ulps = 0;
    for (const WaveDefinition waves : all_waves) {
        for (const PortImpedances& r : references) {
            const std::vector<Complex> z = {r.port1, r.port2};
            for (int trial = 0; trial < 2000; ++trial) {
                const double n = trial % 2 == 0 ? 50.0 : 12.5 + trial * 0.1;
                const TwoPort two{{part(random), part(random)},
                                  {3 * part(random), part(random)},
                                  {part(random), part(random)},
                                  {part(random), part(random)}};
                TwoPort want;
                renormalise_ports(two, port_renormalisation(r, waves, n), want);
                const std::vector<Complex> s = {two.s11, two.s12, two.s21, two.s22};
                const std::vector<Complex> got = renormalised(s, z, waves, {n, n});
                const Complex wanted[4] = {want.s11, want.s12, want.s21, want.s22};
                for (int k = 0; k < 4; ++k) {
                    // Units in the last place of the element's modulus.
                    const double modulus = std::hypot(wanted[k].re, wanted[k].im);
                    const double ulp = std::ldexp(1.0, std::ilogb(std::max(modulus, 1e-300)) - 52);
                    const double apart = std::max(std::fabs(got[k].re - wanted[k].re),
                                                  std::fabs(got[k].im - wanted[k].im)) /
                                         ulp;
                    worst_ulps = std::max(worst_ulps, apart);
                    EXPECT_LE(apart, 4.0)
                        << label("two-port", waves) << " element " << k << " n " << n;
                }
            }
        }
    }
    RecordProperty("largest_difference_ulps", std::to_string(worst_ulps));
}

TEST(RenormaliseNPort, TheSameReferencesGiveTheDataBack) {
    std::mt19937_64 random(3);
    const std::vector<Complex> z = {{50, 0}, {75, 0}, {25, 0}, {50, 0}, {100, 0}};
    const std::vector<double> n = {50, 75, 25, 50, 100};
    for (const WaveDefinition waves : all_waves) {
        std::vector<Complex> s = random_s(5, random);
        s[7] = {0, 0};
        s[0] = {25.5, -3};  // far from a passive network
        const std::vector<Complex> got = renormalised(s, z, waves, n);
        for (std::size_t k = 0; k < s.size(); ++k) {
            EXPECT_TRUE(float_bits::same_up_to_zero_sign(got[k].re, s[k].re)) << k;
            EXPECT_TRUE(float_bits::same_up_to_zero_sign(got[k].im, s[k].im)) << k;
        }
    }
}

TEST(RenormaliseNPort, AThruStaysAThru) {
    // Ports 1 and 3 of a 4-port joined by a thru, ports 2 and 4 a coupled pair: I - S is
    // singular, so no impedance matrix exists. Between equal references at both ends the thru
    // is a thru for any new reference common to both ends (traveling and pseudo-waves; power
    // waves turn its phase by that of conj(R)/R for a complex reference).
    std::vector<Complex> s(16);
    s[0 * 4 + 2] = s[2 * 4 + 0] = {1, 0};
    s[1 * 4 + 1] = {0.2, -0.1};
    s[1 * 4 + 3] = s[3 * 4 + 1] = {0.5, 0.6};
    s[3 * 4 + 3] = {-0.3, 0.05};
    const std::vector<Complex> z = {{49.7, -0.1}, {30, -5}, {49.7, -0.1}, {75, 0}};
    const std::vector<double> n = {50, 200, 50, 50};
    for (const WaveDefinition waves : {WaveDefinition::traveling, WaveDefinition::pseudo}) {
        const std::vector<Complex> got = renormalised(s, z, waves, n);
        for (const std::size_t k : {0u, 2u}) {
            for (std::size_t j = 0; j < 4; ++j) {
                const Complex x = got[k * 4 + j];
                const double want = j == 2 - k ? 1.0 : 0.0;
                EXPECT_NEAR(x.re, want, 1e-12) << k << "," << j;
                EXPECT_NEAR(x.im, 0.0, 1e-12) << k << "," << j;
                // Not coupled to ports 2 and 4 at all: exactly 0 both ways.
                if (j % 2 == 1) {
                    EXPECT_EQ(x.re, 0.0);
                    EXPECT_EQ(x.im, 0.0);
                    EXPECT_EQ(got[j * 4 + k].re, 0.0);
                    EXPECT_EQ(got[j * 4 + k].im, 0.0);
                }
            }
        }
    }
}

// An N x N unitary matrix: Gram-Schmidt on random columns in long double, rounded to double.
std::vector<Complex> random_unitary(std::size_t n, std::mt19937_64& random) {
    std::normal_distribution<long double> part;
    std::vector<std::vector<Cx>> q;
    for (std::size_t c = 0; c < n; ++c) {
        std::vector<Cx> v(n);
        for (Cx& x : v) x = Cx(part(random), part(random));
        for (int pass = 0; pass < 2; ++pass) {
            for (const std::vector<Cx>& u : q) {
                Cx d = 0;
                for (std::size_t i = 0; i < n; ++i) d += std::conj(u[i]) * v[i];
                for (std::size_t i = 0; i < n; ++i) v[i] -= d * u[i];
            }
        }
        long double norm = 0;
        for (const Cx& x : v) norm += std::norm(x);
        for (Cx& x : v) x /= std::sqrt(norm);
        q.push_back(v);
    }
    std::vector<Complex> s(n * n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            s[i * n + j] = {static_cast<double>(q[j][i].real()),
                            static_cast<double>(q[j][i].imag())};
    return s;
}

void expect_unitary(const std::vector<Complex>& s, std::size_t n, const std::string& name) {
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            Cx sum = 0;  // (S^H S)_ij
            for (std::size_t k = 0; k < n; ++k)
                sum += std::conj(Cx(s[k * n + i].re, s[k * n + i].im)) *
                       Cx(s[k * n + j].re, s[k * n + j].im);
            EXPECT_LT(std::abs(sum - Cx(i == j ? 1 : 0)), 1e-12L)
                << name << " (S'^H S')" << i + 1 << "," << j + 1;
        }
    }
}

TEST(RenormaliseNPort, ALosslessNetworkStaysLossless) {
    // A 90-degree hybrid coupler: every port matched, so I - S is far from singular, but its
    // impedance matrix is purely reactive; and random unitary networks of 8 and 16 ports.
    const double h = 1 / std::sqrt(2.0);
    const std::vector<Complex> hybrid = {{0, 0}, {0, -h}, {-h, 0}, {0, 0}, {0, -h}, {0, 0},
                                         {0, 0}, {-h, 0}, {-h, 0}, {0, 0}, {0, 0},  {0, -h},
                                         {0, 0}, {-h, 0}, {0, -h}, {0, 0}};
    std::mt19937_64 random(17);
    for (const WaveDefinition waves : all_waves) {
        // Real references: every definition gives power waves, for which lossless means unitary.
        expect_unitary(
            renormalised(hybrid, {{50, 0}, {50, 0}, {50, 0}, {50, 0}}, waves, {50, 200, 75, 10}), 4,
            label("hybrid", waves));
        for (const std::size_t n : {8u, 16u}) {
            std::vector<Complex> z;
            std::vector<double> new_z;
            for (std::size_t i = 0; i < n; ++i) {
                z.push_back({25.0 + 10.0 * static_cast<double>(i), 0});
                new_z.push_back(i % 2 == 0 ? 50 : 200);
            }
            expect_unitary(renormalised(random_unitary(n, random), z, waves, new_z), n,
                           label("unitary", waves));
        }
    }
    // Power waves keep that for complex references too (Kurokawa).
    const std::vector<Complex> lossy = {{30, -5},     {48, -6},     {81, 12},
                                        {375.2, 3.1}, {49.7, -0.1}, {50, 0}};
    expect_unitary(renormalised(random_unitary(6, random), lossy, WaveDefinition::power,
                                {50, 200, 50, 200, 50, 200}),
                   6, "unitary, power, complex references");
}

TEST(RenormaliseNPort, ADecoupledNetworkStaysDecoupledExactly) {
    // Ports {1, 3, 6} and {2, 4, 5} are two networks side by side, and neither is triangular:
    // whatever rows the pivoting swaps, an element between them is exactly 0, not 1e-20.
    std::mt19937_64 random(23);
    const std::vector<Complex> z = {{30, -5}, {50, 0}, {48, -6}, {81, 12}, {75, 0}, {49.7, -0.1}};
    const std::vector<double> n = {50, 200, 50, 12.5, 200, 100};
    const auto group = [](std::size_t port) { return port == 0 || port == 2 || port == 5; };
    std::vector<Cx> zc;
    for (const Complex& x : z) zc.emplace_back(x.re, x.im);
    for (const WaveDefinition waves : all_waves) {
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<Complex> s = random_s(6, random);
            for (std::size_t i = 0; i < 6; ++i)
                for (std::size_t j = 0; j < 6; ++j)
                    if (group(i) != group(j)) s[i * 6 + j] = {0, 0};
            s[0 * 6 + 5] = {2.5, 1};  // large couplings make the pivoting swap rows
            s[4 * 6 + 1] = {-3, 0.5};
            const std::vector<Complex> got = renormalised(s, z, waves, n);
            for (std::size_t i = 0; i < 6; ++i) {
                for (std::size_t j = 0; j < 6; ++j) {
                    if (group(i) == group(j)) continue;
                    EXPECT_EQ(got[i * 6 + j].re, 0.0) << i << "," << j;
                    EXPECT_EQ(got[i * 6 + j].im, 0.0) << i << "," << j;
                }
            }
            expect_near(got, through_impedance_matrix(matrix_of(s, 6), zc, waves, n),
                        label("decoupled", waves));
        }
    }
}

TEST(RenormaliseNPort, TransmissionOneWayStaysExactlyOneWayInEitherDirection) {
    // S_ij = 0 for every j > i (each port sends only to later ones, as a chain of unilateral
    // amplifiers), or for every j < i: S' keeps those zeros exactly, however large the gains.
    std::mt19937_64 random(31);
    const std::vector<Complex> z = {{50, 0}, {30, -5}, {75, 0}, {48, -6}};
    const std::vector<double> n = {10, 200, 50, 1000};
    for (const WaveDefinition waves : all_waves) {
      for (const bool towards_later : {true, false}) {
        const auto is_zero_element = [towards_later](std::size_t i, std::size_t j) {
            return towards_later ? j > i : j < i;
        };
        std::vector<Complex> s = random_s(4, random, 0.9);
        for (std::size_t i = 0; i < 4; ++i)
            for (std::size_t j = 0; j < 4; ++j)
                if (is_zero_element(i, j)) s[i * 4 + j] = {0, 0};
        s[towards_later ? 1 * 4 + 0 : 0 * 4 + 1] = {25, 18};
        s[towards_later ? 3 * 4 + 2 : 2 * 4 + 3] = {-12, 30};
        const std::vector<Complex> got = renormalised(s, z, waves, n);
        for (std::size_t i = 0; i < 4; ++i) {
            for (std::size_t j = 0; j < 4; ++j) {
                if (!is_zero_element(i, j)) continue;
                EXPECT_EQ(got[i * 4 + j].re, 0.0) << i << "," << j << " " << towards_later;
                EXPECT_EQ(got[i * 4 + j].im, 0.0) << i << "," << j << " " << towards_later;
            }
        }
        std::vector<Cx> zc;
        for (const Complex& x : z) zc.emplace_back(x.re, x.im);
        expect_near(got, through_impedance_matrix(matrix_of(s, 4), zc, waves, n),
                    label("one way", waves));
      }
    }
}

TEST(RenormaliseNPort, ASingularDenominatorIsRefused) {
    // One port, Z = 30 to n = 10: Gamma = -1/2 exactly, and S = 1/Gamma makes 1 - Gamma S zero.
    for (const WaveDefinition waves : all_waves)
        renormalised({{-2, 0}}, {{30, 0}}, waves, {10}, false);
    // Three ports, Gamma = 1/2 at two joined by S = 2 both ways: a zero pivot after one step.
    std::vector<Complex> s(9);
    s[0 * 3 + 2] = s[2 * 3 + 0] = {2, 0};
    s[1 * 3 + 1] = {0.3, 0.1};
    for (const WaveDefinition waves : all_waves)
        renormalised(s, {{50, 0}, {60, -3}, {50, 0}}, waves, {150, 50, 150}, false);
    // Finite data whose result overflows a double: S'_11 = S11 + S12 S21 Gamma_2 / (1 - Gamma_2
    // S22) with Gamma_1 = 0, about 5e599.
    for (const WaveDefinition waves : all_waves)
        renormalised({{0, 0}, {1e300, 0}, {1e300, 0}, {0, 0}}, {{50, 0}, {50, 0}}, waves, {50, 150},
                     false);
    // The data's own NaN is carried through, not taken for a singular matrix.
    std::vector<Complex> with_nan(9, Complex{0.1, 0.2});
    with_nan[4].im = NAN;
    const std::vector<Complex> got = renormalised(with_nan, {{50, 0}, {60, -3}, {50, 0}},
                                                  WaveDefinition::traveling, {50, 50, 75});
    EXPECT_TRUE(std::any_of(got.begin(), got.end(),
                            [](const Complex& x) { return std::isnan(x.re) || std::isnan(x.im); }));
}

TEST(RenormaliseNPort, ReusesItsStorage) {
    std::mt19937_64 random(29);
    const std::vector<Complex> z8(8, Complex{48, -6});
    const std::vector<double> n8(8, 50.0);
    NPortRenormalisation c;
    NPortWorkspace w;
    prepare_nport_renormalisation(z8, WaveDefinition::power, n8, c);
    std::vector<Complex> result(64);
    ASSERT_TRUE(renormalise_nport(random_s(8, random).data(), c, w, result.data()));
    const WideComplex* const matrix = w.matrix.data();
    const WideComplex* const rhs = w.rhs.data();
    const WideComplex* const gamma = c.gamma.data();
    // A smaller network afterwards: the same storage, nothing shrunk.
    const std::vector<Complex> z3 = {{50, 0}, {75, 0}, {30, -5}};
    prepare_nport_renormalisation(z3, WaveDefinition::traveling, {{50, 200, 50}}, c);
    EXPECT_EQ(c.ports, 3u);
    const std::vector<Complex> s3 = random_s(3, random);
    std::vector<Complex> result3(9);
    ASSERT_TRUE(renormalise_nport(s3.data(), c, w, result3.data()));
    EXPECT_EQ(w.matrix.data(), matrix);
    EXPECT_EQ(w.rhs.data(), rhs);
    EXPECT_EQ(c.gamma.data(), gamma);
    std::vector<Cx> zc;
    for (const Complex& x : z3) zc.emplace_back(x.re, x.im);
    expect_near(
        result3,
        through_impedance_matrix(matrix_of(s3, 3), zc, WaveDefinition::traveling, {50, 200, 50}),
        "after an 8-port");
}

// The rule for one value is the two-port one, tested there; here it must meet each port with
// that port's own new reference.
TEST(NPortReferencesUsable, AppliesTheTwoPortRulePortByPort) {
    struct Case {
        Complex z;
        bool traveling, power, pseudo;
    };
    const double inf = INFINITY;
    const Case cases[] = {
        {{50, 0}, true, true, true},
        {{0, 29}, true, false, false},
        {{-200, 0}, false, false, false},  // Z = -n at that port
        {{-60, 0}, true, false, false},    // -n elsewhere only
    };
    for (const Case& c : cases) {
        for (std::size_t at = 0; at < 3; ++at) {
            std::vector<Complex> z(3, Complex{50, 0});
            z[at] = c.z;
            std::vector<double> n = {60, 75, 60};
            n[at] = 200;
            EXPECT_EQ(nport_references_usable(z, WaveDefinition::traveling, n), c.traveling)
                << c.z.re << " at " << at;
            EXPECT_EQ(nport_references_usable(z, WaveDefinition::power, n), c.power)
                << c.z.re << " at " << at;
            EXPECT_EQ(nport_references_usable(z, WaveDefinition::pseudo, n), c.pseudo)
                << c.z.re << " at " << at;
        }
    }
    // The new references must themselves be finite and positive, one per port.
    const std::vector<Complex> z = {{50, 0}, {50, 0}};
    for (const double bad : {0.0, -50.0, inf, -inf, double(NAN)})
        for (const WaveDefinition waves : all_waves)
            EXPECT_FALSE(nport_references_usable(z, waves, {{50, bad}}));
    EXPECT_FALSE(nport_references_usable(z, WaveDefinition::traveling, {{50}}));
    EXPECT_FALSE(nport_references_usable({}, WaveDefinition::traveling, {}));
    EXPECT_TRUE(nport_references_usable({{{50, 0}}}, WaveDefinition::traveling, {{1e-300}}));
}

}  // namespace
}  // namespace tavrin
