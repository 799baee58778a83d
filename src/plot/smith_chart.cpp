#include "plot/smith_chart.hpp"

#include <cmath>
#include <string>

namespace tavrin {

namespace {

constexpr double grid_values[] = {0.2, 0.5, 1.0, 2.0, 5.0};
constexpr const char* grid_labels[] = {"0.2", "0.5", "1", "2", "5"};
constexpr std::string_view grid_colour = "#c8c8c8";
constexpr std::string_view label_colour = "#707070";

}  // namespace

void draw_smith_grid(SvgWriter& svg, const SmithChart& chart) {
    const Stroke grid{grid_colour, 0.8};
    const TextStyle label{9.0, Anchor::middle, label_colour};
    for (std::size_t i = 0; i < std::size(grid_values); ++i) {
        // Resistance r: the circle through Gamma = 1 centred at r / (1 + r) on the real axis.
        const double r = grid_values[i];
        svg.circle(chart.at({r / (1 + r), 0.0}), chart.radius / (1 + r), "none", grid);
        const Point left = chart.at({(r - 1) / (r + 1), 0.0});
        svg.text({left.x + 2.0, left.y - 3.0}, grid_labels[i], {9.0, Anchor::start, label_colour});
    }
    for (std::size_t i = 0; i < std::size(grid_values); ++i) {
        // Reactance x: the arc of the circle centred at 1 + j/x from Gamma = 1 to where it meets
        // |Gamma| = 1, at ((x^2 - 1) + 2jx) / (x^2 + 1).
        const double x = grid_values[i];
        for (const double sign : {1.0, -1.0}) {
            const Complex end{(x * x - 1) / (x * x + 1), sign * 2 * x / (x * x + 1)};
            svg.arc(chart.at({1.0, 0.0}), chart.at(end), chart.radius / x, sign > 0, grid);
            const Point outside = chart.at({end.re * 1.08, end.im * 1.08});
            TextStyle side = label;
            if (end.re < -0.2) side.anchor = Anchor::end;
            if (end.re > 0.2) side.anchor = Anchor::start;
            const std::string text =
                (sign > 0 ? "j" : "\xE2\x88\x92j") + std::string(grid_labels[i]);
            svg.text({outside.x, outside.y + 3.0}, text, side);
        }
    }
    svg.line(chart.at({-1.0, 0.0}), chart.at({1.0, 0.0}), grid);
    svg.circle(chart.centre, chart.radius, "none", {"#808080", 1.2});
    const Point left = chart.at({-1.0, 0.0});
    const Point right = chart.at({1.0, 0.0});
    svg.text({left.x - 4.0, left.y + 3.0}, "0", {9.0, Anchor::end, label_colour});
    svg.text({right.x + 4.0, right.y + 3.0}, "\xE2\x88\x9E", {9.0, Anchor::start, label_colour});
}

}  // namespace tavrin
