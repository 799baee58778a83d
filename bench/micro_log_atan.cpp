// ln and atan2: the x87 instructions against the software versions, on long double and on
// SoftExtended, over arguments like those of converted S-parameters.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "network/extended_log_atan.hpp"
#include "network/extended_math.hpp"
#include "network/soft_extended.hpp"

namespace {

using tavrin::SoftExtended;

// Magnitudes 2^-40 .. 2^40 (both signs when asked), fixed seed.
template <class Wide>
std::vector<Wide> operands(std::uint64_t seed, bool signed_values) {
    std::vector<Wide> values;
    for (int i = 0; i < 1024; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const double x = std::ldexp(1.0 + static_cast<double>(seed >> 12) * 0x1p-52,
                                    static_cast<int>(seed % 81) - 40);
        values.push_back(Wide(signed_values && (seed >> 11) % 2 ? -x : x));
    }
    return values;
}

template <class Wide, class Function>
void unary(benchmark::State& state, Function function) {
    const auto a = operands<Wide>(1, false);
    std::vector<Wide> out(a.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < a.size(); ++i) out[i] = function(a[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(a.size()));
}

template <class Wide, class Function>
void binary(benchmark::State& state, Function function) {
    const auto a = operands<Wide>(2, true), b = operands<Wide>(3, true);
    std::vector<Wide> out(a.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < a.size(); ++i) out[i] = function(a[i], b[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(a.size()));
}

void ln_x87(benchmark::State& state) {
    unary<long double>(state, [](long double x) { return tavrin::natural_log(x); });
}
void ln_software(benchmark::State& state) {
    unary<long double>(state, [](long double x) { return tavrin::software_natural_log(x); });
}
void ln_soft_extended(benchmark::State& state) {
    unary<SoftExtended>(state, [](SoftExtended x) { return tavrin::software_natural_log(x); });
}
void atan2_x87(benchmark::State& state) {
    binary<long double>(state,
                        [](long double y, long double x) { return tavrin::arc_tangent(y, x); });
}
void atan2_software(benchmark::State& state) {
    binary<long double>(
        state, [](long double y, long double x) { return tavrin::software_arc_tangent(y, x); });
}
void atan2_soft_extended(benchmark::State& state) {
    binary<SoftExtended>(
        state, [](SoftExtended y, SoftExtended x) { return tavrin::software_arc_tangent(y, x); });
}

BENCHMARK(ln_x87);
BENCHMARK(ln_software);
BENCHMARK(ln_soft_extended);
BENCHMARK(atan2_x87);
BENCHMARK(atan2_software);
BENCHMARK(atan2_soft_extended);

}  // namespace
