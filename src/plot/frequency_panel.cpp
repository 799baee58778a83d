#include "plot/frequency_panel.hpp"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

constexpr std::string_view frame_colour = "#808080";
constexpr std::string_view grid_colour = "#dcdcdc";
constexpr std::string_view label_colour = "#404040";
// Traces on the frame itself (0 dB at the top) must stay visible.
constexpr double clip_margin = 2.0;

double share(double value, const Axis& axis) {
    const double span = axis.high - axis.low;
    return span > 0.0 ? (value - axis.low) / span : 0.5;
}

}  // namespace

Point FrequencyPanel::at(double frequency, double value) const {
    const double across = share(frequency, x);
    const double up = std::isnan(value) ? 0.0 : std::clamp(share(value, y), 0.0, 1.0);
    return {box.x + box.width * across, box.y + box.height * (1.0 - up)};
}

void draw_panel_frame(SvgWriter& svg, const FrequencyPanel& panel, std::string_view title,
                      std::string_view x_name, std::string_view clip_id) {
    const Box& box = panel.box;
    const Stroke grid{grid_colour, 1.0};
    const TextStyle tick{11.0, Anchor::end, label_colour};
    for (const double value : ticks(panel.y)) {
        const Point left = panel.at(panel.x.low, value);
        svg.line(left, {box.x + box.width, left.y}, grid);
        svg.text({left.x - 6.0, left.y + 4.0}, tick_label(value, panel.y.step), tick);
    }
    for (const double value : ticks(panel.x)) {
        const Point bottom = panel.at(value, panel.y.low);
        svg.line({bottom.x, box.y}, bottom, grid);
        svg.text({bottom.x, bottom.y + 16.0}, tick_label(value, panel.x.step),
                 {11.0, Anchor::middle, label_colour});
    }
    svg.rectangle(box.x, box.y, box.width, box.height, "none", {frame_colour, 1.0});
    svg.text({box.x, box.y - 8.0}, title, {12.0, Anchor::start, "#000000", true});
    svg.text({box.x + box.width / 2, box.y + box.height + 34.0}, x_name,
             {12.0, Anchor::middle, label_colour});
    svg.clip_rectangle(clip_id, box.x - clip_margin, box.y - clip_margin,
                       box.width + 2 * clip_margin, box.height + 2 * clip_margin);
}

}  // namespace tavrin
