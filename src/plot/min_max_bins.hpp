// A stream of samples reduced, while it streams, to a bounded number per channel: runs of
// consecutive samples (bins) each keep their smallest and their largest by a key, in the order
// they came, so that a peak one sample wide survives however many samples there are. The count
// need not be known ahead: when every bin is in use, neighbours merge pairwise and each bin
// from then on spans twice as many samples. Memory is fixed by channels x capacity.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "network/complex.hpp"

namespace tavrin {

// One kept sample of a channel.
struct Sample {
    double key = 0.0;        // what the extremes are found by
    double frequency = 0.0;  // where it stands; frequencies rise from sample to sample
    Complex value;
};

// How a channel's key follows from its value.
enum class SampleKey {
    magnitude,  // |value| squared, which orders as |value| and its dB do
    real_part,  // the value's real part, for a real quantity
};

class MinMaxBins {
  public:
    // One key kind per channel; capacity, the most bins, a power of two of at least 2.
    MinMaxBins(std::vector<SampleKey> keys, std::size_t capacity);

    // The next sample of every channel, values[c] for channel c. A value (or a frequency)
    // that is not a finite number, or whose key is not, is left out and counted.
    void add(double frequency, const Complex* values);

    // A channel's kept samples in the order they came: its first, each bin's lowest and
    // highest, its last; a sample once only. At most 2 x capacity + 2.
    std::vector<Sample> points(std::size_t channel) const;

    std::size_t channels() const { return keys_.size(); }
    unsigned long long samples() const { return samples_; }
    // Values left out for not being finite numbers, over all channels.
    unsigned long long left_out() const { return left_out_; }
    // Samples each bin spans now (the last may hold fewer).
    unsigned long long bin_width() const { return width_; }

  private:
    // A bin of one channel. Empty, its low key is +inf and its high key -inf, so that the
    // first sample is lower and higher than what it holds with no test of its own.
    struct Cell {
        Sample low{std::numeric_limits<double>::infinity(), 0.0, {}};
        Sample high{-std::numeric_limits<double>::infinity(), 0.0, {}};
        bool low_first = true;
        bool filled() const { return low.key <= high.key; }
    };

    void open_bin();
    void merge_pairs();
    static Cell merged(const Cell& earlier, const Cell& later);
    double key_of(std::size_t channel, const Complex& value) const;
    // The sample a channel had in the previous add, where it was usable.
    bool previous_usable(std::size_t channel, Sample& sample) const;
    void leave_out(std::size_t channel);
    void take_firsts(double frequency, const Complex* values);
    void take(Cell& cell, double key, double frequency, const Complex& value);

    std::vector<SampleKey> keys_;
    bool all_magnitudes_ = false;
    std::size_t capacity_;
    std::vector<Cell> cells_;  // bin b, channel c at [b * channels + c]
    // A channel's first usable sample, and its last where the latest is not usable: kept off
    // the path of every sample, which only copies the values for the next one to look back.
    std::vector<Sample> first_;
    std::vector<Sample> last_;
    std::vector<char> seen_;
    std::size_t unseen_ = 0;  // channels without a first sample yet
    std::vector<Complex> previous_;
    double previous_frequency_ = 0.0;
    std::size_t used_ = 0;            // bins in use; the last one is filling
    unsigned long long width_ = 1;    // samples per bin
    unsigned long long in_last_ = 0;  // samples in the last bin
    unsigned long long samples_ = 0;
    unsigned long long left_out_ = 0;
};

}  // namespace tavrin
