// Data records of the input files, one at a time, in rising frequency order.
#pragma once

#include <string>
#include <string_view>

#include "network/complex.hpp"
#include "network/renormalise.hpp"
#include "support/file_slots.hpp"

namespace tavrin {

// What the keyword lines of a Touchstone 2.0 file say between its option line and its first
// data record. A version 1 file has none, and so all defaults.
struct FileKeywords {
    // '[Two-Port Data Order] 12_21': each line holds S11, S12, S21, S22.
    bool order_12_21 = false;
    // '[Reference]' named one impedance for both ports.
    bool has_reference = false;
    double reference = 0.0;
    // Something the conversion cannot honour: two different references, a port count other
    // than 2, a matrix format other than Full, mixed-mode data, an unknown pair order.
    bool refused = false;
};

// One data line taken apart: the frequency, and the pairs as the file writes them, always in
// the order S11, S21, S12, S22 whatever the file's own order. Pairs not asked for, and numbers
// missing from the line, are 0.
struct DataRecord {
    double frequency = 0.0;
    Complex pairs[4];
    // Tokens after the frequency among those taken (fewer when the line is short).
    int tokens = 0;
};

// Whether the last two-file record found its reverse record at the same frequency.
enum class RecordPairing { paired, mismatched };

// A line that stops before S12's second number holds only S11 and S21: it describes a
// symmetrical, reciprocal device, so S12 := S21 and S22 := S11. Written zeros are data.
bool holds_only_s11_and_s21(const DataRecord& record);
void fill_symmetrical(TwoPort& s);

class RecordReader {
public:
    // Reads the lines after the option line up to the first data line, which is kept for the
    // next call of next_data_record: keyword lines are read for their values, blank and
    // comment lines skipped, and '[Reference]' values continued on later lines consumed.
    FileKeywords read_keyword_lines(InputSlot& input, int slot);

    // The numbers after the frequency of the next record of the forward (1) or reverse (2)
    // slot, or the empty text when there is none: end of file, a drop in frequency, a keyword
    // line, or a line holding only a frequency. The view lives until the next call for that
    // slot.
    std::string_view next_data_record(InputSlot& input, int slot);

    // The next record with its first `pairs` pairs (in S11, S21, S12, S22 order) read as
    // numbers; false where next_data_record gives the empty text.
    bool next_record(InputSlot& input, int slot, int pairs, DataRecord& record);

    // The next two-port, S11, S21, S12, S22 as the files write them; false at the end of the
    // forward data. Single-file mode (reverse null): one line, filled when it holds only S11
    // and S21. Two-file mode: S11 and S21 from the forward record, S22 and S12 from the reverse
    // record of the same frequency; a reverse file without it sets pairing to mismatched.
    bool next_two_port(InputSlot& forward, InputSlot* reverse, TwoPort& s, RecordPairing& pairing);

    // Frequency token of the non-empty line read last from either slot, as cleaned.
    const std::string& frequency_text() const { return frequency_text_; }
    double last_frequency(int slot) const { return state(slot).last_frequency; }

private:
    struct SlotState {
        double last_frequency = 0.0;
        bool data_started = false;  // a record has been delivered
        bool no_data = false;       // a keyword ended the file before any record
        bool has_pending = false;   // line holds a cleaned line not yet looked at
        bool order_12_21 = false;
        std::string line;
    };
    SlotState& state(int slot) { return slots_[slot == reverse_slot ? 1 : 0]; }
    const SlotState& state(int slot) const { return slots_[slot == reverse_slot ? 1 : 0]; }

    SlotState slots_[2];
    std::string frequency_text_;
};

}  // namespace tavrin
