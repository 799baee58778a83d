#include "plot/palette.hpp"

#include <cmath>

namespace tavrin {

namespace {

// Grey is left out: the grids are grey; black is the noise data's.
constexpr const char* first_colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                         "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#00008b",
                                         "#8b0000", "#006400", "#ff00ff", "#808000", "#008b8b",
                                         "#ff8c69", "#483d8b", "#b8860b", "#ff1493", "#2f4f4f"};

std::string hex_colour(double red, double green, double blue) {
    const char* digits = "0123456789abcdef";
    std::string text = "#";
    for (const double channel : {red, green, blue}) {
        const int level =
            static_cast<int>(std::lround(std::fmin(std::fmax(channel, 0.0), 1.0) * 255));
        text += digits[level / 16];
        text += digits[level % 16];
    }
    return text;
}

// Hue in degrees, saturation and lightness from 0 to 1, to red, green and blue.
std::string from_hsl(double hue, double saturation, double lightness) {
    const double chroma = (1.0 - std::fabs(2.0 * lightness - 1.0)) * saturation;
    const double sector = hue / 60.0;
    const double second = chroma * (1.0 - std::fabs(std::fmod(sector, 2.0) - 1.0));
    double r = 0.0, g = 0.0, b = 0.0;
    switch (static_cast<int>(sector) % 6) {
        case 0:
            r = chroma;
            g = second;
            break;
        case 1:
            r = second;
            g = chroma;
            break;
        case 2:
            g = chroma;
            b = second;
            break;
        case 3:
            g = second;
            b = chroma;
            break;
        case 4:
            r = second;
            b = chroma;
            break;
        default:
            r = chroma;
            b = second;
            break;
    }
    const double m = lightness - chroma / 2.0;
    return hex_colour(r + m, g + m, b + m);
}

}  // namespace

std::string trace_colour(std::size_t index) {
    if (index < std::size(first_colours)) return first_colours[index];
    const double hue = std::fmod(static_cast<double>(index) * 137.508, 360.0);
    return from_hsl(hue, 0.7, 0.4);
}

}  // namespace tavrin
