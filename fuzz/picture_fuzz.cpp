// The picture formatter, with the general or the data-line marks. Free mode: an arbitrary
// picture (every field character, long fields, no field at all) with arbitrary bit patterns
// and item flags, which must never crash, and with the data-line marks writes no '%' of its
// own. Checked mode: a field of `integers` '#', the point and `decimals` '#', rendered by the
// planned fast path and by the general renderer, which must agree; the general text is checked
// against the layout rules (a value that fits takes exactly integers + 1 + decimals characters
// and shows the value rounded to the decimals; larger values take the overflow mark or the
// exponent form), and the data-line text must be that text without any '%', or inf, -inf or
// nan right-aligned in the field.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "support/file_slots.hpp"
#include "text/picture.hpp"

namespace {

using tavrin::fuzz::require;

tavrin::fuzz::MemoryOutput& memory_output() {
    static tavrin::fuzz::MemoryOutput output;
    return output;
}

double double_at(const std::uint8_t* bytes) {
    double value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

void run_free(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return;
    const bool without_start = (data[0] & 2) != 0;
    const auto marks =
        (data[0] & 4) != 0 ? tavrin::PictureMarks::data_line : tavrin::PictureMarks::general;
    std::size_t length = static_cast<std::size_t>(data[1]) | static_cast<std::size_t>(data[2]) << 8;
    data += 3;
    size -= 3;
    length = std::min(length, size);
    const std::string_view picture(reinterpret_cast<const char*>(data), length);
    data += length;
    size -= length;

    tavrin::OutputSlot slot;
    memory_output().open(slot);
    tavrin::PictureState state;
    if (!without_start) state.start_picture(picture, marks);
    for (; size >= 9; data += 9, size -= 9) {
        const std::uint8_t control = data[8];
        std::uint32_t flags = 0;
        if (control & 1) flags |= tavrin::item_end_line;
        if (control & 2) flags |= tavrin::item_last;
        flags |= static_cast<std::uint32_t>(control & 0xF0) << 4;  // bits the system never sets
        state.write_picture_number(slot, double_at(data), flags);
        if (control & 4) state.end_picture(slot);
        if (control & 8) state.start_picture(picture, marks);
    }
    state.end_picture(slot);
    require(slot.close(), "the in-memory output takes every byte");
    if (marks == tavrin::PictureMarks::data_line && picture.find('%') == std::string_view::npos) {
        require(memory_output().contents().find('%') == std::string::npos,
                "the data-line marks write no '%'");
    }
}

struct Parsed {
    std::string_view field;
    bool mark = false;       // starts with '%'
    bool exponent = false;   // holds 'E'
};

std::string without_marks(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c != '%') out.push_back(c);
    }
    return out;
}

std::string digits_only(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c != '%' && c != ' ') out.push_back(c);
    }
    return out;
}

bool all_digits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The general text of an infinity or a not-a-number.
std::string special_text(double v, std::int64_t integers, std::int64_t decimals) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    const char* tag = (bits & 0x000FFFFFFFFFFFFFull) == 0 ? "#INF"
                      : bits == 0xFFF8000000000000ull     ? "#IND"
                                                          : "#NAN";
    std::string left = std::signbit(v) ? "-1" : "1";
    left.insert(0, static_cast<std::size_t>(integers) - left.size(), ' ');
    return left + "." + tag + std::string(static_cast<std::size_t>(decimals - 4), '0');
}

