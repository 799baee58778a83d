#include "plot/min_max_bins.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tavrin {

namespace {

// Pairwise merging halves the bins in use exactly only for a power of two.
std::size_t power_of_two_at_most(std::size_t n) {
    std::size_t power = 2;
    while (power <= n / 2) power *= 2;
    return power;
}

}  // namespace

MinMaxBins::MinMaxBins(std::vector<SampleKey> keys, std::size_t capacity)
    : keys_(std::move(keys)),
      all_magnitudes_(std::all_of(keys_.begin(), keys_.end(),
                                  [](SampleKey key) { return key == SampleKey::magnitude; })),
      capacity_(power_of_two_at_most(capacity)),
      first_(keys_.size()),
      last_(keys_.size()),
      seen_(keys_.size(), 0),
      unseen_(keys_.size()),
      previous_(keys_.size()) {}

void MinMaxBins::open_bin() {
    if (used_ == capacity_) merge_pairs();
    ++used_;
    in_last_ = 0;
    // Grown bin by bin, so that a short file takes little; never past capacity.
    cells_.resize(used_ * keys_.size());
    std::fill(cells_.end() - static_cast<std::ptrdiff_t>(keys_.size()), cells_.end(), Cell{});
}

double MinMaxBins::key_of(std::size_t channel, const Complex& value) const {
    return keys_[channel] == SampleKey::magnitude ? value.re * value.re + value.im * value.im
                                                  : value.re;
}

// The key is finite only where re and im are (and |value| squared did not overflow).
bool MinMaxBins::previous_usable(std::size_t channel, Sample& sample) const {
    const Complex& value = previous_[channel];
    sample = {key_of(channel, value), previous_frequency_, value};
    return samples_ > 0 && std::isfinite(previous_frequency_) && std::isfinite(sample.key) &&
           std::isfinite(value.im);
}

void MinMaxBins::leave_out(std::size_t channel) {
    ++left_out_;
    // A run of unusable values starts here: the channel's last sample is the one before.
    Sample before;
    if (previous_usable(channel, before)) last_[channel] = before;
}

void MinMaxBins::take_firsts(double frequency, const Complex* values) {
    for (std::size_t c = 0; c < keys_.size(); ++c) {
        const double key = key_of(c, values[c]);
        if (seen_[c] != 0 || !std::isfinite(frequency) || !std::isfinite(key) ||
            !std::isfinite(values[c].im)) {
            continue;
        }
        first_[c] = {key, frequency, values[c]};
        seen_[c] = 1;
        --unseen_;
    }
}

void MinMaxBins::take(Cell& cell, double key, double frequency, const Complex& value) {
    if (key < cell.low.key) {
        cell.low = {key, frequency, value};
        cell.low_first = false;  // the high came before it
    }
    if (key > cell.high.key) {
        cell.high = {key, frequency, value};
        cell.low_first = true;
    }
}

void MinMaxBins::add(double frequency, const Complex* values) {
    if (used_ == 0 || in_last_ == width_) open_bin();
    const std::size_t channels = keys_.size();
    Cell* const bin = &cells_[(used_ - 1) * channels];
    const bool frequency_usable = std::isfinite(frequency);
    if (all_magnitudes_ && frequency_usable) {
        // The path of every S-parameter: |value| squared is at most the largest double only
        // where re and im are finite (and it did not overflow), so one test tells.
        for (std::size_t c = 0; c < channels; ++c) {
            const Complex& value = values[c];
            const double key = value.re * value.re + value.im * value.im;
            if (key <= std::numeric_limits<double>::max()) {
                take(bin[c], key, frequency, value);
            } else {
                leave_out(c);
            }
        }
    } else {
        for (std::size_t c = 0; c < channels; ++c) {
            const Complex& value = values[c];
            const double key = key_of(c, value);
            if (frequency_usable && std::isfinite(key) && std::isfinite(value.im)) {
                take(bin[c], key, frequency, value);
            } else {
                leave_out(c);
            }
        }
    }
    if (unseen_ > 0) take_firsts(frequency, values);
    std::copy(values, values + channels, previous_.begin());
    previous_frequency_ = frequency;
    ++in_last_;
    ++samples_;
}

MinMaxBins::Cell MinMaxBins::merged(const Cell& earlier, const Cell& later) {
    if (!earlier.filled()) return later;
    if (!later.filled()) return earlier;
    // On equal keys the earlier sample stays, as within a bin.
    const bool low_later = later.low.key < earlier.low.key;
    const bool high_later = later.high.key > earlier.high.key;
    Cell cell;
    cell.low = low_later ? later.low : earlier.low;
    cell.high = high_later ? later.high : earlier.high;
    if (low_later == high_later) {
        cell.low_first = (low_later ? later : earlier).low_first;
    } else {
        cell.low_first = high_later;  // the low from the earlier bin comes first
    }
    return cell;
}

void MinMaxBins::merge_pairs() {
    const std::size_t channels = keys_.size();
    for (std::size_t b = 0; b < used_ / 2; ++b) {
        for (std::size_t c = 0; c < channels; ++c) {
            cells_[b * channels + c] =
                merged(cells_[2 * b * channels + c], cells_[(2 * b + 1) * channels + c]);
        }
    }
    used_ /= 2;
    width_ *= 2;
}

std::vector<Sample> MinMaxBins::points(std::size_t channel) const {
    std::vector<Sample> points;
    if (channel >= keys_.size() || seen_[channel] == 0) return points;
    // Frequencies rise, so a sample already taken shows by its frequency.
    const auto take = [&points](const Sample& sample) {
        if (points.empty() || sample.frequency > points.back().frequency) points.push_back(sample);
    };
    take(first_[channel]);
    for (std::size_t b = 0; b < used_; ++b) {
        const Cell& cell = cells_[b * keys_.size() + channel];
        if (!cell.filled()) continue;
        take(cell.low_first ? cell.low : cell.high);
        take(cell.low_first ? cell.high : cell.low);
    }
    Sample latest;
    take(previous_usable(channel, latest) ? latest : last_[channel]);
    return points;
}

}  // namespace tavrin
