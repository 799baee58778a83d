#include "plot/conversion_picture.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
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
constexpr std::size_t legend_columns = 10;
constexpr double legend_column = 100.0;
constexpr double legend_row = 24.0;

std::string parameter_name(std::size_t i, std::size_t j, std::size_t ports) {
    const std::string row = std::to_string(i + 1);
    const std::string column = std::to_string(j + 1);
    return "S" + row + (ports >= 10 ? "," : "") + column;
}

// Each mode's letter and number as mixed-mode parameters are named: a pair by its place among
// the pairs (of its differential mode, in the order's own order), a single-ended port by its
// own number.
std::vector<std::pair<char, std::size_t>> mode_labels(const ModeOrder& modes) {
    std::vector<std::pair<char, std::size_t>> labels;
    std::vector<const Mode*> pairs;
    const auto pair_number = [&](const Mode& mode) {
        for (std::size_t k = 0; k < pairs.size(); ++k) {
            const Mode& d = *pairs[k];
            if ((d.positive == mode.positive && d.negative == mode.negative) ||
                (d.positive == mode.negative && d.negative == mode.positive)) {
                return k + 1;
            }
        }
        return std::size_t{0};
    };
    for (const Mode& mode : modes) {
        if (mode.kind == ModeKind::differential) pairs.push_back(&mode);
    }
    for (const Mode& mode : modes) {
        switch (mode.kind) {
            case ModeKind::differential: labels.emplace_back('D', pair_number(mode)); break;
            case ModeKind::common: labels.emplace_back('C', pair_number(mode)); break;
            case ModeKind::single_ended: labels.emplace_back('S', mode.positive + 1); break;
        }
    }
    return labels;
}

