// The streaming reduction of a picture's traces: whatever the count, each stretch of samples
// a bin spans keeps its true smallest and largest value, in file order, within the bound.
#include "plot/min_max_bins.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tavrin {
namespace {

// A wavy sequence with a one-sample spike and dip, so that the extremes of most stretches are
// interior samples and the spike is the largest of all.
std::vector<double> sequence(std::size_t count, std::size_t spike, std::size_t dip) {
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i) values[i] = 1.0 + 0.3 * std::sin(0.37 * i * i);
    if (spike < count) values[spike] = 9.0;
    if (dip < count) values[dip] = 0.001;
    return values;
}

bool has_frequency(const std::vector<Sample>& points, double frequency) {
    return std::any_of(points.begin(), points.end(),
                       [&](const Sample& s) { return s.frequency == frequency; });
}

TEST(MinMaxBins, EveryStretchKeepsItsExtremesInOrderWithinTheBound) {
    struct Case {
        std::size_t count, capacity, spike, dip;
    };
    // Counts below, at and just past a merge, many merges, and extremes at the very ends.
    const std::vector<Case> cases = {
        {1, 8, 0, 5},       {7, 8, 3, 6},         {8, 8, 7, 0},
        {9, 8, 8, 4},       {17, 8, 16, 1},       {100, 8, 50, 99},
        {1000, 16, 0, 999}, {4097, 64, 2048, 13}, {100000, 1024, 77777, 3}};
    for (const Case& c : cases) {
        const std::vector<double> values = sequence(c.count, c.spike, c.dip);
        MinMaxBins bins({SampleKey::real_part}, c.capacity);
        for (std::size_t i = 0; i < c.count; ++i) {
            const Complex value{values[i], 0.0};
            bins.add(static_cast<double>(i), &value);
        }
        const std::vector<Sample> points = bins.points(0);
        SCOPED_TRACE(::testing::Message() << c.count << " samples, capacity " << c.capacity);
        EXPECT_LE(points.size(), 2 * c.capacity + 2);
        ASSERT_FALSE(points.empty());
        EXPECT_EQ(points.front().frequency, 0.0);
        EXPECT_EQ(points.back().frequency, static_cast<double>(c.count - 1));
        for (std::size_t k = 1; k < points.size(); ++k) {
            EXPECT_GT(points[k].frequency, points[k - 1].frequency);
        }
        for (const Sample& point : points) {
            EXPECT_EQ(point.value.re, values[static_cast<std::size_t>(point.frequency)]);
        }
        // Each stretch of bin_width samples, counted from the first, keeps its extremes.
        const std::size_t width = bins.bin_width();
        const auto at = [&](std::size_t i) {
            return values.begin() + static_cast<std::ptrdiff_t>(i);
        };
        const auto index = [&](auto it) { return static_cast<double>(it - values.begin()); };
        for (std::size_t start = 0; start < c.count; start += width) {
            const auto end = at(std::min(start + width, c.count));
            EXPECT_TRUE(has_frequency(points, index(std::min_element(at(start), end))));
            EXPECT_TRUE(has_frequency(points, index(std::max_element(at(start), end))));
        }
        EXPECT_TRUE(c.spike >= c.count || has_frequency(points, static_cast<double>(c.spike)));
        EXPECT_TRUE(c.dip >= c.count || has_frequency(points, static_cast<double>(c.dip)));
    }
}

TEST(MinMaxBins, MagnitudeRanksByTheAbsoluteValue) {
    // -0.9 + 0j is the largest of these by magnitude, 0.1j the smallest.
    MinMaxBins bins({SampleKey::magnitude}, 2);
    const Complex values[] = {{0.5, 0.0}, {-0.9, 0.0}, {0.0, 0.1}, {0.3, 0.3}};
    for (int i = 0; i < 4; ++i) bins.add(i, &values[i]);
    bins.add(4, &values[3]);  // a fifth sample: the two bins of two merge
    // By real part the extremes would be samples 1 and 0 instead.
    const std::vector<Sample> points = bins.points(0);
    EXPECT_TRUE(has_frequency(points, 1.0));
    EXPECT_TRUE(has_frequency(points, 2.0));
    EXPECT_FALSE(has_frequency(points, 3.0));
}

TEST(MinMaxBins, ValuesThatAreNotFiniteAreLeftOutAndCounted) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    MinMaxBins bins({SampleKey::magnitude, SampleKey::real_part}, 4);
    const std::vector<std::vector<Complex>> records = {
        {{0.5, 0.0}, {nan, 0.0}},
        {{1e200, 0.0}, {inf, 0.0}},  // |value| squared overflows: no key to draw by
        {{0.2, nan}, {3.0, 0.0}},
        {{0.4, 0.0}, {-inf, 0.0}},
    };
    for (std::size_t i = 0; i < records.size(); ++i) {
        bins.add(static_cast<double>(i), records[i].data());
    }
    const Complex value[2] = {{0.1, 0.1}, {2.0, 0.0}};
    bins.add(nan, value);  // a frequency that is not a number takes every channel with it
    EXPECT_EQ(bins.left_out(), 7u);
    EXPECT_EQ(bins.samples(), 5u);
    std::vector<double> kept;
    for (const Sample& s : bins.points(0)) kept.push_back(s.frequency);
    EXPECT_EQ(kept, (std::vector<double>{0.0, 3.0}));
    ASSERT_EQ(bins.points(1).size(), 1u);
    EXPECT_EQ(bins.points(1).front().value.re, 3.0);
}

}  // namespace
}  // namespace tavrin
