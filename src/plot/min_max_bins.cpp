#include "plot/min_max_bins.hpp"

#include <cmath>
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
      capacity_(power_of_two_at_most(capacity)),
      first_(keys_.size()),
      last_(keys_.size()),
      seen_(keys_.size(), 0) {}

void MinMaxBins::open_bin() {
    if (used_ == capacity_) merge_pairs();
    ++used_;
    in_last_ = 0;
    // Grown bin by bin, so that a short file takes little; never past capacity.
    cells_.resize(used_ * keys_.size());
    for (std::size_t c = 0; c < keys_.size(); ++c) cells_[(used_ - 1) * keys_.size() + c] = Cell{};
}

void MinMaxBins::add(double frequency, const Complex* values) {
    if (used_ == 0 || in_last_ == width_) open_bin();
    Cell* const bin = &cells_[(used_ - 1) * keys_.size()];
    const bool frequency_usable = std::isfinite(frequency);
    for (std::size_t c = 0; c < keys_.size(); ++c) {
        const Complex& value = values[c];
        const double key =
            keys_[c] == SampleKey::magnitude ? value.re * value.re + value.im * value.im : value.re;
        // The key is finite only where re and im are (and |value| squared did not overflow).
        if (!frequency_usable || !std::isfinite(key) || !std::isfinite(value.im)) {
            ++left_out_;
            continue;
        }
        const Sample sample{key, frequency, value};
        if (seen_[c] == 0) {
            first_[c] = sample;
            seen_[c] = 1;
        }
        last_[c] = sample;
        Cell& cell = bin[c];
        if (!cell.filled) {
            cell.low = sample;
            cell.high = sample;
            cell.low_first = true;
            cell.filled = true;
        } else if (key < cell.low.key) {
            cell.low = sample;
            cell.low_first = false;  // the high came before it
        } else if (key > cell.high.key) {
            cell.high = sample;
            cell.low_first = true;
        }
    }
    ++in_last_;
    ++samples_;
}

MinMaxBins::Cell MinMaxBins::merged(const Cell& earlier, const Cell& later) {
    if (!earlier.filled) return later;
    if (!later.filled) return earlier;
    // On equal keys the earlier sample stays, as within a bin.
    const bool low_later = later.low.key < earlier.low.key;
    const bool high_later = later.high.key > earlier.high.key;
    Cell cell;
    cell.filled = true;
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
        if (!cell.filled) continue;
        take(cell.low_first ? cell.low : cell.high);
        take(cell.low_first ? cell.high : cell.low);
    }
    take(last_[channel]);
    return points;
}

}  // namespace tavrin
