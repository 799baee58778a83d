// A small writer of SVG text: one self-contained document (no scripts, fonts or links) of
// shapes and text, written straight to an output slot as it is drawn. Whatever it is given,
// the file is well-formed XML: every text is escaped, and a coordinate that is not a finite
// number is written as 0 rather than as a word no reader takes.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "support/file_slots.hpp"

namespace tavrin {

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// How a line is drawn: its colour ("#1f77b4", "none"), width, and dash pattern ("6 4"; empty
// for a solid line).
struct Stroke {
    std::string_view colour;
    double width = 1.0;
    std::string_view dash = {};
};

enum class Anchor { start, middle, end };

struct TextStyle {
    double size = 12.0;
    Anchor anchor = Anchor::start;
    std::string_view colour = "#000000";
    bool bold = false;
};

// Text made safe as XML character data and attribute values: '&', '<', '>', '"' and '\'' as
// entities; bytes that are not well-formed UTF-8, and characters XML 1.0 does not allow
// (controls other than tab, line feed and carriage return), as U+FFFD.
std::string xml_escaped(std::string_view text);

// A number as SVG takes it: fixed, with the given decimals (0 to 3), rounded half away from
// zero, the point as separator whatever the locale; 0 for a value that is not finite, and
// no more than 10^9 in size.
void append_number(std::string& out, double value, int decimals = 1);

class SvgWriter {
  public:
    // Writes the XML declaration and the opening of a width x height document, white.
    SvgWriter(OutputSlot& output, double width, double height);
    SvgWriter(const SvgWriter&) = delete;
    SvgWriter& operator=(const SvgWriter&) = delete;

    // A rectangle clip path, for begin_group; id is a plain ASCII name.
    void clip_rectangle(std::string_view id, double x, double y, double width, double height);
    // A group whose drawing is clipped to the clip path id (none when empty).
    void begin_group(std::string_view clip_id);
    void end_group();

    void line(Point from, Point to, const Stroke& stroke);
    void rectangle(double x, double y, double width, double height, std::string_view fill,
                   const Stroke& stroke);
    void circle(Point centre, double radius, std::string_view fill, const Stroke& stroke);
    // Points joined in order; nothing for fewer than two.
    void polyline(std::span<const Point> points, const Stroke& stroke);
    // A circular arc of the given radius from one point to another (the shorter way round,
    // clockwise on the page when clockwise holds).
    void arc(Point from, Point to, double radius, bool clockwise, const Stroke& stroke);
    void text(Point at, std::string_view text, const TextStyle& style);

    // Closes the document.
    void finish();

  private:
    void box_attributes(double x, double y, double width, double height);
    void stroke_attributes(const Stroke& stroke);
    void number(double value) { append_number(buffer_, value); }
    void flush();

    OutputSlot& output_;
    std::string buffer_;
};

}  // namespace tavrin
