#include "touchstone/nport_output.hpp"

#include <string>

#include "support/text.hpp"
#include "text/number_text.hpp"

namespace tavrin {

namespace {

constexpr std::size_t pairs_per_line = 4;

void write_line(OutputSlot& output, std::string_view text) {
    output.write(text);
    output.write_line_end();
}

// Pairs on one output line after whatever the line starts with.
void write_pairs(OutputSlot& output, PictureState& pictures, const FormatDescriptor& format,
                 const Complex* const* pairs, std::size_t count) {
    pictures.start_picture(format.picture, PictureMarks::data_line);
    for (std::size_t k = 0; k < count; ++k) {
        pictures.write_picture_number(output, pairs[k]->re, 0);
        pictures.write_picture_number(output, pairs[k]->im,
                                      k + 1 == count ? (item_last | item_end_line) : 0);
    }
    pictures.end_picture(output);
}

void write_blanks(OutputSlot& output, std::size_t count) {
    static constexpr std::string_view blanks = "                                ";
    for (; count > blanks.size(); count -= blanks.size()) output.write(blanks);
    output.write(blanks.substr(0, count));
}

}  // namespace

void write_nport_record(OutputSlot& output, PictureState& pictures,
                        std::string_view frequency_text, const FormatDescriptor& format,
                        const Complex* s, std::size_t ports) {
    output.write(frequency_text);
    if (ports == 2) {
        const Complex* const pairs[4] = {&s[0], &s[2], &s[1], &s[3]};
        write_pairs(output, pictures, format, pairs, 4);
        return;
    }
    const Complex* line[pairs_per_line];
    bool first_line = true;
    for (std::size_t i = 0; i < ports; ++i) {
        for (std::size_t j = 0; j < ports; j += pairs_per_line) {
            const std::size_t count = ports - j < pairs_per_line ? ports - j : pairs_per_line;
            for (std::size_t k = 0; k < count; ++k) line[k] = &s[i * ports + j + k];
            if (!first_line) write_blanks(output, frequency_text.size());
            first_line = false;
            write_pairs(output, pictures, format, line, count);
        }
    }
}

void write_version_2_header(OutputSlot& output, const Version2Header& header) {
    write_line(output, "[Version] 2.0");
    write_line(output, header.option_line);
    write_line(output, "[Number of Ports] " + std::to_string(header.ports));
    if (header.ports == 2) write_line(output, "[Two-Port Data Order] 21_12");
    write_line(output, "[Number of Frequencies] " + std::to_string(header.frequencies));
    if (header.noise_frequencies > 0) {
        write_line(output,
                   "[Number of Noise Frequencies] " + std::to_string(header.noise_frequencies));
    }
    std::string references = "[Reference]";
    for (const double z : header.references) {
        references += ' ';
        references += canonical_number_text(z);
    }
    write_line(output, references);
    if (!header.mode_order.empty()) {
        write_line(output, "[Mixed-Mode Order] " + std::string(header.mode_order));
    }
    write_line(output, "[Network Data]");
}

void write_version_2_noise_start(OutputSlot& output) { write_line(output, "[Noise Data]"); }

void write_version_2_end(OutputSlot& output) { write_line(output, "[End]"); }

bool names_version_2_file(std::string_view name) {
    return name.size() >= 3 && name[name.size() - 3] == '.' &&
           upper_case_ascii(name[name.size() - 2]) == 'T' &&
           upper_case_ascii(name[name.size() - 1]) == 'S';
}

}  // namespace tavrin
