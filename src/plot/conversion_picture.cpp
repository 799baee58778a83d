#include "plot/conversion_picture.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "plot/axis.hpp"
#include "plot/frequency_panel.hpp"
#include "plot/palette.hpp"
#include "plot/smith_chart.hpp"
#include "plot/svg_writer.hpp"

namespace tavrin {

namespace {

constexpr double page_width = 1160.0;
constexpr Box decibel_box{70.0, 90.0, 640.0, 340.0};
constexpr Box noise_box{70.0, 496.0, 640.0, 150.0};
const SmithChart smith{{935.0, 270.0}, 170.0};
// How far below the largest |S| the axis reaches; deeper values are drawn on its floor.
constexpr double decibel_window = 100.0;
// Points of all traces together that keep a picture small (about 12 bytes each).
constexpr std::size_t points_budget = 100000;
constexpr std::size_t largest_capacity = 1024;
constexpr std::size_t smallest_capacity = 64;

constexpr std::string_view read_dash = "6 4";
constexpr double trace_width = 1.5;
constexpr std::string_view noise_colour = "#000000";
constexpr std::string_view note_colour = "#b00000";

std::string parameter_name(std::size_t i, std::size_t j, std::size_t ports) {
    const std::string row = std::to_string(i + 1);
    const std::string column = std::to_string(j + 1);
    return "S" + row + (ports >= 10 ? "," : "") + column;
}

std::string plural(unsigned long long n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Page points of a trace against frequency; the key is what the panel shows of each sample.
template <class Value>
std::vector<Point> frequency_trace(const std::vector<Sample>& samples, const FrequencyPanel& panel,
                                   Value value) {
    std::vector<Point> points;
    points.reserve(samples.size());
    for (const Sample& sample : samples)
        points.push_back(panel.at(sample.frequency, value(sample)));
    return points;
}

std::vector<Point> smith_trace(const std::vector<Sample>& samples) {
    std::vector<Point> points;
    points.reserve(samples.size());
    for (const Sample& sample : samples) points.push_back(smith.at(sample.value));
    return points;
}

double decibels(const Sample& sample) {
    return 10.0 * std::log10(sample.key);
}

// A trace: dashed as read, solid as written; a lone point as a dot.
void draw_trace(SvgWriter& svg, const std::vector<Point>& points, const std::string& colour,
                bool read) {
    const Stroke stroke{colour, trace_width, read ? read_dash : std::string_view{}};
    if (points.size() == 1) {
        svg.circle(points.front(), 2.5, read ? "#ffffff" : colour, {colour, 1.0});
        return;
    }
    svg.polyline(points, stroke);
}

// The first frequency as a ring, the last as a square.
void draw_ends(SvgWriter& svg, const std::vector<Point>& points, const std::string& colour) {
    if (points.empty()) return;
    svg.circle(points.front(), 3.5, "#ffffff", {colour, 1.5});
    const Point last = points.back();
    svg.rectangle(last.x - 3.0, last.y - 3.0, 6.0, 6.0, colour, {colour, 1.0});
}

struct Range {
    double low = INFINITY;
    double high = -INFINITY;
    void take(double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    bool empty() const { return low > high; }
};

}  // namespace

std::span<const std::size_t> ConversionPicture::begin(std::size_t ports) {
    ports_ = ports;
    const std::size_t shown = std::min(ports, most_ports_shown);
    watched_.clear();
    names_.clear();
    reflections_.clear();
    const auto watch = [&](std::size_t i, std::size_t j) {
        if (i == j) reflections_.push_back(watched_.size());
        watched_.push_back(i * ports + j);
        names_.push_back(parameter_name(i, j, ports));
    };
    // The reflections first, which the chart shows too and so take the most distinct
    // colours; then the transmissions from port 1, from port 2...
    for (std::size_t i = 0; i < shown; ++i) watch(i, i);
    const std::size_t sources = ports <= ports_with_every_parameter ? ports : 1;
    for (std::size_t j = 0; j < sources; ++j) {
        for (std::size_t i = 0; i < shown; ++i) {
            if (i != j) watch(i, j);
        }
    }
    // Every trace is drawn as read and as written, the reflections also on the chart.
    const std::size_t traces = 2 * watched_.size() + 2 * reflections_.size();
    capacity_ = largest_capacity;
    while (capacity_ > smallest_capacity && traces * 2 * capacity_ > points_budget) capacity_ /= 2;
    records_.emplace(std::vector<SampleKey>(2 * watched_.size(), SampleKey::magnitude), capacity_);
    return watched_;
}

void ConversionPicture::record(double frequency, const Complex* values) {
    records_->add(frequency, values);
}

void ConversionPicture::noise(double frequency, const NoiseParameters& read,
                              const NoiseParameters& written) {
    const auto gamma = [](const NoiseParameters& p) {
        const double radians = p.gamma_degrees * (3.14159265358979323846 / 180.0);
        return Complex{p.gamma_magnitude * std::cos(radians),
                       p.gamma_magnitude * std::sin(radians)};
    };
    const Complex values[3] = {{read.fmin_db, 0.0}, gamma(read), gamma(written)};
    noise_.add(frequency, values);
}

void ConversionPicture::write(OutputSlot& output, const PictureCaption& caption) const {
    const std::size_t count = watched_.size();
    std::vector<std::vector<Sample>> traces;  // as read, then as written
    for (std::size_t c = 0; records_ && c < 2 * count; ++c) traces.push_back(records_->points(c));
    const std::vector<Sample> fmin = noise_.points(0);
    const bool noise = noise_.samples() > 0;
    const unsigned long long records = records_ ? records_->samples() : 0;

    Range frequencies;
    std::vector<double> decibel_values;
    bool zeros = false;
    for (const std::vector<Sample>& trace : traces) {
        for (const Sample& sample : trace) {
            frequencies.take(sample.frequency);
            if (sample.key > 0.0) {
                decibel_values.push_back(decibels(sample));
            } else {
                zeros = true;
            }
        }
    }
    const double lowest_decibel =
        decibel_values.empty() ? 0.0
                               : *std::min_element(decibel_values.begin(), decibel_values.end());
    Range noise_figures;
    for (std::size_t c = 0; c < noise_.channels(); ++c) {
        for (const Sample& sample : noise_.points(c)) {
            frequencies.take(sample.frequency);
            if (c == 0) noise_figures.take(sample.key);
        }
    }
    const Axis x_axis = exact_axis(frequencies.low, frequencies.high, 6);
    const FrequencyPanel decibel_panel{decibel_box, x_axis,
                                       decibel_axis(std::move(decibel_values), decibel_window)};
    const FrequencyPanel noise_panel{noise_box, x_axis,
                                     rounded_axis(noise_figures.low, noise_figures.high, 4, 0.5)};

    const double panels_bottom = std::max(
        noise ? noise_box.y + noise_box.height + 40.0 : decibel_box.y + decibel_box.height + 40.0,
        smith.centre.y + smith.radius + 30.0);
    const std::size_t per_row = 10;
    const double legend_top = panels_bottom + 10.0;
    const double height = legend_top + 24.0 * (2 + (count + per_row - 1) / per_row) + 16.0;

    SvgWriter svg(output, page_width, height);
    const std::string unit = caption.frequency_unit;
    // The title: what was converted, from what to what, over which records.
    svg.text({20.0, 30.0},
             caption.input_name + ": " + caption.references_from + " \xE2\x86\x92 " +
                 caption.references_to,
             {17.0, Anchor::start, "#000000", true});
    std::string summary = std::to_string(ports_) + "-port, " + plural(records, "record");
    if (records > 0 && !frequencies.empty()) {
        summary += " from " + value_label(frequencies.low) + " to " +
                   value_label(frequencies.high) + " " + unit;
    }
    if (noise) summary += ", " + plural(noise_.samples(), "noise line");
    if (ports_ > most_ports_shown) {
        summary += "; shown: the reflections and transmissions from port 1 of ports 1 to " +
                   std::to_string(most_ports_shown);
    } else if (ports_ > ports_with_every_parameter) {
        summary += "; shown: the reflections and the transmissions from port 1";
    }
    svg.text({20.0, 52.0}, summary, {12.0, Anchor::start, "#404040"});

    // |S| in dB against frequency.
    draw_panel_frame(svg, decibel_panel, "|S| (dB)", "frequency (" + unit + ")", "decibel");
    svg.begin_group("decibel");
    for (const bool read : {true, false}) {
        for (std::size_t k = 0; k < count; ++k) {
            const std::vector<Sample>& trace = traces[read ? k : count + k];
            draw_trace(svg, frequency_trace(trace, decibel_panel, decibels), trace_colour(k), read);
        }
    }
    svg.end_group();
    const Axis& decibel_axis_drawn = decibel_panel.y;
    if (zeros || lowest_decibel < decibel_axis_drawn.low) {
        svg.text({decibel_box.x + 6.0, decibel_box.y + decibel_box.height - 6.0},
                 "values below " + tick_label(decibel_axis_drawn.low, decibel_axis_drawn.step) +
                     " dB" + (zeros ? " and zeros (-inf dB)" : "") + " are drawn on the floor",
                 {10.0, Anchor::start, "#404040"});
    }
    if (records == 0) {
        svg.text({decibel_box.x + decibel_box.width / 2, decibel_box.y + decibel_box.height / 2},
                 "no records", {14.0, Anchor::middle, "#404040"});
    }

    // The Smith chart of the reflections, and of Gamma_opt.
    svg.text({smith.centre.x, smith.centre.y - smith.radius - 30.0},
             "Smith chart: reflections, each for its port's reference",
             {12.0, Anchor::middle, "#000000", true});
    draw_smith_grid(svg, smith);
    svg.clip_rectangle("smith", smith.centre.x - 1.2 * smith.radius,
                       smith.centre.y - 1.2 * smith.radius, 2.4 * smith.radius, 2.4 * smith.radius);
    svg.begin_group("smith");
    for (const bool read : {true, false}) {
        for (const std::size_t k : reflections_) {
            const std::vector<Point> points = smith_trace(traces[read ? k : count + k]);
            draw_trace(svg, points, trace_colour(k), read);
            draw_ends(svg, points, trace_colour(k));
        }
        if (noise) {
            const std::vector<Point> points = smith_trace(noise_.points(read ? 1 : 2));
            draw_trace(svg, points, std::string(noise_colour), read);
            draw_ends(svg, points, std::string(noise_colour));
        }
    }
    svg.end_group();

    if (noise) {
        draw_panel_frame(svg, noise_panel, "NFmin (dB), the same for any reference",
                         "frequency (" + unit + ")", "noise");
        svg.begin_group("noise");
        draw_trace(svg, frequency_trace(fmin, noise_panel, [](const Sample& s) { return s.key; }),
                   std::string(noise_colour), false);
        svg.end_group();
    }

    // The legend: what dashes, lines and marks mean, then one colour per parameter.
    double y = legend_top;
    double x = 20.0;
    const auto key = [&](std::string_view dash, std::string text) {
        svg.line({x, y - 4.0}, {x + 28.0, y - 4.0}, {"#404040", trace_width, dash});
        svg.text({x + 34.0, y}, text, {12.0, Anchor::start, "#000000"});
        x += 44.0 + 7.0 * static_cast<double>(text.size());
    };
    key(read_dash, "as read: " + caption.references_from);
    key({}, "converted: " + caption.references_to);
    if (records > 0 && !frequencies.empty()) {
        svg.circle({x + 4.0, y - 4.0}, 3.5, "#ffffff", {"#404040", 1.5});
        const std::string first = "first frequency, " + value_label(frequencies.low) + " " + unit;
        svg.text({x + 14.0, y}, first, {12.0, Anchor::start, "#000000"});
        x += 30.0 + 7.0 * static_cast<double>(first.size());
        svg.rectangle(x + 1.0, y - 7.0, 6.0, 6.0, "#404040", {"#404040", 1.0});
        svg.text({x + 14.0, y}, "last, " + value_label(frequencies.high) + " " + unit,
                 {12.0, Anchor::start, "#000000"});
    }
    y += 24.0;
    if (noise) {
        svg.line({20.0, y - 4.0}, {48.0, y - 4.0}, {noise_colour, trace_width});
        svg.text({54.0, y}, "\xCE\x93opt and NFmin (noise data)", {12.0, Anchor::start, "#000000"});
        y += 24.0;
    }
    for (std::size_t k = 0; k < count; ++k) {
        const double left = 20.0 + 100.0 * static_cast<double>(k % per_row);
        const double row = y + 24.0 * static_cast<double>(k / per_row);
        svg.line({left, row - 4.0}, {left + 28.0, row - 4.0}, {trace_colour(k), 2.5});
        svg.text({left + 34.0, row}, names_[k], {12.0, Anchor::start, "#000000"});
    }

    // Values no picture can show are left out, and said so in the corner.
    const unsigned long long left_out = (records_ ? records_->left_out() : 0) + noise_.left_out();
    if (left_out > 0) {
        svg.text(
            {page_width - 16.0, height - 10.0},
            plural(left_out, "value") + " left out: infinite, not a number, or too large to draw",
            {12.0, Anchor::end, note_colour, true});
    }
    svg.finish();
}

}  // namespace tavrin
