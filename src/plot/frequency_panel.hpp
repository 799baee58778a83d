// A panel of values against frequency: its box on the page, its two axes, and the frame,
// gridlines and labels drawn around what it shows.
#pragma once

#include <string>
#include <string_view>

#include "plot/axis.hpp"
#include "plot/svg_writer.hpp"

namespace tavrin {

struct Box {
    double x = 0.0;  // left
    double y = 0.0;  // top
    double width = 0.0;
    double height = 0.0;
};

struct FrequencyPanel {
    Box box;
    Axis x;  // frequency
    Axis y;

    // Where a value stands on the page; one beyond the value axis (-inf dB, say) is drawn on
    // the edge it passes.
    Point at(double frequency, double value) const;
};

// The frame, a gridline and label at every tick, the panel's title above it and the
// frequency axis's name below, and a clip path of the given id around the frame, for the
// traces drawn into it.
void draw_panel_frame(SvgWriter& svg, const FrequencyPanel& panel, std::string_view title,
                      std::string_view x_name, std::string_view clip_id);

}  // namespace tavrin
