// The picture of one conversion (--plot): |S| in dB against frequency and a Smith chart of
// the reflections, each as read (dashed) and as written (solid), and where there is noise
// data NFmin against frequency and Gamma_opt on the chart. It watches the conversion as it
// streams and keeps a bounded reduction of it, whatever the record count; what the title says
// of the files and references is the caller's to give.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "network/record_observer.hpp"
#include "plot/min_max_bins.hpp"
#include "support/file_slots.hpp"

namespace tavrin {

struct PictureCaption {
    std::string input_name;       // as the user knows the input
    std::string references_from;  // what the data was given for: "50 Ω", "port impedances"
    std::string references_to;    // what it was converted to: "75 Ω"
    std::string frequency_unit;   // "GHz"
    std::string modes;            // mixed-mode data: "pair 1: ports 1,3; pair 2: ports 2,4"
};

// Files of up to this many ports show every S-parameter; larger ones their reflections and
// the transmissions from port 1.
inline constexpr std::size_t ports_with_every_parameter = 4;
// Of larger files, the parameters of this many ports at most: beyond that a picture is
// tangled lines, and its size would grow with the port count.
inline constexpr std::size_t most_ports_shown = 16;

class ConversionPicture : public RecordObserver {
  public:
    std::span<const std::size_t> begin(std::size_t ports, const ModeOrder* modes) override;
    void record(double frequency, const Complex* values) override;
    void noise(double frequency, const NoiseParameters& read,
               const NoiseParameters& written) override;

    // The parameters shown, in their order, as "S21" or "S10,1"; of mixed-mode data as "SDD21"
    // (D or C and the number of the pair, S and the number of a single-ended port).
    const std::vector<std::string>& parameter_names() const { return names_; }
    // The most bins of each trace: two points each, and its ends.
    std::size_t bins_per_trace() const { return capacity_; }

    // The whole SVG document of what was seen.
    void write(OutputSlot& output, const PictureCaption& caption) const;

  private:
    std::size_t ports_ = 0;
    std::vector<std::size_t> watched_;  // row-major S-matrix indices
    std::vector<std::string> names_;
    std::vector<std::size_t> reflections_;  // positions in watched_ of S11, S22...
    std::size_t capacity_ = 0;
    // Channels 0 to W - 1: the watched parameters as read; W to 2W - 1: as written.
    std::optional<MinMaxBins> records_;
    // Fmin in dB, Gamma_opt as read, Gamma_opt as written.
    MinMaxBins noise_{{SampleKey::real_part, SampleKey::magnitude, SampleKey::magnitude}, 1024};
};

}  // namespace tavrin