void check_field(std::string_view field, double v, std::int64_t integers, std::int64_t decimals) {
    const bool negative = std::signbit(v);
    const std::int64_t available = integers - (negative ? 1 : 0);  // positions for digits
    if (!std::isfinite(v)) {
        if (decimals >= 4 && available >= 1) {
            require(field == special_text(v, integers, decimals),
                    "infinity and NaN are written as 1.#INF, 1.#IND or 1.#NAN", field);
        }
        return;
    }
    const long double magnitude = std::fabs(static_cast<long double>(v));
    const long double half_step = 0.5L * std::pow(10.0L, -static_cast<long double>(decimals));
    const long double fits_below = std::pow(10.0L, static_cast<long double>(available));
    const long double exponent_from = std::pow(10.0L, static_cast<long double>(available + 3));
    const long double margin = 1e-14L;

    const bool mark = !field.empty() && field.front() == '%';
    const bool exponent_form = field.find('E') != std::string_view::npos;
    if (available >= 0) {
        if (magnitude < (fits_below - 2 * half_step) * (1 - margin)) {
            require(!mark, "a value that fits has no overflow mark", field);
        }
        if (magnitude >= fits_below * (1 + margin)) {
            require(mark, "a value that does not fit has the overflow mark", field);
        }
        if (magnitude >= exponent_from * (1 + margin) && integers >= 2) {
            require(exponent_form, "a value far too large takes the exponent form", field);
        }
        if (magnitude < (exponent_from - 2 * half_step) * (1 - margin)) {
            require(!exponent_form, "only values far too large take the exponent form", field);
        }
    }

    if (!mark) {
        require(static_cast<std::int64_t>(field.size()) == integers + 1 + decimals,
                "a value that fits takes exactly I + 1 + P characters", field);
        const std::size_t point = field.find('.');
        require(point == static_cast<std::size_t>(integers), "the point sits after I positions",
                field);
        require(all_digits(field.substr(point + 1)), "P decimals follow the point", field);
        std::string_view left = field.substr(0, point);
        left.remove_prefix(std::min(left.find_first_not_of(' '), left.size()));
        require(negative == (!left.empty() && left.front() == '-'),
                "a minus sign exactly for a negative value", field);
        if (negative) left.remove_prefix(1);
        require(all_digits(left), "digits after the blanks and the sign", field);
        if (magnitude == 0) {
            require(left == (available >= 1 ? "0" : ""), "zero shows a single 0", field);
        }
    } else if (exponent_form) {
        if (integers < 2) return;  // the exponent form is given for two positions or more
        require(field.size() > 3 && (field[1] == '-' || field[1] == ' '),
                "the exponent form starts with the mark and the sign or a blank", field);
        require((field[1] == '-') == negative, "the exponent form's sign", field);
        const std::size_t e = field.find('E');
        const std::string_view mantissa = field.substr(2, e - 2);
        const auto lead = static_cast<std::size_t>(integers - 1);
        require(mantissa.size() == lead + 1 + static_cast<std::size_t>(decimals) &&
                    mantissa[lead] == '.' && all_digits(mantissa.substr(0, lead)) &&
                    all_digits(mantissa.substr(lead + 1)) && mantissa.front() != '0',
                "the exponent form shows I - 1 + P significant digits", field);
        std::string_view power = field.substr(e + 1);
        require(power.size() >= 2 && (power[0] == '+' || power[0] == '-'), "exponent sign", field);
        power.remove_prefix(1);
        if (power.front() == '%') {
            power.remove_prefix(1);
            require(power.size() >= 2, "only long exponents carry a mark", field);
        } else {
            require(power.size() == 1, "a short exponent is one digit", field);
        }
        require(all_digits(power), "exponent digits", field);
        const long double shown = std::strtold(digits_only(field).c_str(), nullptr);
        const long double relative =
            0.5L * std::pow(10.0L, -static_cast<long double>(integers - 2 + decimals)) + 3e-15L;
        require(std::fabs(std::fabs(shown) - magnitude) <= relative * magnitude,
                "the exponent form shows the value", field);
        return;
    } else {
        std::string_view body = field.substr(1);
        require(negative == (!body.empty() && body.front() == '-'),
                "the overflow form's minus sign", field);
        if (negative) body.remove_prefix(1);
        const std::size_t point = body.find('.');
        require(point != std::string_view::npos && all_digits(body.substr(0, point)) &&
                    body.size() - point - 1 == static_cast<std::size_t>(decimals) &&
                    all_digits(body.substr(point + 1)),
                "the overflow form is the digits, the point and P decimals", field);
        require(static_cast<std::int64_t>(point) > available &&
                    static_cast<std::int64_t>(point) <= available + 3,
                "the overflow form holds 1 to 3 digits too many", field);
    }
    const long double shown = std::fabs(std::strtold(digits_only(field).c_str(), nullptr));
    require(std::fabs(shown - magnitude) <= half_step * (1 + margin) + 3e-15L * magnitude,
            "the field shows the value rounded to P decimals", field);
}

