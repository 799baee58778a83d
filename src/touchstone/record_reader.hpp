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

// The pairs of a record's numbers text (what follows the frequency): the first `pairs` pairs
// in S11, S21, S12, S22 order, reading the line as S11, S12, S21, S22 when order_12_21 holds.
void take_pairs(std::string_view numbers, int pairs, bool order_12_21, DataRecord& record);

// A two-port's records before their numbers are read: the frequency token written out, the
// forward record's numbers text and, in two-file mode, the reverse record's (else empty).
// Views into the readers' lines, or into a copy of them.
struct TwoPortText {
    std::string_view frequency_text;
    std::string_view forward;
    std::string_view reverse;
};

// How to read a TwoPortText: one file or two, and each file's pair order.
struct TwoPortLayout {
    bool single_file = true;
    bool forward_12_21 = false;
    bool reverse_12_21 = false;
};

// S11, S21, S12, S22 as the files write them. One file: the line's four pairs, filled when it
// holds only S11 and S21. Two files: S11 and S21 from the forward text, S22 and S12 from the
// reverse text.
void take_two_port(const TwoPortText& text, const TwoPortLayout& layout, TwoPort& s);

// Whether the last two-file record found its reverse record at the same frequency.
enum class RecordPairing { paired, mismatched };

// A line that stops before S12's second number holds only S11 and S21: it describes a
// symmetrical, reciprocal device, so S12 := S21 and S22 := S11. Written zeros are data.
bool holds_only_s11_and_s21(const DataRecord& record);
void fill_symmetrical(TwoPort& s);

// The data records of one input file, read once from front to back after its option line.
class RecordReader {
public:
    explicit RecordReader(InputSlot& input) : input_(input) {}
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Reads the lines after the option line up to the first data line, which is kept for the
    // next call of next_data_record: keyword lines are read for their values, blank and
    // comment lines skipped, and '[Reference]' values continued on later lines consumed.
    FileKeywords read_keyword_lines();

    // The numbers after the frequency of the next record, or the empty text when there is
    // none: end of file, a drop in frequency, a keyword line, or a line holding only a
    // frequency. The view lives until the next call.
    std::string_view next_data_record();

    // The next record with its first `pairs` pairs (in S11, S21, S12, S22 order) read as
    // numbers; false where next_data_record gives the empty text.
    bool next_record(int pairs, DataRecord& record);

    // Frequency token of the non-empty line read last, as cleaned.
    const std::string& frequency_text() const { return frequency_text_; }
    double last_frequency() const { return last_frequency_; }
    // Whether '[Two-Port Data Order] 12_21' came before the data.
    bool order_12_21() const { return order_12_21_; }

private:
    InputSlot& input_;
    double last_frequency_ = 0.0;
    bool data_started_ = false;  // a record has been delivered
    bool no_data_ = false;       // a keyword ended the file before any record
    bool has_pending_ = false;   // line_ holds a cleaned line not yet looked at
    bool order_12_21_ = false;
    std::string line_;
    std::string frequency_text_;
};

// Two-ports from one complete file (reverse null), or from a forward and a reverse file.
class TwoPortReader {
public:
    TwoPortReader(RecordReader& forward, RecordReader* reverse)
        : forward_(forward), reverse_(reverse) {}

    // The next two-port, S11, S21, S12, S22 as the files write them; false at the end of the
    // forward data. One file: a line, filled when it holds only S11 and S21. Two files: S11
    // and S21 from the forward record, S22 and S12 from the reverse record of the same
    // frequency; a reverse file without it sets pairing to mismatched.
    bool next_two_port(TwoPort& s, RecordPairing& pairing);

    // The same records before their numbers are read: what next_two_port takes apart. The
    // views live until the next call.
    bool next_two_port_text(TwoPortText& text, RecordPairing& pairing);

    // The frequency token of the last two-port: in two-file mode the reverse file's.
    const std::string& frequency_text() const {
        return (reverse_ != nullptr ? *reverse_ : forward_).frequency_text();
    }

    // How the texts are read; known once the keyword lines have been read.
    TwoPortLayout layout() const {
        return {reverse_ == nullptr, forward_.order_12_21(),
                reverse_ != nullptr && reverse_->order_12_21()};
    }

private:
    RecordReader& forward_;
    RecordReader* reverse_;
};

}  // namespace tavrin
