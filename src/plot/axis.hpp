// The value axes of a picture: round steps (1, 2 or 5 times a power of ten), ticks at their
// multiples, and the labels a reader reads off them.
#pragma once

#include <string>
#include <vector>

namespace tavrin {

struct Axis {
    double low = 0.0;  // the values at the two ends
    double high = 1.0;
    double step = 1.0;  // between ticks
};

// The smallest round step of at least span / intervals; 1 for a span that is not above 0.
double round_step(double span, int intervals);

// For values from min to max, with both ends on ticks, about `intervals` steps apart; a
// span below smallest_span is widened about its middle to that span.
Axis rounded_axis(double min, double max, int intervals, double smallest_span);

// For a frequency sweep: the ends where the data ends, round ticks between them. A single
// frequency is shown in a span around it.
Axis exact_axis(double min, double max, int intervals);

// For |S| in dB, from the values to show (those that are finite): the top on the tick at or
// above the largest; the floor on the tick at or below the smallest, but no lower than 10 dB
// under the lowest percent of the values nor `window` dB under the largest, so that a narrow
// null or a zero (-inf dB) does not squash what matters. The caller draws values below the
// floor on it. At least 1 dB tall; from -40 to 0 where there is no value at all.
Axis decibel_axis(std::vector<double> values_db, double window);

// Multiples of the step from low to high, both included where they are on one.
std::vector<double> ticks(const Axis& axis);

// A tick value as a reader expects it: as many decimals as the step needs and no "-0"; a
// value of a million or more, or below 0.001, as mantissa and exponent ("2.5e9").
std::string tick_label(double value, double step);

// A value named in a title ("1", "10.5", "2400000000"): the shortest text of at most 10
// significant digits, in exponent form only when it needs more places than that.
std::string value_label(double value);

}  // namespace tavrin
