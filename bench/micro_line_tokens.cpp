// clean_line and pop_number on a typical single-file data line.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "touchstone/line_tokens.hpp"

namespace {

constexpr std::string_view typical_line =
    "12.5625 0.123456789 -0.912345678901 2.87654321098 -1.2345678912 0.0152345678901 "
    "0.00812345678 -0.2234567891 0.1123456789";

void clean_line_typical(benchmark::State& state) {
    std::string line;
    for (auto _ : state) {
        line.assign(typical_line);  // capacity is kept, as for the reader's line buffer
        tavrin::clean_line(line);
        benchmark::DoNotOptimize(line.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(typical_line.size()));
}
BENCHMARK(clean_line_typical);

void clean_line_tabs_commas_comment(benchmark::State& state) {
    const std::string_view raw = "\t12,5625\t0,123456789\t-0,912345678901\t2,87654321098 ! marker  ";
    std::string line;
    for (auto _ : state) {
        line.assign(raw);
        tavrin::clean_line(line);
        benchmark::DoNotOptimize(line.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(clean_line_tabs_commas_comment);

// The nine numbers of a line, one pop each: the per-record cost of taking a line apart.
void pop_number_whole_line(benchmark::State& state) {
    for (auto _ : state) {
        std::string_view rest = typical_line;
        double sum = 0.0;
        for (int i = 0; i < 9; ++i) sum += tavrin::pop_number(rest);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 9);
}
BENCHMARK(pop_number_whole_line);

}  // namespace
