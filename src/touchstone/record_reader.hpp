// Data records of the input files, one at a time, in rising frequency order, with what the
// file states around them: its header, keyword lines, port impedance comments and noise block.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "network/complex.hpp"
#include "network/noise.hpp"
#include "network/port_renormalise.hpp"
#include "network/renormalise.hpp"
#include "support/failure.hpp"
#include "support/file_slots.hpp"
#include "touchstone/keyword_line.hpp"

namespace tavrin {

// What the keyword lines of a Touchstone 2.0 file say between its option line and its first
// data record. A version 1 file has none, and so all defaults.
struct FileKeywords {
    // '[Two-Port Data Order] 12_21': each line holds S11, S12, S21, S22.
    bool order_12_21 = false;
    // '[Matrix Format] Lower' or 'Upper', where the reader was told to accept them.
    MatrixFormat matrix = MatrixFormat::full;
    // '[Reference]': one impedance for both ports, or one per port.
    int reference_count = 0;
    double reference[2] = {0.0, 0.0};
    long long reference_line = 0;
    // The first keyword asking for what the conversion cannot honour: different references
    // in two '[Reference]' lines, a port count other than 2, a matrix format other than Full,
    // mixed-mode data, an unknown pair order.
    Failure refusal;
};

// Everything a file says before its first data record, and whether its records carry port
// impedance comments (known from the first record's).
struct FileHeader {
    std::string option_line;  // as read
    long long option_line_number = 0;
    FileKeywords keywords;
    bool not_renormalized = false;        // a comment says the data is for the ports' own Z
    std::optional<WaveDefinition> waves;  // a comment names the wave definition
    bool port_impedances = false;
};

// One data line taken apart: the frequency, and the pairs as the file writes them, always in
// the order S11, S21, S12, S22 whatever the file's own order. Pairs not asked for, and numbers
// missing from the line, are 0.
struct DataRecord {
    double frequency = 0.0;
    Complex pairs[4];
    // Tokens after the frequency among those taken (fewer when the line is short).
    int tokens = 0;
    // The text after the tokens taken.
    std::string_view rest;
};

// The pairs of a record's numbers text (what follows the frequency): the first `pairs` pairs
// in S11, S21, S12, S22 order, reading the line as S11, S12, S21, S22 when order_12_21 holds.
void take_pairs(std::string_view numbers, int pairs, bool order_12_21, DataRecord& record);

// A two-port's records before their numbers are read: the frequency token written out, the
// forward record's numbers text and, in two-file mode, the reverse record's (else empty), and
// the port impedances the forward record's comments give (where the file has them).
// Views into the readers' lines, or into a copy of them.
struct TwoPortText {
    std::string_view frequency_text;
    std::string_view forward;
    std::string_view reverse;
    PortImpedances impedances;
    long long forward_line = 0;  // where the records stand, for a record that is broken
    long long reverse_line = 0;
};

// How to read a TwoPortText: one file or two, and each file's pair order.
struct TwoPortLayout {
    bool single_file = true;
    bool forward_12_21 = false;
    bool reverse_12_21 = false;
    MatrixFormat matrix = MatrixFormat::full;  // one file only
};

// A record whose count of numbers no two-port line has: which file's, and how many it holds;
// -1 numbers for one whose network cannot be renormalised.
struct BrokenTwoPort {
    FileRole file = FileRole::none;
    int numbers = 0;
};

// S11, S21, S12, S22 as the files write them. One file: the line's four pairs, filled when it
// holds only S11 and S21; a Lower or Upper matrix's three pairs, mirrored. Two files: S11 and
// S21 from the forward text, S22 and S12 from the reverse text. False, with broken set, for a
// text that holds 1 to 3 or 5 to 7 numbers (a Lower or Upper one: other than 6): a truncated
// line whose missing numbers must not be invented.
bool take_two_port(const TwoPortText& text, const TwoPortLayout& layout, TwoPort& s,
                   BrokenTwoPort& broken);

// A line that holds S11 and S21 and nothing more describes a symmetrical, reciprocal device,
// so S12 := S21 and S22 := S11. Written zeros are data.
bool holds_only_s11_and_s21(const DataRecord& record);
void fill_symmetrical(TwoPort& s);

// The failure a broken record is: its file, line and frequency, and how many numbers it holds.
Failure broken_record(const TwoPortText& text, const BrokenTwoPort& broken);

// One line of a noise block: its frequency token as written and its four numbers.
struct NoiseLine {
    std::string_view frequency_text;
    NoiseParameters parameters;
    // Given in a '[Noise Data]' block of a Touchstone 2.0 file, where Rn is in ohms.
    bool resistance_in_ohms = false;
};

// The records of one input file, read once from front to back. Each record's following comment
// lines are read with it, for the port impedances a field solver writes there, so the reader
// always holds the next non-empty line read ahead.
class RecordReader {
public:
    // triangular: '[Matrix Format] Lower' and 'Upper' are read rather than refused.
    explicit RecordReader(InputSlot& input, bool triangular = false)
        : input_(input), triangular_(triangular) {}
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Reads up to the option line (the first line whose first character other than blanks and
    // tabs is '#'), the keyword lines after it, and the first record with its comments, which
    // next_data_record then gives. False when the file has no option line.
    bool read_header(FileHeader& header);

    // The numbers after the frequency of the next record, or the empty text when there is
    // none: end of file, a drop in frequency, a keyword line, the start of a noise block, or a
    // problem(): a line holding only a frequency, or the record's port impedances. A record may
    // stand on two lines: the frequency with S11 and S21, then S12 and S22 alone. The view
    // lives until the next call.
    std::string_view next_data_record();

    // The next record with its first `pairs` pairs (in S11, S21, S12, S22 order) read as
    // numbers; false where next_data_record gives the empty text.
    bool next_record(int pairs, DataRecord& record);

    // Once the records have ended: the lines of the noise block that follows them, one by one,
    // renormalisable; false when there are no more. A file without records has none, and a
    // '[Noise Data]' block starting above the last record's frequency is left out, since a
    // version 1 file, which finds its noise block by the drop in frequency, cannot hold it.
    bool next_noise_line(NoiseLine& noise);

    // Frequency token of the record last delivered, as cleaned.
    std::string_view frequency_text() const { return frequency_text_; }
    double last_frequency() const { return last_frequency_; }
    // Line number of the record last delivered, or of the line the data ended at.
    long long line_number() const { return record_line_number_; }
    // The port impedances given for the record last delivered, and the line that gave them.
    const PortImpedances& port_impedances() const { return impedances_; }
    long long port_impedances_line() const { return impedances_line_number_; }
    // Whether '[Two-Port Data Order] 12_21' came before the data.
    bool order_12_21() const { return order_12_21_; }
    MatrixFormat matrix() const { return matrix_; }
    // Why the data ended early, if it did.
    const Failure& problem() const { return problem_; }
    // Whether a '[Noise Data]' block was left out for starting above the last record.
    bool noise_block_left_out() const { return noise_left_out_; }

private:
    enum class Phase { header, records, noise };
    enum class DataEnd {
        not_yet,
        elsewhere,         // end of file, a keyword, a non-number: nothing follows
        noise_line_ahead,  // the line read ahead may start a version 1 noise block
        noise_keyword,     // '[Noise Data]': noise lines in ohms follow
        noise_over,
    };

    bool read_ahead();
    void read_comment(std::string_view raw_line);
    void read_keyword_lines(FileKeywords& keywords);
    std::string_view find_record();
    std::string_view deliver(double frequency, std::size_t numbers_at);
    bool continues_on_next_line(std::size_t numbers_at) const;
    void check_port_impedances();
    void gather_impedance_numbers(std::string_view text);
    void take_gathered_impedances();
    bool take_noise_line(NoiseLine& noise);

    InputSlot& input_;
    bool triangular_ = false;
    MatrixFormat matrix_ = MatrixFormat::full;
    Phase phase_ = Phase::records;
    DataEnd end_ = DataEnd::not_yet;
    // The record last delivered, and the non-empty cleaned line read after it.
    std::string record_;
    std::string ahead_;
    bool has_ahead_ = false;
    long long record_line_number_ = 0;
    long long ahead_line_number_ = 0;
    std::string_view numbers_;
    std::string_view frequency_text_;
    std::string_view first_record_;  // read with the header, and not yet given while
    bool first_pending_ = false;     // this holds
    double last_frequency_ = 0.0;
    bool data_started_ = false;   // a record has been delivered
    bool order_12_21_ = false;
    FileHeader* header_ = nullptr;  // while the header is read
    // Port impedance comments: whether the records carry them (as the first does), and the
    // ones read after the record last delivered.
    bool impedances_expected_ = false;
    bool impedances_given_ = false;
    bool matrix_row_possible_ = false;  // the comment read last was a port impedance line
    bool after_dropped_line_ = false;
    long long impedances_line_number_ = 0;
    long long first_record_line_number_ = 0;
    PortImpedances impedances_;
    // The numbers of a record's port impedance comments, as gathered over wrapped lines.
    double impedance_numbers_[8] = {};
    int impedance_count_ = 0;
    double last_noise_frequency_ = 0.0;
    bool noise_started_ = false;
    bool noise_left_out_ = false;
    Failure problem_;
};

// Two-ports from one complete file (reverse null), or from a forward and a reverse file.
class TwoPortReader {
public:
    TwoPortReader(RecordReader& forward, RecordReader* reverse)
        : forward_(forward), reverse_(reverse) {}

