#include "run/picture_caption.hpp"

#include <string_view>
#include <utility>
#include <vector>

#include "text/number_text.hpp"
#include "touchstone/option_line.hpp"

namespace tavrin {

namespace {

constexpr std::string_view ohms = " \xCE\xA9";  // " Ω"

std::string in_ohms(double z) {
    return canonical_number_text(z) + std::string(ohms);
}

// "50 Ω" where every port has the same, else "50/75 Ω per port".
std::string per_port(const std::vector<double>& values) {
    bool same = true;
    std::string text;
    for (const double z : values) {
        same = same && z == values.front();
        if (!text.empty()) text += '/';
        text += canonical_number_text(z);
    }
    if (same) return in_ohms(values.front());
    return text + std::string(ohms) + " per port";
}

std::string unit_name(std::string_view upper_case) {
    if (upper_case == "HZ") return "Hz";
    if (upper_case == "KHZ") return "kHz";
    if (upper_case == "MHZ") return "MHz";
    return "GHz";  // named so, or the unit of a file that names none
}

}  // namespace

PictureCaption picture_caption(const RunReport& report, std::string input_name) {
    PictureCaption caption;
    caption.input_name = std::move(input_name);
    const StatedReferences& references = report.references;
    switch (references.kind) {
        case StatedReferences::Kind::per_frequency:
            caption.references_from =
                "port impedances (" + std::string(wave_definition_name(report.waves)) + " waves)";
            break;
        case StatedReferences::Kind::per_port:
            caption.references_from = per_port({references.values[0], references.values[1]});
            break;
        case StatedReferences::Kind::one:
            caption.references_from = report.from_each.empty() ? in_ohms(references.values[0])
                                                               : per_port(report.from_each);
            break;
    }
    caption.references_to =
        report.z_new_each.empty() ? in_ohms(report.z_new) : per_port(report.z_new_each);
    caption.frequency_unit = unit_name(read_option_line(report.option_line).frequency_unit);
    return caption;
}

}  // namespace tavrin
