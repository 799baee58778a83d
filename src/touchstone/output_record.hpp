// One output data line: the frequency token, then the eight numbers through a picture.
#pragma once

#include <string_view>

#include "network/conversions.hpp"
#include "network/renormalise.hpp"
#include "support/file_slots.hpp"
#include "text/picture.hpp"

namespace tavrin {

inline constexpr std::string_view ri_picture = " ##.#########";
inline constexpr std::string_view pair_picture = " ##.######### ####.#########";

// Writes frequency_text, the pairs S11, S21, S12, S22 and CR LF, the numbers with the
// data-line marks: no '%', and inf, -inf or nan for values that are not finite.
void write_data_record(OutputSlot& output, PictureState& pictures, std::string_view frequency_text,
                       DataFormat format, const TwoPort& results);

}  // namespace tavrin
