#include "run/picture_caption.hpp"

#include <algorithm>
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

// The modes' references beside the lines': "42.5 Ω per line: D 85 Ω, C 21.25 Ω", each kind's
// values in the order of the modes where the pairs have different ones.
std::string with_modes(const std::vector<double>& lines, const ModeOrder& order) {
    const std::vector<double> references = mode_references(order, lines);
    std::string text = per_port(lines);
    if (text.ends_with(" per port")) text.resize(text.size() - 9);
    text += " per line:";
    for (const ModeKind kind : {ModeKind::differential, ModeKind::common}) {
        std::vector<double> values;
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (order[i].kind != kind) continue;
            if (std::find(values.begin(), values.end(), references[i]) == values.end()) {
                values.push_back(references[i]);
            }
        }
        std::string list;
        for (const double z : values) {
            if (!list.empty()) list += '/';
            list += canonical_number_text(z);
        }
        text += std::string(kind == ModeKind::differential ? " D " : ", C ") + list +
                std::string(ohms);
    }
    return text;
}

// Which ports each pair of a mixed-mode picture's names is: "pair 1: ports 1,3 (positive
// first); pair 2: ports 2,4".
std::string pairs_named(const ModeOrder& order) {
    std::string text;
    std::size_t number = 0;
    for (const Mode& mode : order) {
        if (mode.kind != ModeKind::differential) continue;
        text += text.empty() ? "pair " : "; pair ";
        text += std::to_string(++number);
        text += ": ports ";
        text += std::to_string(mode.positive + 1);
        text += ',';
        text += std::to_string(mode.negative + 1);
    }
    return text.empty() ? text : text + " (positive first)";
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
    if (report.output_modes) {
        // The data as read is shown in the modes written, at the references of its lines.
        if (!report.from_each.empty()) {
            caption.references_from = with_modes(report.from_each, report.output_modes->order);
        }
        const std::vector<double> lines = report.z_new_each.empty()
                                              ? std::vector<double>(report.ports, report.z_new)
                                              : report.z_new_each;
        caption.references_to = with_modes(lines, report.output_modes->order);
        caption.modes = pairs_named(report.output_modes->order);
    }
    caption.frequency_unit = unit_name(read_option_line(report.option_line).frequency_unit);
    return caption;
}

}  // namespace tavrin
