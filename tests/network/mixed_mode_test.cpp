// Changes of basis between ports and modes in Extended: there and back gives the same doubles,
// modes renormalised at their own references are the route through the ports, and two pair
// modes make an element an exact half. Their values against the mode voltages and currents
// through the impedance matrix: tests/reference/check_mixed_mode.py.
#include "network/mixed_mode.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace tavrin {
namespace {

Mode d(std::size_t p, std::size_t n) { return {ModeKind::differential, p - 1, n - 1}; }
Mode c(std::size_t p, std::size_t n) { return {ModeKind::common, p - 1, n - 1}; }
Mode s(std::size_t p) { return {ModeKind::single_ended, p - 1, 0}; }

const std::vector<ModeOrder> orders = {
    {d(1, 3), d(2, 4), c(1, 3), c(2, 4)},
    {d(2, 1), c(2, 1)},
    {d(2, 3), d(6, 5), c(2, 3), c(6, 5), s(4), s(1)},
    {c(1, 2), s(5), d(1, 2), d(8, 3), s(6), c(3, 8), d(4, 7), c(7, 4)},
};

std::vector<Complex> drawn(std::size_t n, std::mt19937_64& random) {
    std::uniform_real_distribution<double> part(-0.3, 0.3);
    std::vector<Complex> m(n * n);
    for (Complex& x : m) x = {part(random), part(random)};
    return m;
}

std::vector<Complex> converted(const std::vector<Complex>& m, const ModeChange& change,
                               const std::vector<double>& z, const std::vector<double>& n) {
    std::vector<Complex> old;
    for (const double x : z) old.push_back({x, 0.0});
    NPortRenormalisation renormalisation;
    prepare_nport_renormalisation(old, WaveDefinition::traveling, n, renormalisation);
    ModeWorkspace workspace;
    std::vector<Complex> result(m.size());
    EXPECT_TRUE(
        renormalise_with_modes(m.data(), change, renormalisation, workspace, result.data()));
    return result;
}

TEST(MixedMode, ToTheModesAndBackGivesTheSameDoubles) {
    std::mt19937_64 random(7);
    for (const ModeOrder& order : orders) {
        const std::vector<Complex> se = drawn(order.size(), random);
        std::vector<WideComplex> wide, mm(se.size()), back(se.size()), scratch;
        for (const Complex& x : se) wide.push_back(widen(x));
        change_basis(basis_to_modes(order), wide.data(), mm.data(), scratch);
        change_basis(basis_to_ports(order), mm.data(), back.data(), scratch);
        for (std::size_t e = 0; e < se.size(); ++e) {
            EXPECT_EQ(narrow(back[e]).re, se[e].re) << order.size() << " ports, element " << e;
            EXPECT_EQ(narrow(back[e]).im, se[e].im) << order.size() << " ports, element " << e;
        }
    }
}

TEST(MixedMode, ModesAtTheirOwnReferencesAreTheRouteThroughThePorts) {
    // Both lines of a pair at one reference: the per-port factors are equal on the pair and
    // commute with the change of basis, so the modes renormalise as ports of 2 R and R / 2.
    std::mt19937_64 random(3);
    for (const ModeOrder& order : orders) {
        const std::size_t n = order.size();
        std::vector<double> from(n), to(n);
        for (std::size_t k = 0; k < n; ++k) from[k] = 20.0 + 10.0 * k, to[k] = 90.0 - 7.0 * k;
        for (const Mode& m : order) {
            if (m.kind != ModeKind::single_ended) from[m.negative] = from[m.positive];
            if (m.kind != ModeKind::single_ended) to[m.negative] = to[m.positive];
        }
        std::vector<double> from_modes, to_modes;
        for (const Mode& m : order) {
            const double scale = m.kind == ModeKind::differential ? 2.0
                                 : m.kind == ModeKind::common     ? 0.5
                                                                  : 1.0;
            from_modes.push_back(scale * from[m.positive]);
            to_modes.push_back(scale * to[m.positive]);
        }
        const std::vector<Complex> mm = drawn(n, random);
        const std::vector<Complex> via_ports =
            converted(mm, {basis_to_ports(order), basis_to_modes(order)}, from, to);
        const std::vector<Complex> as_ports = converted(mm, {}, from_modes, to_modes);
        for (std::size_t e = 0; e < mm.size(); ++e) {
            EXPECT_NEAR(via_ports[e].re, as_ports[e].re, 1e-15) << n << " ports, element " << e;
            EXPECT_NEAR(via_ports[e].im, as_ports[e].im, 1e-15) << n << " ports, element " << e;
        }
    }
}

TEST(MixedMode, TwoPairModesMakeAnExactHalf) {
    // Pair 1,2 and port 3; S_ij = (10 i + j, i^2 j): SDD11 = (S11 - S12 - S21 + S22)/2 and
    // SCD11 = (S11 - S12 + S21 - S22)/2 exactly, in Extended; S33 copied; the pair's element
    // with port 3 is (S13 - S23)/sqrt 2.
    std::vector<WideComplex> se, mm(9), scratch;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) se.push_back({Extended(10.0 * i + j), Extended(i * i * j)});
    change_basis(basis_to_modes({d(1, 2), c(1, 2), s(3)}), se.data(), mm.data(), scratch);
    EXPECT_TRUE(mm[0].im == Extended((1.0 - 2.0 - 4.0 + 8.0) / 2));
    EXPECT_TRUE(mm[3].im == Extended((1.0 - 2.0 + 4.0 - 8.0) / 2));
    EXPECT_TRUE(mm[8].re == Extended(33.0));
    EXPECT_NEAR(narrow(mm[2]).re, -10.0 / std::sqrt(2.0), 1e-15);
}

}  // namespace
}  // namespace tavrin