std::string mode_parameter_name(const std::vector<std::pair<char, std::size_t>>& labels,
                                std::size_t i, std::size_t j) {
    const std::string row = std::to_string(labels[i].second);
    const std::string column = std::to_string(labels[j].second);
    const bool wide = row.size() > 1 || column.size() > 1;
    return std::string("S") + labels[i].first + labels[j].first + row + (wide ? "," : "") + column;
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
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void take(double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    bool empty() const { return low > high; }
};

// What the parts of a picture share, worked out once from the reductions: each parameter's
// kept samples (as read, then as written), the noise data's, the ranges and the panels.
struct Drawing {
    Drawing(const PictureCaption& words, std::size_t count) : caption(words), parameters(count) {}

    const PictureCaption& caption;
    std::size_t parameters;
    std::vector<std::vector<Sample>> traces;
    std::vector<std::vector<Sample>> noise;  // Fmin, Gamma_opt as read, as written
    unsigned long long records = 0;
    unsigned long long noise_lines = 0;
    Range frequencies;
    bool zeros = false;  // |S| = 0 somewhere, which is -inf dB
    double lowest_decibel = std::numeric_limits<double>::infinity();
    FrequencyPanel decibel_panel;
    FrequencyPanel noise_panel;

    const std::vector<Sample>& trace(std::size_t parameter, bool read) const {
        return traces[read ? parameter : parameters + parameter];
    }
    std::string frequency_axis_name() const { return "frequency (" + caption.frequency_unit + ")"; }
};

// What was converted, from what to what, over which records.
void draw_title(SvgWriter& svg, const Drawing& d, std::size_t ports) {
    const PictureCaption& caption = d.caption;
    svg.text({20.0, 30.0},
             caption.input_name + ": " + caption.references_from + " \xE2\x86\x92 " +
                 caption.references_to,
             {17.0, Anchor::start, "#000000", true});
    std::string summary = std::to_string(ports) + "-port, " + plural(d.records, "record");
    if (d.records > 0 && !d.frequencies.empty()) {
        summary += " from " + value_label(d.frequencies.low) + " to " +
                   value_label(d.frequencies.high) + " " + caption.frequency_unit;
    }
    if (d.noise_lines > 0) summary += ", " + plural(d.noise_lines, "noise line");
    // Of mixed-mode data the first column is the first mode's, not port 1's.
    const std::string first = caption.modes.empty() ? "port 1" : "the first mode";
    if (ports > most_ports_shown) {
        summary += "; shown: the reflections and transmissions from " + first + " of " +
                   (caption.modes.empty() ? "ports 1 to " : "the first modes, 1 to ") +
                   std::to_string(most_ports_shown);
    } else if (ports > ports_with_every_parameter) {
        summary += "; shown: the reflections and the transmissions from " + first;
    }
    if (!caption.modes.empty()) summary += "; " + caption.modes;
    svg.text({20.0, 52.0}, summary, {12.0, Anchor::start, "#404040"});
}

// |S| in dB against frequency, every parameter dashed as read and solid as written.
void draw_decibel_panel(SvgWriter& svg, const Drawing& d) {
    const FrequencyPanel& panel = d.decibel_panel;
    draw_panel_frame(svg, panel, "|S| (dB)", d.frequency_axis_name(), "decibel");
    svg.begin_group("decibel");
    for (const bool read : {true, false}) {
        for (std::size_t k = 0; k < d.parameters; ++k) {
            draw_trace(svg, frequency_trace(d.trace(k, read), panel, decibels), trace_colour(k),
                       read);
        }
    }
    svg.end_group();
    const Box& box = panel.box;
    if (d.zeros || d.lowest_decibel < panel.y.low) {
        svg.text({box.x + 6.0, box.y + box.height - 6.0},
                 "values below " + tick_label(panel.y.low, panel.y.step) + " dB" +
                     (d.zeros ? " and zeros (-inf dB)" : "") + " are drawn on the floor",
                 {10.0, Anchor::start, "#404040"});
    }
    if (d.records == 0) {
        svg.text({box.x + box.width / 2, box.y + box.height / 2}, "no records",
                 {14.0, Anchor::middle, "#404040"});
    }
}

// The reflections on the Smith chart, and Gamma_opt where there is noise data.
void draw_smith_panel(SvgWriter& svg, const Drawing& d,
                      const std::vector<std::size_t>& reflections) {
    svg.text({smith.centre.x, smith.centre.y - smith.radius - 30.0},
             d.caption.modes.empty() ? "Smith chart: reflections, each for its port's reference"
                                     : "Smith chart: reflections, each for its mode's reference",
             {12.0, Anchor::middle, "#000000", true});
    draw_smith_grid(svg, smith);
    const double reach = 1.2 * smith.radius;
    svg.clip_rectangle("smith", smith.centre.x - reach, smith.centre.y - reach, 2 * reach,
                       2 * reach);
    svg.begin_group("smith");
    for (const bool read : {true, false}) {
        for (const std::size_t k : reflections) {
            const std::vector<Point> points = smith_trace(d.trace(k, read));
            draw_trace(svg, points, trace_colour(k), read);
            draw_ends(svg, points, trace_colour(k));
        }
        if (d.noise_lines > 0) {
            const std::vector<Point> points = smith_trace(d.noise[read ? 1 : 2]);
            draw_trace(svg, points, std::string(noise_colour), read);
            draw_ends(svg, points, std::string(noise_colour));
        }
    }
    svg.end_group();
}

// NFmin against frequency: one trace, since no reference changes it.
void draw_noise_panel(SvgWriter& svg, const Drawing& d) {
    draw_panel_frame(svg, d.noise_panel, "NFmin (dB), the same for any reference",
                     d.frequency_axis_name(), "noise");
    svg.begin_group("noise");
    draw_trace(svg,
               frequency_trace(d.noise[0], d.noise_panel, [](const Sample& s) { return s.key; }),
               std::string(noise_colour), false);
    svg.end_group();
}

// What dashes, lines and marks mean, then one colour per parameter.
void draw_legend(SvgWriter& svg, const Drawing& d, const std::vector<std::string>& names,
                 double top) {
    const PictureCaption& caption = d.caption;
    const TextStyle text{12.0, Anchor::start, "#000000"};
    double x = 20.0;
    double y = top;
    // Texts are about 7 px a character at this size: enough to place the next key after one.
    const auto width_of = [](const std::string& s) { return 7.0 * static_cast<double>(s.size()); };
    for (const bool read : {true, false}) {
        const std::string says =
            read ? "as read: " + caption.references_from : "converted: " + caption.references_to;
        svg.line({x, y - 4.0}, {x + 28.0, y - 4.0},
                 {"#404040", trace_width, read ? read_dash : std::string_view{}});
        svg.text({x + 34.0, y}, says, text);
        x += 44.0 + width_of(says);
    }
    if (d.records > 0 && !d.frequencies.empty()) {
        const std::string unit = " " + caption.frequency_unit;
        const std::string first = "first frequency, " + value_label(d.frequencies.low) + unit;
        svg.circle({x + 4.0, y - 4.0}, 3.5, "#ffffff", {"#404040", 1.5});
        svg.text({x + 14.0, y}, first, text);
        x += 30.0 + width_of(first);
        svg.rectangle(x + 1.0, y - 7.0, 6.0, 6.0, "#404040", {"#404040", 1.0});
        svg.text({x + 14.0, y}, "last, " + value_label(d.frequencies.high) + unit, text);
    }
    y += legend_row;
    if (d.noise_lines > 0) {
        svg.line({20.0, y - 4.0}, {48.0, y - 4.0}, {noise_colour, trace_width});
        svg.text({54.0, y}, "\xCE\x93opt and NFmin (noise data)", text);
        y += legend_row;
    }
    for (std::size_t k = 0; k < names.size(); ++k) {
        const double left = 20.0 + legend_column * static_cast<double>(k % legend_columns);
        const double row = y + legend_row * static_cast<double>(k / legend_columns);
        svg.line({left, row - 4.0}, {left + 28.0, row - 4.0}, {trace_colour(k), 2.5});
        svg.text({left + 34.0, row}, names[k], text);
    }
}

}  // namespace

