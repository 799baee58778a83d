// renormalise and the two data-format conversions on typical values.
#include <benchmark/benchmark.h>

#include "network/conversions.hpp"
#include "network/renormalise.hpp"

namespace {

using tavrin::Complex;
using tavrin::DataFormat;
using tavrin::TwoPort;

const TwoPort typical_ri = {{0.0823456789, -0.0945678901},
                            {-2.1234567891, 1.5678901234},
                            {0.0112345678, 0.0098765432},
                            {-0.1834567891, 0.1598765432}};

void renormalise_typical(benchmark::State& state) {
    const Complex gamma = tavrin::renormalisation_gamma(50.0, 75.0);
    TwoPort s = typical_ri;
    TwoPort result;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        tavrin::renormalise(s, gamma, result);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(renormalise_typical);

void convert_to_ri_typical(benchmark::State& state, DataFormat format) {
    const Complex input = format == DataFormat::db ? Complex{-21.2345678912, -123.456789012}
                                                   : Complex{0.0852345678, -123.456789012};
    for (auto _ : state) {
        Complex pair = input;
        benchmark::DoNotOptimize(pair);
        tavrin::convert_to_ri(pair, format);
        benchmark::DoNotOptimize(pair);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(convert_to_ri_typical, ma, DataFormat::ma);
BENCHMARK_CAPTURE(convert_to_ri_typical, db, DataFormat::db);

void convert_from_ri_typical(benchmark::State& state, DataFormat format) {
    for (auto _ : state) {
        Complex pair{-0.0471234567, -0.0712345678};
        benchmark::DoNotOptimize(pair);
        tavrin::convert_from_ri(pair, format);
        benchmark::DoNotOptimize(pair);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(convert_from_ri_typical, ma, DataFormat::ma);
BENCHMARK_CAPTURE(convert_from_ri_typical, db, DataFormat::db);

}  // namespace
