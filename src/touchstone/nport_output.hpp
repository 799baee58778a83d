// Output of files of any port count: records laid out row by row, and the keyword lines of a
// Touchstone 2.0 file, which can state a reference for each port.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "network/complex.hpp"
#include "support/file_slots.hpp"
#include "text/picture.hpp"
#include "touchstone/data_format.hpp"

namespace tavrin {

// One record: frequency_text, then the pairs through the format's picture with the data-line
// marks, CR LF after each line. Two ports: S11 S21 S12 S22 on one line, as the two-port output
// writes them. Other counts: row by row (S11 ... S1N, then S21 ...), each row on a line of its
// own and at most four pairs a line; continuation lines start with as many blanks as the
// frequency token has characters, so the columns line up. s holds ports x ports elements, S_ij
// at [i * ports + j].
void write_nport_record(OutputSlot& output, PictureState& pictures,
                        std::string_view frequency_text, const FormatDescriptor& format,
                        const Complex* s, std::size_t ports);

// What the keyword lines of a Touchstone 2.0 output say.
struct Version2Header {
    std::string_view option_line;  // rewritten for the new references
    std::size_t ports = 0;
    unsigned long long frequencies = 0;
    unsigned long long noise_frequencies = 0;  // two ports only; 0 writes no count
    std::span<const double> references;       // one per port
    std::string_view mode_order;  // '[Mixed-Mode Order]' of mixed-mode data; empty for none
};

// '[Version] 2.0', the option line, '[Number of Ports]', for two ports '[Two-Port Data Order]
// 21_12', '[Number of Frequencies]', '[Number of Noise Frequencies]' where there are any,
// '[Reference]', '[Mixed-Mode Order]' where there is one, and '[Network Data]', each line
// ending in CR LF.
void write_version_2_header(OutputSlot& output, const Version2Header& header);
// '[Noise Data]', which starts the noise block, and '[End]'.
void write_version_2_noise_start(OutputSlot& output);
void write_version_2_end(OutputSlot& output);

// Whether a name is a Touchstone 2.0 file's: it ends in ".ts", in any letter case.
bool names_version_2_file(std::string_view name);

}  // namespace tavrin
