// Records of a Touchstone file of any port count, read by count of numbers, with what the file
// states around them: its header, keyword lines and port impedance comments.
//
// Grammar (lines cleaned; '!' comments and blank lines may stand anywhere):
//   header   := any lines, then the option line (first character other than blanks and tabs
//               '#'); in a version 2.0 file '[Version]' comes before it
//   keywords := '[Name] value' lines up to '[Network Data]' or the first data line
//   record   := frequency, then the record's numbers (2 N^2 for a full matrix, N (N + 1) for
//               '[Matrix Format] Lower' or 'Upper'), over as many lines as the file takes;
//               continuation lines hold no frequency, and the record ends with its line
//   end      := the end of the file, '[End]', or '[Noise Data]'; for two ports also a line of a
//               frequency that does not rise and four numbers, which starts a noise block
// Version 1 writes N >= 3 row by row (S11 S12 ... S1N, then S21 ...), N = 1 as one pair, and
// N = 2 as S11 S21 S12 S22 ('[Two-Port Data Order] 12_21': S11 S12 S21 S22), each two-port
// record on a line of its own: four numbers there are S11 and S21 of a symmetrical device
// (S12 := S21, S22 := S11). '[Mixed-Mode Order]' (see mode_order.hpp) may continue on lines of
// entries only.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "network/complex.hpp"
#include "network/port_renormalise.hpp"
#include "support/failure.hpp"
#include "support/file_slots.hpp"
#include "network/mixed_mode.hpp"
#include "touchstone/keyword_line.hpp"
#include "touchstone/option_line.hpp"

namespace tavrin {

// The most ports a file may have. Each record is solved as an N x N matrix of extended complex
// numbers (32 bytes each); beyond 5792 ports that one matrix alone would pass 1 GiB, so such a
// count is refused before any record is read. Nothing is sized by a stated count: buffers grow
// with the numbers read.
constexpr int max_ports = 5792;

// Everything a file says before its first record.
struct NPortHeader {
    std::string option_line;  // as read
    long long option_line_number = 0;
    int version = 1;                  // 2 after '[Version] 2.0'
    int ports = 0;                    // '[Number of Ports]'; 0 where the file does not say
    long long ports_line = 0;
    MatrixFormat matrix = MatrixFormat::full;
    bool order_12_21 = false;         // '[Two-Port Data Order] 12_21'
    std::vector<double> reference;    // '[Reference]': one value, or one per port
    long long reference_line = 0;
    std::string reference_text;       // its keyword line, as cleaned
    long long frequencies = -1;       // '[Number of Frequencies]'; -1 where absent
    long long frequencies_line = 0;
    bool not_renormalized = false;        // a comment says the data is for the ports' own Z
    std::optional<WaveDefinition> waves;  // a comment names the wave definition
    bool port_impedances = false;         // the records carry them (known from the first)
    // '[Mixed-Mode Order]': the records hold the matrix of these modes; checked against the
    // port count where the header or the caller gives one.
    std::optional<ModeOrder> modes;
    long long modes_line = 0;  // the first; set even where the order cannot be read
    // The first thing the file states that cannot be converted: a port count that differs
    // from the one given to the reader, an order of modes that does not name every port once
    // per mode, an unknown matrix format...
    Failure refusal;
};

// One record: the frequency token as cleaned, its value, the S-matrix row by row as the file
// writes its pairs (not yet converted from MA or DB; the missing half of a Lower or Upper
// matrix filled in as the mirror image), and the port impedances its comments give.
struct NPortRecord {
    std::string frequency_text;
    double frequency = 0.0;
    std::vector<Complex> s;           // ports x ports, S_ij at [i * ports + j]
    std::vector<Complex> impedances;  // ports values where the file gives them, else empty
    long long line = 0;               // the record's first line
};

// The references an N-port file's data is given for.
struct NPortReferences {
    enum class Kind { one, per_port, per_frequency };
    Kind kind = Kind::one;
    std::vector<double> values;  // one per port, for one and per_port
};

// As for two ports: port impedance comments over '[Reference]' over the option line's "R "
// list (one value, or one per port), 50 ohms when nothing is stated, refused when the file says
// its data is not renormalised and states nothing. Every real value must be finite and above 0.
Failure read_nport_references(const OptionLine& option, const NPortHeader& header,
                              std::size_t ports, NPortReferences& references);

class NPortReader {
public:
    // ports: the count the caller already knows (an extension, --ports), 0 when it does not.
    NPortReader(InputSlot& input, int ports) : input_(input), ports_(ports) {}
    NPortReader(const NPortReader&) = delete;
    NPortReader& operator=(const NPortReader&) = delete;

