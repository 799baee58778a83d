// The axes of a picture: round steps, ticks on their multiples, labels as a reader reads
// them, and a dB range that shows what matters.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "plot/axis.hpp"

namespace tavrin {
namespace {

TEST(Axis, StepsAreOneTwoOrFiveTimesAPowerOfTen) {
    struct Case {
        double span;
        int intervals;
        double step;
    };
    const std::vector<Case> cases = {{1.0, 6, 0.2},  {6.02, 6, 2.0}, {6.0, 6, 1.0},
                                     {7.0, 6, 2.0},  {30.0, 6, 5.0}, {59.0, 6, 10.0},
                                     {5.9, 6, 1.0},  {0.0835, 6, 0.02}, {6e9, 6, 1e9},
                                     {0.0, 6, 1.0}};
    for (const Case& c : cases) {
        EXPECT_NEAR(round_step(c.span, c.intervals), c.step, c.step * 1e-12) << c.span;
    }
}

TEST(Axis, TicksAreTheStepsMultiplesBetweenTheEnds) {
    EXPECT_EQ(ticks({-8.0, 0.0, 2.0}), (std::vector<double>{-8.0, -6.0, -4.0, -2.0, 0.0}));
    // A sweep from 0.5 to 6 with a step of 1: the ends are no ticks.
    EXPECT_EQ(ticks({0.5, 6.0, 1.0}), (std::vector<double>{1.0, 2.0, 3.0, 4.0, 5.0, 6.0}));
    const std::vector<double> tenths = ticks({-0.3, 0.3, 0.1});
    ASSERT_EQ(tenths.size(), 7u);
    EXPECT_EQ(tenths[3], 0.0);
    EXPECT_FALSE(std::signbit(tenths[3]));
}

TEST(Axis, LabelsReadAsTheStepNeeds) {
    struct Case {
        double value, step;
        const char* label;
    };
    const std::vector<Case> cases = {
        {-6.0, 2.0, "-6"},       {0.30000000000000004, 0.1, "0.3"}, {-1e-17, 0.1, "0.0"},
        {2.42, 0.02, "2.42"},    {2.5e9, 5e8, "2.5e9"},             {2e9, 1e9, "2e9"},
        {2.42e9, 2e7, "2.42e9"}, {5e-4, 1e-4, "5e-4"},              {1000.0, 500.0, "1000"},
    };
    for (const Case& c : cases) EXPECT_EQ(tick_label(c.value, c.step), c.label) << c.value;
    EXPECT_EQ(value_label(2400000000.0), "2400000000");
    EXPECT_EQ(value_label(10.5), "10.5");
}

TEST(Axis, DecibelsShowWhatMattersAndDrawTheDeepestOnTheFloor) {
    struct Case {
        const char* name;
        std::vector<double> values;
        Axis axis;
    };
    std::vector<double> with_nulls(1000, -10.0);
    with_nulls[100] = with_nulls[101] = with_nulls[102] = -300.0;  // three records of a null
    std::vector<double> stopband(1000, -2.0);
    for (std::size_t i = 500; i < 1000; ++i) stopband[i] = -75.0;  // half the band: it matters
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        // A short circuit at 0 dB and a flat -6.02 dB: the -6 dB gridline is on the axis.
        {"short and -6.02", {0.0, -6.02, -6.02}, {-8.0, 0.0, 2.0}},
        {"flat -6.02", {-6.02, -6.02}, {-7.2, -6.0, 0.2}},
        // No lower than 10 dB under the lowest percent, so the nulls are drawn on the floor.
        {"narrow nulls", with_nulls, {-20.0, -10.0, 2.0}},
        {"stopband", stopband, {-80.0, 0.0, 20.0}},
        // Never more than the window below the top.
        {"a wide range", {10.0, -150.0, -150.0, -150.0}, {-100.0, 20.0, 20.0}},
        {"nothing finite", {-inf, std::nan("")}, {-40.0, 0.0, 10.0}},
    };
    for (const Case& c : cases) {
        const Axis axis = decibel_axis(c.values, 100.0);
        EXPECT_NEAR(axis.low, c.axis.low, 1e-9) << c.name;
        EXPECT_NEAR(axis.high, c.axis.high, 1e-9) << c.name;
        EXPECT_NEAR(axis.step, c.axis.step, 1e-12) << c.name;
    }
}

}  // namespace
}  // namespace tavrin
