// Mixed-mode S-parameters against the route of the mode voltages and currents through the
// impedance matrix, worked out here: V_d = V_P - V_N, I_d = (I_P - I_N)/2, V_c = (V_P + V_N)/2,
// I_c = I_P + I_N, single-ended ports as they are, and each mode's waves at its own reference.
#include "network/mixed_mode.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "network/complex_matrix.hpp"

namespace tavrin {
namespace {

using test::Cx;
using test::Matrix;

Mode d(std::size_t p, std::size_t n) {
    return {ModeKind::differential, p - 1, n - 1};
}
Mode c(std::size_t p, std::size_t n) {
    return {ModeKind::common, p - 1, n - 1};
}
Mode s(std::size_t p) {
    return {ModeKind::single_ended, p - 1, 0};
}

// The rows of V_m = T_v V and I_m = T_i I, straight from the definitions of the modes.
void mode_transforms(const ModeOrder& order, Matrix& tv, Matrix& ti) {
    for (std::size_t m = 0; m < order.size(); ++m) {
        const Mode& mode = order[m];
        const std::size_t p = mode.positive, n = mode.negative;
        switch (mode.kind) {
            case ModeKind::differential:
                tv(m, p) = 1, tv(m, n) = -1;
                ti(m, p) = 0.5L, ti(m, n) = -0.5L;
                break;
            case ModeKind::common:
                tv(m, p) = 0.5L, tv(m, n) = 0.5L;
                ti(m, p) = 1, ti(m, n) = 1;
                break;
            case ModeKind::single_ended:
                tv(m, p) = 1, ti(m, p) = 1;
                break;
        }
    }
}

Matrix diagonal(const std::vector<long double>& values, long double power) {
    Matrix m(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) m(i, i) = std::pow(values[i], power);
    return m;
}

Matrix plus_identity(Matrix m, long double sign, const std::vector<long double>& scale) {
    for (std::size_t i = 0; i < m.n; ++i) m(i, i) += sign * scale[i];
    return m;
}

// Z = r^1/2 (I + S)(I - S)^-1 r^1/2 and its inverse, S = r^-1/2 (Z - r)(Z + r)^-1 r^1/2, for
// real references r.
Matrix impedance(const Matrix& sm, const std::vector<long double>& r) {
    const std::vector<long double> ones(sm.n, 1.0L);
    Matrix minus_s = sm;
    for (Cx& x : minus_s.e) x = -x;
    return multiply(multiply(diagonal(r, 0.5L), multiply(plus_identity(sm, 1, ones),
                                                         inverse(plus_identity(minus_s, 1, ones)))),
                    diagonal(r, 0.5L));
}

Matrix scattering(const Matrix& z, const std::vector<long double>& r) {
    return multiply(multiply(diagonal(r, -0.5L),
                             multiply(plus_identity(z, -1, r), inverse(plus_identity(z, 1, r)))),
                    diagonal(r, 0.5L));
}

std::vector<long double> references_of_modes(const ModeOrder& order,
                                             const std::vector<double>& ports) {
    std::vector<long double> r;
    for (const Mode& mode : order) {
        const long double z = ports[mode.positive];
        r.push_back(mode.kind == ModeKind::differential ? 2 * z
                    : mode.kind == ModeKind::common     ? z / 2
                                                        : z);
    }
    return r;
}

// The modes at the references that follow from `to` of the network whose single-ended S at the
// references `from` is se; and the single-ended S at `to` of the network whose modes at the
// references that follow from `from` give mm.
Matrix to_modes_by_impedance(const Matrix& se, const std::vector<double>& from,
                             const std::vector<double>& to, const ModeOrder& order) {
    Matrix tv(se.n), ti(se.n);
    mode_transforms(order, tv, ti);
    const Matrix z = impedance(se, {from.begin(), from.end()});
    return scattering(multiply(multiply(tv, z), inverse(ti)), references_of_modes(order, to));
}

Matrix to_ports_by_impedance(const Matrix& mm, const std::vector<double>& from,
                             const std::vector<double>& to, const ModeOrder& order) {
    Matrix tv(mm.n), ti(mm.n);
    mode_transforms(order, tv, ti);
    const Matrix z = impedance(mm, references_of_modes(order, from));
    return scattering(multiply(multiply(inverse(tv), z), ti), {to.begin(), to.end()});
}

std::vector<Complex> passive(std::size_t n, std::mt19937_64& random) {
    std::uniform_real_distribution<double> part(-0.6 / std::sqrt(double(n)),
                                                0.6 / std::sqrt(double(n)));
    std::vector<Complex> m(n * n);
    for (Complex& x : m) x = {part(random), part(random)};
    return m;
}

Matrix matrix_of(const std::vector<Complex>& m, std::size_t n) {
    Matrix out(n);
    for (std::size_t k = 0; k < n * n; ++k) out.e[k] = Cx(m[k].re, m[k].im);
    return out;
}

std::vector<Complex> complex_of(const Matrix& m) {
    std::vector<Complex> out;
    for (const Cx& x : m.e) out.push_back({double(x.real()), double(x.imag())});
    return out;
}

// The tool's S' for s through change and the renormalisation from z to n (real, per port).
std::vector<Complex> tool(const std::vector<Complex>& s, const ModeChange& change,
                          const std::vector<double>& z, const std::vector<double>& n) {
    std::vector<Complex> old;
    for (const double x : z) old.push_back({x, 0.0});
    NPortRenormalisation renormalisation;
    prepare_nport_renormalisation(old, WaveDefinition::traveling, n, renormalisation);
    ModeWorkspace workspace;
    std::vector<Complex> result(s.size());
    EXPECT_TRUE(
        renormalise_with_modes(s.data(), change, renormalisation, workspace, result.data()));
    return result;
}

long double worst_error(const std::vector<Complex>& got, const Matrix& want) {
    long double worst = 0;
    for (std::size_t k = 0; k < want.e.size(); ++k) {
        const Cx g(got[k].re, got[k].im);
        worst = std::max(worst, std::abs(g - want.e[k]) / std::max(1.0L, std::abs(want.e[k])));
    }
    return worst;
}

struct Case {
    const char* name;
    ModeOrder order;
    std::vector<double> old_ports;  // the single-ended data's references
    std::vector<double> new_ports;  // equal on each pair
};

const std::vector<Case> cases = {
    {"a channel to 85 ohms differential",
     {d(1, 3), d(2, 4), c(1, 3), c(2, 4)},
     {50, 50, 50, 50},
     {42.5, 42.5, 42.5, 42.5}},
    {"a two-port as one pair, negative line first", {d(2, 1), c(2, 1)}, {50, 75}, {50, 50}},
    {"six ports, pairs and single-ended ports out of order",
     {d(2, 3), d(6, 5), c(2, 3), c(6, 5), s(4), s(1)},
     {50, 60, 75, 40, 30, 90},
     {50, 75, 75, 50, 0.01, 0.01}},
    {"eight ports, modes interleaved, a common mode named N, P",
     {c(1, 2), s(5), d(1, 2), d(8, 3), s(6), c(3, 8), d(4, 7), c(7, 4)},
     {50, 50, 25, 100, 50, 75, 60, 50},
     {45, 45, 50, 60, 75, 25, 60, 50}},
};

TEST(MixedMode, EveryRouteMeetsTheModeVoltagesAndCurrentsThroughTheImpedanceMatrix) {
    std::mt19937_64 random(26);
    for (const Case& k : cases) {
        const std::size_t n = k.old_ports.size();
        for (int draw = 0; draw < 5; ++draw) {
            const std::vector<Complex> se = passive(n, random);
            const Matrix mm =
                to_modes_by_impedance(matrix_of(se, n), k.old_ports, k.new_ports, k.order);
            // Single-ended data renormalised, then as modes.
            EXPECT_LT(worst_error(tool(se, {std::nullopt, basis_to_modes(k.order)}, k.old_ports,
                                       k.new_ports),
                                  mm),
                      1e-13L)
                << k.name;
            // Those modes back to single-ended ports at the old references, and other modes.
            const std::vector<Complex> modes = complex_of(mm);
            EXPECT_LT(worst_error(tool(modes, {basis_to_ports(k.order), std::nullopt}, k.new_ports,
                                       k.old_ports),
                                  matrix_of(se, n)),
                      1e-12L)
                << k.name;
            const std::vector<Complex> drawn = passive(n, random);
            EXPECT_LT(
                worst_error(
                    tool(drawn, {basis_to_ports(k.order), std::nullopt}, k.new_ports, k.old_ports),
                    to_ports_by_impedance(matrix_of(drawn, n), k.new_ports, k.old_ports, k.order)),
                1e-12L)
                << k.name;
            // And modes renormalised as modes, in the same order, at other references.
            std::vector<double> other = k.new_ports;
            for (double& z : other) z *= 1.5;
            EXPECT_LT(
                worst_error(tool(modes, {basis_to_ports(k.order), basis_to_modes(k.order)},
                                 k.new_ports, other),
                            to_modes_by_impedance(matrix_of(se, n), k.old_ports, other, k.order)),
                1e-12L)
                << k.name;
        }
    }
}

TEST(MixedMode, ModesRenormalisedAtTheirOwnReferencesAreTheRouteThroughThePorts) {
    // With both lines of every pair at one reference, the per-port factors are equal on the
    // pair and commute with the change of basis.
    std::mt19937_64 random(3);
    for (const Case& k : cases) {
        std::vector<double> from = k.new_ports;
        for (double& z : from) z = z * 2 + 10;
        const std::size_t n = from.size();
        const std::vector<Complex> mm = passive(n, random);
        const std::vector<long double> old_modes = references_of_modes(k.order, from);
        const std::vector<long double> new_modes = references_of_modes(k.order, k.new_ports);
        const std::vector<Complex> through_ports =
            tool(mm, {basis_to_ports(k.order), basis_to_modes(k.order)}, from, k.new_ports);
        const std::vector<Complex> as_modes = tool(mm, {}, {old_modes.begin(), old_modes.end()},
                                                   {new_modes.begin(), new_modes.end()});
        EXPECT_LT(worst_error(through_ports, matrix_of(as_modes, n)), 1e-15L) << k.name;
    }
}

TEST(MixedMode, ToModesAndBackGivesTheSameDoubles) {
    std::mt19937_64 random(7);
    for (const Case& k : cases) {
        const std::size_t n = k.order.size();
        const std::vector<Complex> se = passive(n, random);
        std::vector<WideComplex> wide, mm(n * n), back(n * n), scratch;
        for (const Complex& x : se) wide.push_back(widen(x));
        change_basis(basis_to_modes(k.order), wide.data(), mm.data(), scratch);
        change_basis(basis_to_ports(k.order), mm.data(), back.data(), scratch);
        for (std::size_t e = 0; e < se.size(); ++e) {
            EXPECT_EQ(narrow(back[e]).re, se[e].re) << k.name << " element " << e;
            EXPECT_EQ(narrow(back[e]).im, se[e].im) << k.name << " element " << e;
        }
    }
}

TEST(MixedMode, ElementsOfTwoPairModesAreExactHalves) {
    // Pair 1,2 and port 3 single-ended; S_ij = 10 i + j, i j (exact in every type).
    const ModeOrder order = {d(1, 2), c(1, 2), s(3)};
    std::vector<WideComplex> se, mm(9), scratch;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) se.push_back({Extended(10.0 * i + j), Extended(1.0 * i * j)});
    change_basis(basis_to_modes(order), se.data(), mm.data(), scratch);
    const auto at = [&](int i, int j) { return narrow(mm[(i - 1) * 3 + (j - 1)]); };
    // SDD11 = (S11 - S12 - S21 + S22)/2, SCD11 = (S11 - S12 + S21 - S22)/2: the lines' sums.
    EXPECT_EQ(at(1, 1).re, (11.0 - 12.0 - 21.0 + 22.0) / 2);
    EXPECT_EQ(at(1, 1).im, (1.0 - 2.0 - 2.0 + 4.0) / 2);
    EXPECT_EQ(at(2, 1).re, (11.0 - 12.0 + 21.0 - 22.0) / 2);
    EXPECT_EQ(at(2, 2).im, (1.0 + 2.0 + 2.0 + 4.0) / 2);
    // The single-ended port's own element is copied; a pair's with it is (S13 - S23)/sqrt 2.
    EXPECT_EQ(at(3, 3).re, 33.0);
    EXPECT_NEAR(at(1, 3).re, (13.0 - 23.0) / std::sqrt(2.0), 1e-14);
    EXPECT_NEAR(at(3, 2).im, (3.0 + 6.0) / std::sqrt(2.0), 1e-14);
}

}  // namespace
}  // namespace tavrin
