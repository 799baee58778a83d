#include "touchstone/output_record.hpp"

namespace tavrin {

void write_data_record(OutputSlot& output, PictureState& pictures, std::string_view frequency_text,
                       const FormatDescriptor& format, const TwoPort& results) {
    output.write(frequency_text);
    pictures.start_picture(format.picture, PictureMarks::data_line);
    const double numbers[8] = {results.s11.re, results.s11.im, results.s21.re, results.s21.im,
                               results.s12.re, results.s12.im, results.s22.re, results.s22.im};
    for (int i = 0; i < 7; ++i) pictures.write_picture_number(output, numbers[i], 0);
    pictures.write_picture_number(output, numbers[7], item_last | item_end_line);
    pictures.end_picture(output);
}

void write_noise_record(OutputSlot& output, PictureState& pictures,
                        std::string_view frequency_text, const NoiseParameters& noise) {
    static constexpr std::string_view picture = " ##.######### ##.######### ####.######### ##.#########";
    output.write(frequency_text);
    pictures.start_picture(picture, PictureMarks::data_line);
    pictures.write_picture_number(output, noise.fmin_db, 0);
    pictures.write_picture_number(output, noise.gamma_magnitude, 0);
    pictures.write_picture_number(output, noise.gamma_degrees, 0);
    pictures.write_picture_number(output, noise.resistance, item_last | item_end_line);
    pictures.end_picture(output);
}

}  // namespace tavrin
