// parse_number on the tokens of typical data lines.
#include <benchmark/benchmark.h>

#include "micro_values.hpp"
#include "text/number_text.hpp"

namespace {

void parse_number_typical(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavrin::parse_number(tavrin::bench::typical_tokens[i]));
        i = (i + 1) % tavrin::bench::typical_tokens.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(parse_number_typical);

void parse_number_exponent_letter_d(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tavrin::parse_number("1.23456789D-05"));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(parse_number_exponent_letter_d);

}  // namespace
