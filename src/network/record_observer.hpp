// What a conversion shows of itself, record by record, to whatever watches it (the picture
// of --plot): each record's values as read and as written, in file order, always from the
// thread that writes the output. A conversion nobody watches keeps nothing for it.
#pragma once

#include <cstddef>
#include <span>

#include "network/complex.hpp"
#include "network/mixed_mode.hpp"
#include "network/noise.hpp"

namespace tavrin {

class RecordObserver {
  public:
    virtual ~RecordObserver() = default;

    // Once, before the first record: the port count, and for mixed-mode data the modes of the
    // matrix's rows and columns (null for single-ended data). Gives the S-matrix elements to
    // hand over, as row-major indices i * ports + j (S11 is 0), valid until the conversion ends.
    virtual std::span<const std::size_t> begin(std::size_t ports, const ModeOrder* modes) = 0;

    // One record: its frequency in the file's unit, and the watched elements in the order
    // begin gave them, in real/imaginary form: first all as read (for the file's own
    // references, in the modes of what is written), then all again as written (for the new
    // ones).
    virtual void record(double frequency, const Complex* values) = 0;

    // One noise line: its frequency, and the parameters as read and as written.
    virtual void noise(double frequency, const NoiseParameters& read,
                       const NoiseParameters& written) = 0;
};

}  // namespace tavrin
