#include "plot/svg_writer.hpp"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD

bool continuation(unsigned char c) {
    return c >= 0x80 && c <= 0xBF;
}

// The length of the well-formed UTF-8 sequence at the front of text that XML 1.0 allows as a
// character, or 0. The ranges of the second byte keep out overlong forms, surrogates and
// values above U+10FFFF; U+FFFE and U+FFFF are no XML characters.
std::size_t allowed_sequence(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!continuation(byte(i))) return 0;
    }
    if (lead == 0xEF && byte(1) == 0xBF && (byte(2) == 0xBE || byte(2) == 0xBF)) return 0;
    return length;
}

std::string_view anchor_name(Anchor anchor) {
    switch (anchor) {
        case Anchor::start:
            return "start";
        case Anchor::middle:
            return "middle";
        case Anchor::end:
            return "end";
    }
    return "start";
}

}  // namespace

std::string xml_escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = allowed_sequence(text);
        if (length == 0) {
            out += replacement;
            text.remove_prefix(1);
            continue;
        }
        switch (text.front()) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

void append_number(std::string& out, double value, int decimals) {
    if (!std::isfinite(value)) value = 0.0;
    // Values past what any page needs would only make long words of digits.
    value = std::clamp(value, -1e9, 1e9);
    if (decimals < 0) decimals = 0;
    if (decimals > 3) decimals = 3;
    // In whole units of the last decimal, rounded half away from zero, so that writing the
    // many coordinates of a picture costs a multiplication and a few divisions each.
    long long scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const long long units = std::llround(value * static_cast<double>(scale));
    char digits[32];
    char* const end = digits + sizeof digits;
    char* at = end;
    unsigned long long magnitude = units < 0 ? 0ULL - static_cast<unsigned long long>(units)
                                             : static_cast<unsigned long long>(units);
    // From the last digit: the decimals, the point, then at least one digit before it.
    for (int i = 0; i < decimals; ++i) {
        *--at = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    if (decimals > 0) *--at = '.';
    do {
        *--at = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (units < 0) *--at = '-';
    out.append(at, end);
}

SvgWriter::SvgWriter(OutputSlot& output, double width, double height) : output_(output) {
    buffer_ =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"";
    number(width);
    buffer_ += "\" height=\"";
    number(height);
    buffer_ += "\" viewBox=\"0 0 ";
    number(width);
    buffer_ += ' ';
    number(height);
    buffer_ +=
        "\" font-family=\"sans-serif\">\n<rect width=\"100%\" height=\"100%\" "
        "fill=\"#ffffff\"/>\n";
    flush();
}

void SvgWriter::clip_rectangle(std::string_view id, double x, double y, double width,
                               double height) {
    buffer_ += "<defs><clipPath id=\"";
    buffer_ += xml_escaped(id);
    buffer_ += "\"><rect";
    box_attributes(x, y, width, height);
    buffer_ += "/></clipPath></defs>\n";
    flush();
}

void SvgWriter::begin_group(std::string_view clip_id) {
    buffer_ += "<g";
    if (!clip_id.empty()) {
        buffer_ += " clip-path=\"url(#";
        buffer_ += xml_escaped(clip_id);
        buffer_ += ")\"";
    }
    buffer_ += ">\n";
    flush();
}

void SvgWriter::end_group() {
    buffer_ += "</g>\n";
    flush();
}

void SvgWriter::box_attributes(double x, double y, double width, double height) {
    buffer_ += " x=\"";
    number(x);
    buffer_ += "\" y=\"";
    number(y);
    buffer_ += "\" width=\"";
    number(width);
    buffer_ += "\" height=\"";
    number(height);
    buffer_ += '"';
}

void SvgWriter::stroke_attributes(const Stroke& stroke) {
    buffer_ += " stroke=\"";
    buffer_ += xml_escaped(stroke.colour);
    buffer_ += "\" stroke-width=\"";
    append_number(buffer_, stroke.width, 2);
    buffer_ += '"';
    if (!stroke.dash.empty()) {
        buffer_ += " stroke-dasharray=\"";
        buffer_ += xml_escaped(stroke.dash);
        buffer_ += '"';
    }
}

void SvgWriter::line(Point from, Point to, const Stroke& stroke) {
    buffer_ += "<line x1=\"";
    number(from.x);
    buffer_ += "\" y1=\"";
    number(from.y);
    buffer_ += "\" x2=\"";
    number(to.x);
    buffer_ += "\" y2=\"";
    number(to.y);
    buffer_ += '"';
    stroke_attributes(stroke);
    buffer_ += "/>\n";
    flush();
}

void SvgWriter::rectangle(double x, double y, double width, double height, std::string_view fill,
                          const Stroke& stroke) {
    buffer_ += "<rect";
    box_attributes(x, y, width, height);
    buffer_ += " fill=\"";
    buffer_ += xml_escaped(fill);
    buffer_ += '"';
    stroke_attributes(stroke);
    buffer_ += "/>\n";
    flush();
}

void SvgWriter::circle(Point centre, double radius, std::string_view fill, const Stroke& stroke) {
    buffer_ += "<circle cx=\"";
    number(centre.x);
    buffer_ += "\" cy=\"";
    number(centre.y);
    buffer_ += "\" r=\"";
    number(radius);
    buffer_ += "\" fill=\"";
    buffer_ += xml_escaped(fill);
    buffer_ += '"';
    stroke_attributes(stroke);
    buffer_ += "/>\n";
    flush();
}

void SvgWriter::polyline(std::span<const Point> points, const Stroke& stroke) {
    if (points.size() < 2) return;
    buffer_ += "<polyline fill=\"none\"";
    stroke_attributes(stroke);
    buffer_ += " stroke-linejoin=\"round\" points=\"";
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0) buffer_ += ' ';
        number(points[i].x);
        buffer_ += ',';
        number(points[i].y);
    }
    buffer_ += "\"/>\n";
    flush();
}

void SvgWriter::arc(Point from, Point to, double radius, bool clockwise, const Stroke& stroke) {
    buffer_ += "<path fill=\"none\"";
    stroke_attributes(stroke);
    buffer_ += " d=\"M";
    number(from.x);
    buffer_ += ',';
    number(from.y);
    buffer_ += " A";
    number(radius);
    buffer_ += ',';
    number(radius);
    buffer_ += clockwise ? " 0 0 1 " : " 0 0 0 ";
    number(to.x);
    buffer_ += ',';
    number(to.y);
    buffer_ += "\"/>\n";
    flush();
}

void SvgWriter::text(Point at, std::string_view text, const TextStyle& style) {
    buffer_ += "<text x=\"";
    number(at.x);
    buffer_ += "\" y=\"";
    number(at.y);
    buffer_ += "\" font-size=\"";
    number(style.size);
    buffer_ += "\" fill=\"";
    buffer_ += xml_escaped(style.colour);
    buffer_ += '"';
    if (style.anchor != Anchor::start) {
        buffer_ += " text-anchor=\"";
        buffer_ += anchor_name(style.anchor);
        buffer_ += '"';
    }
    if (style.bold) buffer_ += " font-weight=\"bold\"";
    buffer_ += '>';
    buffer_ += xml_escaped(text);
    buffer_ += "</text>\n";
    flush();
}

void SvgWriter::finish() {
    buffer_ += "</svg>\n";
    flush();
}

void SvgWriter::flush() {
    output_.write(buffer_);
    buffer_.clear();
}

}  // namespace tavrin