std::span<const std::size_t> ConversionPicture::begin(std::size_t ports, const ModeOrder* modes) {
    ports_ = ports;
    const std::size_t shown = std::min(ports, most_ports_shown);
    watched_.clear();
    names_.clear();
    reflections_.clear();
    const std::vector<std::pair<char, std::size_t>> labels =
        modes != nullptr ? mode_labels(*modes) : std::vector<std::pair<char, std::size_t>>();
    const auto watch = [&](std::size_t i, std::size_t j) {
        if (i == j) reflections_.push_back(watched_.size());
        watched_.push_back(i * ports + j);
        names_.push_back(modes != nullptr && modes->size() == ports
                             ? mode_parameter_name(labels, i, j)
                             : parameter_name(i, j, ports));
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
    Drawing d{caption, count};
    for (std::size_t c = 0; records_ && c < 2 * count; ++c) d.traces.push_back(records_->points(c));
    d.records = records_ ? records_->samples() : 0;
    d.noise_lines = noise_.samples();
    std::vector<double> decibel_values;
    for (const std::vector<Sample>& trace : d.traces) {
        for (const Sample& sample : trace) {
            d.frequencies.take(sample.frequency);
            if (sample.key > 0.0) {
                decibel_values.push_back(decibels(sample));
                d.lowest_decibel = std::min(d.lowest_decibel, decibel_values.back());
            } else {
                d.zeros = true;
            }
        }
    }
    for (std::size_t c = 0; c < noise_.channels(); ++c) d.noise.push_back(noise_.points(c));
    Range noise_figures;
    for (std::size_t c = 0; c < d.noise.size(); ++c) {
        for (const Sample& sample : d.noise[c]) {
            d.frequencies.take(sample.frequency);
            if (c == 0) noise_figures.take(sample.key);
        }
    }
    const Axis x_axis = exact_axis(d.frequencies.low, d.frequencies.high, 6);
    d.decibel_panel = {decibel_box, x_axis,
                       decibel_axis(std::move(decibel_values), decibel_window)};
    d.noise_panel = {noise_box, x_axis,
                     rounded_axis(noise_figures.low, noise_figures.high, 4, 0.5)};

    const Box& lowest_panel = d.noise_lines > 0 ? noise_box : decibel_box;
    const double legend_top =
        std::max(lowest_panel.y + lowest_panel.height + 50.0, smith.centre.y + smith.radius + 40.0);
    const std::size_t legend_rows =
        1 + (d.noise_lines > 0 ? 1 : 0) + (count + legend_columns - 1) / legend_columns;
    const double height = legend_top + legend_row * static_cast<double>(legend_rows) + 16.0;

    SvgWriter svg(output, page_width, height);
    draw_title(svg, d, ports_);
    draw_decibel_panel(svg, d);
    draw_smith_panel(svg, d, reflections_);
    if (d.noise_lines > 0) draw_noise_panel(svg, d);
    draw_legend(svg, d, names_, legend_top);
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