    // The next two-port, S11, S21, S12, S22 as the files write them; false at the end of the
    // forward data. One file: a line, filled when it holds only S11 and S21. Two files: S11
    // and S21 from the forward record, S22 and S12 from the reverse record of the same
    // frequency; a reverse file without it is a problem().
    bool next_two_port(TwoPort& s);

    // The same records before their numbers are read: what next_two_port takes apart. The
    // views live until the next call.
    bool next_two_port_text(TwoPortText& text);

    // The forward file's noise block, once the two-ports have ended.
    bool next_noise_line(NoiseLine& noise) { return forward_.next_noise_line(noise); }
    bool noise_block_left_out() const { return forward_.noise_block_left_out(); }

    // The frequency token of the last two-port: in two-file mode the reverse file's.
    std::string_view frequency_text() const {
        return (reverse_ != nullptr ? *reverse_ : forward_).frequency_text();
    }
    // Its value, which both files of a measurement share.
    double frequency() const { return forward_.last_frequency(); }
    // Where the last forward record's port impedances were given, and what they are.
    long long port_impedances_line() const { return forward_.port_impedances_line(); }
    const PortImpedances& port_impedances() const { return forward_.port_impedances(); }

    // How the texts are read; known once the headers have been read.
    TwoPortLayout layout() const {
        return {reverse_ == nullptr, forward_.order_12_21(),
                reverse_ != nullptr && reverse_->order_12_21(), forward_.matrix()};
    }

    // Why the two-ports ended early, if they did: a reader's problem, or a pair that does not
    // match (with the file it concerns set).
    const Failure& problem() const { return problem_; }

private:
    RecordReader& forward_;
    RecordReader* reverse_;
    Failure problem_;
};

}  // namespace tavrin