// The data-line text of a field against the general text of the same value.
void check_data_line_field(std::string_view field, std::string_view general, double v,
                           std::int64_t integers, std::int64_t decimals) {
    require(field.find('%') == std::string_view::npos, "a data-line field has no '%'", field);
    if (std::isfinite(v)) {
        require(field == without_marks(general),
                "a data-line field is the general text without its '%'", field);
        return;
    }
    const std::string word = std::isnan(v) ? "nan" : std::signbit(v) ? "-inf" : "inf";
    const auto width = static_cast<std::size_t>(integers + 1 + decimals);
    const std::string expected =
        std::string(width > word.size() ? width - word.size() : 0, ' ') + word;
    require(field == expected, "inf, -inf or nan right-aligned in the field", field);
}

void run_checked(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return;
    const std::int64_t integers = data[1] % 8;
    const std::int64_t decimals = 1 + data[2] % 12;
    const bool leading_blank = (data[3] & 1) != 0;
    const bool data_line = (data[3] & 2) != 0;
    const auto marks = data_line ? tavrin::PictureMarks::data_line : tavrin::PictureMarks::general;
    data += 4;
    size -= 4;
    const std::string field = std::string(static_cast<std::size_t>(integers), '#') + "." +
                              std::string(static_cast<std::size_t>(decimals), '#');
    const std::string picture = (leading_blank ? " " : "") + field;
    // The same field behind an escaped literal: the formatter's general path renders it,
    // whatever shortcut it takes for plain literal text.
    const std::string escaped = "_=" + field;

    std::vector<double> values;
    for (; size >= 8; data += 8, size -= 8) {
        const double v = double_at(data);
        values.push_back(v);
        // The doubles around the nearest half-way point of the last decimal, where the planned
        // path must leave rounding to the 16-digit mantissa.
        const double scale = std::pow(10.0, static_cast<double>(decimals));
        const double half_way = (std::floor(v * scale) + 0.5) / scale;
        if (std::isfinite(half_way)) {
            values.push_back(half_way);
            values.push_back(std::nextafter(half_way, 0.0));
            values.push_back(std::nextafter(half_way, 2 * half_way));
        }
    }
    tavrin::OutputSlot slot;
    memory_output().open(slot);
    tavrin::PictureState state;
    for (const double v : values) {
        for (const std::string* p : {&picture, &escaped}) {
            state.start_picture(*p, marks);
            state.write_picture_number(slot, v, tavrin::item_last | tavrin::item_end_line);
            state.end_picture(slot);
        }
        if (data_line) {
            // The general text that the data-line text is checked against.
            state.start_picture(picture);
            state.write_picture_number(slot, v, tavrin::item_last | tavrin::item_end_line);
            state.end_picture(slot);
        }
    }
    require(slot.close(), "the in-memory output takes every byte");
    const std::string out = memory_output().contents();
    std::string_view rest(out);
    const auto next_line = [&rest] {
        const std::size_t end = rest.find("\r\n");
        require(end != std::string_view::npos, "each item ends its line");
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 2);
        return line;
    };
    // The field after the picture's leading blank.
    const auto field_of = [leading_blank](std::string_view line) {
        if (leading_blank) {
            require(!line.empty() && line.front() == ' ', "the literal blank comes first", line);
            line.remove_prefix(1);
        }
        return line;
    };
    for (const double v : values) {
        const std::string_view line = field_of(next_line());
        std::string_view line_escaped = next_line();
        require(!line_escaped.empty() && line_escaped.front() == '=', "'_' copies what follows",
                line_escaped);
        line_escaped.remove_prefix(1);
        require(line == line_escaped, "the field's text does not depend on the literal before it",
                line);
        if (data_line) {
            const std::string_view general = field_of(next_line());
            check_data_line_field(line, general, v, integers, decimals);
            check_field(general, v, integers, decimals);
        } else {
            check_field(line, v, integers, decimals);
        }
    }
    require(rest.empty(), "nothing after the last line", rest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        run_checked(data, size);
    } else {
        run_free(data, size);
    }
    return 0;
}