    // Reads up to the first record. False when the file has no option line.
    bool read_header(NPortHeader& header);
    // Reads the first record with its comments (which sets header.port_impedances), for the
    // port count the caller settled on (1 to max_ports; any other is the problem()).
    void begin_records(int ports, NPortHeader& header);
    // The next record; false at the end of the data or at a problem().
    bool next_record(NPortRecord& record);
    // Why the records ended early, if they did; its file role is the caller's to set.
    const Failure& problem() const { return problem_; }
    unsigned long long records_read() const { return records_read_; }
    // Where noise data follows the records ('[Noise Data]', or a two-port's noise line), once
    // they have ended; 0 where none does.
    long long noise_line() const { return noise_line_; }

private:
    enum class Phase { header, records, ended };

    bool next_line();
    void read_comment(std::string_view comment);
    void read_keyword_lines(NPortHeader& header);
    void read_keyword(NPortHeader& header, long long line);
    void read_reference(NPortHeader& header, long long line);
    void read_mode_order(NPortHeader& header, long long line);
    bool starts_noise_block(std::string_view rest) const;
    void fill_symmetrical(NPortRecord& record) const;
    bool read_record(NPortRecord& record);
    bool take_record_numbers(std::string_view rest, NPortRecord& record);
    void arrange_matrix(NPortRecord& record) const;
    void check_port_impedances(NPortRecord& record);
    bool finish();
    void fail_record(Cause cause, long long line, std::string_view subject, std::string other);
    void refuse(NPortHeader& header, Cause cause, long long line, std::string_view subject,
                std::string other = {});

    InputSlot& input_;
    int ports_ = 0;  // as given, then as settled by begin_records
    Phase phase_ = Phase::header;
    NPortHeader* header_ = nullptr;  // while the header is read
    // The non-empty cleaned line read last and not yet taken, and its number.
    std::string line_;
    bool has_line_ = false;
    long long line_number_ = 0;
    // How the records are laid out, from the header.
    MatrixFormat matrix_ = MatrixFormat::full;
    bool order_12_21_ = false;
    bool one_line_records_ = false;  // a version 1 two-port's
    unsigned long long numbers_per_record_ = 0;
    long long frequencies_stated_ = -1;
    long long frequencies_line_ = 0;
    // The record being read: numbers taken so far, and a real part waiting for its imaginary.
    unsigned long long numbers_taken_ = 0;
    double real_part_ = 0.0;
    // The first record is read by begin_records and held until next_record gives it.
    NPortRecord pending_;
    bool first_pending_ = false;
    bool first_complete_ = false;
    bool previous_ = false;  // a record has been read before the one being read
    double previous_frequency_ = 0.0;
    std::string previous_text_;
    // Port impedance comments of the record being read: all their numbers, in file order.
    std::vector<double> impedance_numbers_;
    bool impedances_given_ = false;
    bool impedances_continue_ = false;  // numbers-only comments still add to them
    long long impedances_line_ = 0;
    long long impedances_bad_line_ = 0;  // a second one, or one holding words
    bool record_open_ = false;           // a record's first line has been read
    bool impedances_expected_ = false;
    long long first_record_line_ = 0;
    std::string token_;  // a comment token with a decimal comma, rewritten
    Failure problem_;
    unsigned long long records_read_ = 0;
    long long noise_line_ = 0;
};

}  // namespace tavrin
