#include "touchstone/data_format.hpp"

namespace tavrin {

namespace {

constexpr std::string_view ri_picture = " ##.#########";
constexpr std::string_view pair_picture = " ##.######### ####.#########";

const FormatDescriptor descriptors[] = {
    {DataFormat::ri, "RI", ri_picture, nullptr, nullptr},
    {DataFormat::ma, "MA", pair_picture, [](Complex& c) { convert_to_ri(c, DataFormat::ma); },
     [](Complex& c) { convert_from_ri(c, DataFormat::ma); }},
    {DataFormat::db, "DB", pair_picture, [](Complex& c) { convert_to_ri(c, DataFormat::db); },
     [](Complex& c) { convert_from_ri(c, DataFormat::db); }},
};

}  // namespace

const FormatDescriptor& format_descriptor(DataFormat format) {
    return descriptors[static_cast<int>(format)];
}

const FormatDescriptor& format_named_in(std::string_view upper_case_line) {
    const auto names = [&](DataFormat format) {
        return upper_case_line.find(format_descriptor(format).name) != std::string_view::npos;
    };
    if (names(DataFormat::db)) return format_descriptor(DataFormat::db);
    if (!names(DataFormat::ri)) return format_descriptor(DataFormat::ma);
    return format_descriptor(DataFormat::ri);
}

}  // namespace tavrin
