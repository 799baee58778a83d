// SoftExtended against long double: each operation alone, and the two-port renormalisation's
// thirty complex operations written over either type. On x86 the long double lines are the x87
// unit, the speed SoftExtended stands in for on machines without one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "network/renormalise.hpp"
#include "network/soft_extended.hpp"

namespace {

using tavrin::Complex;
using tavrin::SoftExtended;
using tavrin::TwoPort;

// Operands in [0.5, 2) with both signs, fixed seed: no special values on the fast path.
template <class Wide>
std::vector<Wide> operands(std::uint64_t seed) {
    std::vector<Wide> values;
    for (int i = 0; i < 1024; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const double x = 0.5 + static_cast<double>(seed >> 11) * 0x1p-52;
        values.push_back(Wide(i % 2 ? -x : x));
    }
    return values;
}

template <class Wide, class Operation>
void binary(benchmark::State& state, Operation operation) {
    const auto a = operands<Wide>(1), b = operands<Wide>(2);
    std::vector<Wide> out(a.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < a.size(); ++i) out[i] = operation(a[i], b[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(a.size()));
}

const auto add = [](auto x, auto y) { return x + y; };
const auto multiply = [](auto x, auto y) { return x * y; };
const auto divide = [](auto x, auto y) { return x / y; };
const auto root = [](auto x, auto) { return sqrt(fabs(x)); };
const auto root_hardware = [](long double x, long double) { return std::sqrt(std::fabs(x)); };

template <class Operation>
void x87(benchmark::State& state, Operation operation) {
    binary<long double>(state, operation);
}
template <class Operation>
void soft(benchmark::State& state, Operation operation) {
    binary<SoftExtended>(state, operation);
}

BENCHMARK_CAPTURE(x87, add, add);
BENCHMARK_CAPTURE(soft, add, add);
BENCHMARK_CAPTURE(x87, multiply, multiply);
BENCHMARK_CAPTURE(soft, multiply, multiply);
BENCHMARK_CAPTURE(x87, divide, divide);
BENCHMARK_CAPTURE(soft, divide, divide);
BENCHMARK_CAPTURE(x87, sqrt, root_hardware);
BENCHMARK_CAPTURE(soft, sqrt, root);

// The complex operations of network/complex.hpp over Wide: widened, combined, rounded once
// when stored.
template <class Wide>
struct Ops {
    static void add(Complex& a, const Complex& b) {
        a.re = static_cast<double>(Wide(a.re) + Wide(b.re));
        a.im = static_cast<double>(Wide(a.im) + Wide(b.im));
    }
    static void subtract(Complex& a, const Complex& b) {
        a.re = static_cast<double>(Wide(a.re) - Wide(b.re));
        a.im = static_cast<double>(Wide(a.im) - Wide(b.im));
    }
    static void multiply(Complex& d, const Complex& a, const Complex& b) {
        const Wide are(a.re), aim(a.im), bre(b.re), bim(b.im);
        d.re = static_cast<double>((are * bre) - (aim * bim));
        d.im = static_cast<double>((are * bim) + (aim * bre));
    }
    static void divide(Complex& d, const Complex& a, const Complex& b) {
        const Wide are(a.re), aim(a.im), bre(b.re), bim(b.im);
        const Wide den = (bre * bre) + (bim * bim);
        d.re = static_cast<double>(((are * bre) + (aim * bim)) / den);
        d.im = static_cast<double>(((aim * bre) - (are * bim)) / den);
    }
};

// network/renormalise.cpp's sequence, step for step.
template <class Wide>
void renormalise_with(const TwoPort& s, const Complex& gamma, TwoPort& result) {
    using O = Ops<Wide>;
    const Complex one{1.0, 0.0};
    Complex e11 = s.s11, e22 = s.s22;
    const Complex s21 = s.s21, s12 = s.s12;
    Complex m11, m12, m21, m22;
    O::multiply(m11, s.s11, gamma);
    O::multiply(m12, s.s12, gamma);
    O::multiply(m21, s.s21, gamma);
    O::multiply(m22, s.s22, gamma);
    O::add(m11, one);
    O::add(m22, one);
    O::add(e11, gamma);
    O::add(e22, gamma);
    Complex t, u, r;
    O::multiply(t, m11, m22);
    O::multiply(u, m12, m21);
    O::subtract(t, u);
    O::divide(r, one, t);
    Complex n11, n12, n21, n22;
    O::multiply(n11, m22, r);
    O::multiply(n12, m12, r);
    O::multiply(n21, m21, r);
    O::multiply(n22, m11, r);
    n12 = {-n12.re, -n12.im};
    n21 = {-n21.re, -n21.im};
    Complex w;
    O::multiply(w, e11, n11);
    O::multiply(result.s11, s12, n21);
    O::add(result.s11, w);
    O::multiply(w, e11, n12);
    O::multiply(result.s12, s12, n22);
    O::add(result.s12, w);
    O::multiply(w, s21, n11);
    O::multiply(result.s21, e22, n21);
    O::add(result.s21, w);
    O::multiply(w, s21, n12);
    O::multiply(result.s22, e22, n22);
    O::add(result.s22, w);
}

template <class Wide>
void renormalise(benchmark::State& state) {
    const Complex gamma = tavrin::renormalisation_gamma(50.0, 75.0);
    TwoPort s = {{0.0823456789, -0.0945678901},
                 {-2.1234567891, 1.5678901234},
                 {0.0112345678, 0.0098765432},
                 {-0.1834567891, 0.1598765432}};
    TwoPort result;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        renormalise_with<Wide>(s, gamma, result);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_TEMPLATE(renormalise, long double);
BENCHMARK_TEMPLATE(renormalise, SoftExtended);

}  // namespace
