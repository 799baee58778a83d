// The Smith chart: the plane of reflection coefficients, on a grid of impedance normalised to
// the port's reference.
#pragma once

#include "network/complex.hpp"
#include "plot/svg_writer.hpp"

namespace tavrin {

struct SmithChart {
    Point centre;
    double radius = 1.0;  // of |Gamma| = 1

    // Where a reflection coefficient stands on the page (up is a positive imaginary part).
    Point at(const Complex& gamma) const {
        return {centre.x + radius * gamma.re, centre.y - radius * gamma.im};
    }
};

// Circles of constant resistance and arcs of constant reactance at 0, 0.2, 0.5, 1, 2 and 5,
// the real axis, and their labels.
void draw_smith_grid(SvgWriter& svg, const SmithChart& chart);

}  // namespace tavrin
