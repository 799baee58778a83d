// The picture formatter on typical values: the decimal mantissa alone, one number, one line.
#include <benchmark/benchmark.h>

#include "micro_values.hpp"
#include "support/file_slots.hpp"
#include "text/picture.hpp"
#include "touchstone/output_record.hpp"

namespace {

using tavrin::bench::typical_values;

void decimal_mantissa_typical(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavrin::decimal_mantissa(typical_values[i]));
        i = (i + 1) % typical_values.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(decimal_mantissa_typical);

void decimal_mantissa_subnormal(benchmark::State& state) {
    double x = 4.9406564584124654e-324;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(tavrin::decimal_mantissa(x));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(decimal_mantissa_subnormal);

// One number through the RI picture as a data line writes it, to an output slot on /dev/null.
void picture_number_typical(benchmark::State& state) {
    tavrin::OutputSlot out;
    if (!out.open("/dev/null")) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    tavrin::PictureState pictures;
    std::size_t i = 0;
    for (auto _ : state) {
        pictures.start_picture(tavrin::format_descriptor(tavrin::DataFormat::ri).picture,
                               tavrin::PictureMarks::data_line);
        pictures.write_picture_number(out, typical_values[i], tavrin::item_last);
        pictures.end_picture(out);
        i = (i + 1) % typical_values.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(picture_number_typical);

// Real/imaginary parts for the RI picture; magnitudes and angles, or dB values and angles, for
// the pair picture, as renormalised files hold them. The dB values are all too wide for their
// column: return loss and isolation of -10 dB or less, and a gain of 10 dB.
void data_record(benchmark::State& state, tavrin::DataFormat format) {
    tavrin::OutputSlot out;
    if (!out.open("/dev/null")) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    tavrin::PictureState pictures;
    const tavrin::TwoPort ri = {{-0.0942192281, 0.0690552573},
                                {3.1301515968, 0.4791775731},
                                {0.0146074921, -0.0024063304},
                                {-0.1619448051, -0.2400232689}};
    const tavrin::TwoPort pairs = {{0.1164930187, 143.761525842},
                                   {3.1666175245, 8.703524706},
                                   {0.0148043671, -9.354469787},
                                   {0.2895832513, -124.007720987}};
    const tavrin::TwoPort decibels = {{-18.675063911, 143.761525842},
                                      {10.012461723, 8.703524706},
                                      {-36.592006624, -9.354469787},
                                      {-10.764013507, -124.007720987}};
    const tavrin::TwoPort& values = format == tavrin::DataFormat::ri   ? ri
                                    : format == tavrin::DataFormat::db ? decibels
                                                                       : pairs;
    for (auto _ : state) {
        tavrin::write_data_record(out, pictures, "12.5625", tavrin::format_descriptor(format), values);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(data_record, ri, tavrin::DataFormat::ri);
BENCHMARK_CAPTURE(data_record, ma, tavrin::DataFormat::ma);
BENCHMARK_CAPTURE(data_record, db, tavrin::DataFormat::db);

}  // namespace
