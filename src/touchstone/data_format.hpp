// Everything that differs between the data formats of a Touchstone file, one descriptor each:
// its name on the option line, its conversion to and from real/imaginary form, and the picture
// of its output data lines. Adding a format means adding a descriptor.
#pragma once

#include <string_view>

#include "network/conversions.hpp"
#include "network/renormalise.hpp"

namespace tavrin {

struct FormatDescriptor {
    DataFormat format;
    std::string_view name;
    // The picture an output data line repeats over its eight numbers.
    std::string_view picture;
    // One pair to and from real/imaginary form; null where the pairs already are.
    void (*pair_to_ri)(Complex&);
    void (*pair_from_ri)(Complex&);

    void to_ri(TwoPort& s) const { apply(pair_to_ri, s); }
    void from_ri(TwoPort& s) const { apply(pair_from_ri, s); }

private:
    static void apply(void (*convert)(Complex&), TwoPort& s) {
        if (convert == nullptr) return;
        convert(s.s11);
        convert(s.s21);
        convert(s.s12);
        convert(s.s22);
    }
};

const FormatDescriptor& format_descriptor(DataFormat format);

// The format an upper-cased option line names: "DB" anywhere, else MA unless "RI" occurs
// somewhere, else RI. Substrings count, as exporters' lines have always been read.
const FormatDescriptor& format_named_in(std::string_view upper_case_line);

}  // namespace tavrin
