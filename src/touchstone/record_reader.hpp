// Data records of the input files, one at a time, in rising frequency order.
#pragma once

#include <string>
#include <string_view>

#include "support/file_slots.hpp"

namespace tavrin {

class RecordReader {
public:
    // The numbers after the frequency of the next record of the forward (1) or reverse (2)
    // slot, or the empty text when there is none: end of file, a drop in frequency, or a
    // line holding only a frequency. The view lives until the next call for that slot.
    std::string_view next_data_record(InputSlot& input, int slot);

    // Frequency token of the non-empty line read last from either slot, as cleaned.
    const std::string& frequency_text() const { return frequency_text_; }
    double last_frequency(int slot) const { return last_frequency_[slot == reverse_slot]; }

private:
    double last_frequency_[2] = {0.0, 0.0};
    std::string frequency_text_;
    std::string lines_[2];
};

}  // namespace tavrin
