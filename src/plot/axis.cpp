#include "plot/axis.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tavrin {

namespace {

// Ticks a step and a position can differ by through rounding, as a share of the step.
constexpr double slack = 1e-9;
// More ticks than this on one axis would be a step lost in rounding, not a scale.
constexpr int most_ticks = 100;

std::string fixed(double value, int decimals) {
    char digits[64];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    return std::string(digits, result.ptr);
}

int decimals_for(double step) {
    const int exponent = static_cast<int>(std::floor(std::log10(step) + slack));
    return exponent < 0 ? -exponent : 0;
}

}  // namespace

double round_step(double span, int intervals) {
    const double raw = span / (intervals < 1 ? 1 : intervals);
    if (!(raw > 0.0) || !std::isfinite(raw)) return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double mantissa = raw / power;
    for (const double round : {1.0, 2.0, 5.0}) {
        if (mantissa <= round * (1.0 + slack)) return round * power;
    }
    return 10.0 * power;
}

Axis rounded_axis(double min, double max, int intervals, double smallest_span) {
    if (!std::isfinite(min) || !std::isfinite(max) || min > max) {
        min = 0.0;
        max = smallest_span;
    }
    if (max - min < smallest_span) {
        const double middle = min / 2 + max / 2;
        min = middle - smallest_span / 2;
        max = middle + smallest_span / 2;
    }
    Axis axis;
    axis.step = round_step(max - min, intervals);
    axis.low = std::floor(min / axis.step + slack) * axis.step;
    axis.high = std::ceil(max / axis.step - slack) * axis.step;
    return axis;
}

Axis exact_axis(double min, double max, int intervals) {
    if (!std::isfinite(min) || !std::isfinite(max) || min > max) {
        min = 0.0;
        max = 1.0;
    }
    if (max == min) {
        const double pad = min != 0.0 ? std::fabs(min) * 0.05 : 0.5;
        min -= pad;
        max += pad;
    }
    return {min, max, round_step(max - min, intervals)};
}

Axis decibel_axis(std::vector<double> values_db, double window) {
    std::erase_if(values_db, [](double value) { return !std::isfinite(value); });
    if (values_db.empty()) return {-40.0, 0.0, 10.0};
    const auto [min, max] = std::minmax_element(values_db.begin(), values_db.end());
    const double min_db = *min;
    const double max_db = *max;
    const auto lowest_percent =
        values_db.begin() + static_cast<std::ptrdiff_t>(values_db.size() / 100);
    std::nth_element(values_db.begin(), lowest_percent, values_db.end());
    double low = std::max({min_db, *lowest_percent - 10.0, max_db - window});
    if (max_db - low < 1.0) low = max_db - 1.0;
    Axis axis;
    axis.step = round_step(max_db - low, 6);
    axis.high = std::ceil(max_db / axis.step - slack) * axis.step;
    axis.low = std::floor(low / axis.step + slack) * axis.step;
    return axis;
}

std::vector<double> ticks(const Axis& axis) {
    std::vector<double> values;
    if (!(axis.step > 0.0) || !std::isfinite(axis.low) || !std::isfinite(axis.high)) return values;
    const double first = std::ceil(axis.low / axis.step - slack);
    const double last = std::floor(axis.high / axis.step + slack);
    for (double k = first; k <= last && values.size() < most_ticks; ++k) {
        const double value = k * axis.step;
        values.push_back(std::fabs(value) < axis.step * slack ? 0.0 : value);
    }
    return values;
}

std::string tick_label(double value, double step) {
    if (!std::isfinite(value)) return "?";
    if (std::fabs(value) < step * slack) value = 0.0;
    const double size = std::fabs(value);
    if (value != 0.0 && (size >= 1e6 || size < 1e-3)) {
        int exponent = static_cast<int>(std::floor(std::log10(size)));
        const int step_exponent = static_cast<int>(std::floor(std::log10(step) + slack));
        const int decimals = exponent > step_exponent ? exponent - step_exponent : 0;
        std::string mantissa = fixed(value / std::pow(10.0, exponent), decimals);
        // 9.99... can round up to 10: one more power of ten instead.
        if (mantissa.starts_with("10") || mantissa.starts_with("-10")) {
            ++exponent;
            mantissa = fixed(value / std::pow(10.0, exponent), decimals);
        }
        return mantissa + "e" + std::to_string(exponent);
    }
    const std::string text = fixed(value, decimals_for(step));
    // A negative value that rounds to nothing reads as 0.
    if (text.find_first_not_of("-0.") == std::string::npos) return fixed(0.0, decimals_for(step));
    return text;
}

std::string value_label(double value) {
    if (!std::isfinite(value)) return "?";
    char digits[64];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 10);
    return std::string(digits, result.ptr);
}

}  // namespace tavrin
