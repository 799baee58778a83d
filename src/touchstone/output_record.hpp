// One output data line: the frequency token, then the eight numbers through a picture.
#pragma once

#include <string_view>

#include "network/noise.hpp"
#include "network/renormalise.hpp"
#include "support/file_slots.hpp"
#include "text/picture.hpp"
#include "touchstone/data_format.hpp"

namespace tavrin {

// Writes frequency_text, the pairs S11, S21, S12, S22 through the format's picture, and CR LF;
// the numbers with the data-line marks: no '%', and inf, -inf or nan for values that are not
// finite.
void write_data_record(OutputSlot& output, PictureState& pictures, std::string_view frequency_text,
                       const FormatDescriptor& format, const TwoPort& results);

// Writes a noise line: frequency_text, then Fmin, |Gamma_opt|, its angle and rn with the data
// lines' marks, always as magnitude and angle whatever the S-parameters' format, and CR LF.
void write_noise_record(OutputSlot& output, PictureState& pictures,
                        std::string_view frequency_text, const NoiseParameters& noise);

}  // namespace tavrin
