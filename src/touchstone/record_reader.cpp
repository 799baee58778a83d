#include "touchstone/record_reader.hpp"

#include "support/text.hpp"
#include "text/number_text.hpp"
#include "touchstone/comment_lines.hpp"
#include "touchstone/keyword_line.hpp"
#include "touchstone/line_tokens.hpp"
#include "touchstone/option_line.hpp"

namespace tavrin {

namespace {

// The impedances of a '[Reference]' keyword, gathered from its own line and, while fewer than
// two have been found, from the lines after it. Three or more cannot belong to a two-port.
struct ReferenceValues {
    double values[2] = {0.0, 0.0};
    int count = 0;
    bool too_many = false;

    void take_numbers(std::string_view text) {
        while (!text.empty()) {
            const double value = pop_number(text);
            if (count == 2) {
                too_many = true;
                return;
            }
            values[count++] = value;
        }
    }
};

// Blank-separated tokens of a cleaned text.
int count_tokens(std::string_view text) {
    int count = 0;
    for (std::size_t i = 0; i < text.size();) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i == text.size()) break;
        ++count;
        while (i < text.size() && text[i] != ' ') ++i;
    }
    return count;
}

}  // namespace

bool RecordReader::read_ahead() {
    while (input_.read_line(ahead_)) {
        ahead_line_number_ = input_.lines_read();
        // Noise blocks carry no comments the conversion needs.
        if (phase_ != Phase::noise) {
            if (const std::optional<std::string_view> comment = comment_text(ahead_)) {
                read_comment(*comment);
                continue;
            }
        }
        // A matrix of port impedances continues on the very next line only.
        matrix_row_possible_ = false;
        clean_line(ahead_);
        if (ahead_.empty()) continue;
        has_ahead_ = true;
        return true;
    }
    has_ahead_ = false;
    return false;
}

void RecordReader::read_comment(std::string_view comment) {
    if (phase_ == Phase::header) {
        // Port impedance comments before the first record belong to no record.
        if (header_ == nullptr) return;
        note_header_statement(comment, header_->not_renormalized, header_->waves);
        return;
    }
    // The comments after a dropped line are that line's.
    if (after_dropped_line_) return;
    if (const std::optional<std::string_view> text = port_impedance_numbers(comment)) {
        matrix_row_possible_ = false;
        if (problem_) return;
        if (impedances_given_) {
            // Two for one record: which values hold cannot be known.
            problem_ = failure_of(Cause::port_impedance_malformed, FileRole::none,
                                  ahead_line_number_);
            return;
        }
        impedances_given_ = true;
        impedances_line_number_ = ahead_line_number_;
        impedance_count_ = 0;
        gather_impedance_numbers(*text);
        return;
    }
    // Field solvers wrap the numbers over the comment lines of numbers only that follow.
    if (matrix_row_possible_) gather_impedance_numbers(comment);
}

void RecordReader::gather_impedance_numbers(std::string_view text) {
    double numbers[8];
    const int count = take_numbers(text, numbers, 8);
    matrix_row_possible_ = count > 0;
    if (count < 0) return;  // a comment of other words ends them
    for (int k = 0; k < count; ++k) {
        if (impedance_count_ < 8) impedance_numbers_[impedance_count_] = numbers[k < 8 ? k : 7];
        ++impedance_count_;
    }
}

// Once a record's comments are read: one re/im pair per port, or the 2 x 2 matrix, whose
// diagonal holds the references. Any other count cannot be read as either.
void RecordReader::take_gathered_impedances() {
    matrix_row_possible_ = false;
    if (!impedances_given_ || problem_) return;
    const double* n = impedance_numbers_;
    if (impedance_count_ == 4) {
        impedances_ = {{n[0], n[1]}, {n[2], n[3]}};
    } else if (impedance_count_ == 8) {
        impedances_ = {{n[0], n[1]}, {n[6], n[7]}};
    } else {
        problem_ = failure_of(Cause::port_impedance_malformed, FileRole::none,
                              impedances_line_number_);
    }
}

void RecordReader::read_keyword_lines(FileKeywords& keywords) {
    const auto refuse = [&keywords](Cause cause, long long line, std::string_view keyword_line) {
        if (!keywords.refusal) keywords.refusal = failure_of(cause, FileRole::none, line,
                                                             std::string(keyword_line));
    };
    for (;;) {
        if (!has_ahead_ && !read_ahead()) return;
        if (!is_keyword_line(ahead_)) return;  // the first data line stays ahead
        has_ahead_ = false;
        const long long line = ahead_line_number_;
        const std::string keyword_line = ahead_;
        const FileKeyword keyword = keyword_of(keyword_line);
        const std::string_view value = keyword_value(keyword_line);
        if (keyword == FileKeyword::reference) {
            ReferenceValues reference;
            reference.take_numbers(value);
            while (reference.count < 2 && read_ahead()) {
                if (is_keyword_line(ahead_)) break;  // stays ahead
                has_ahead_ = false;
                reference.take_numbers(ahead_);
            }
            // One value stands for both ports.
            if (reference.count == 1) reference.values[1] = reference.values[0];
            if (reference.count == 0 || reference.too_many) {
                refuse(Cause::reference_count, line, keyword_line);
            } else if (keywords.reference_count > 0 &&
                       (keywords.reference[0] != reference.values[0] ||
                        keywords.reference[1] != reference.values[1])) {
                refuse(Cause::references_conflict, line, keyword_line);
            } else {
                keywords.reference_count = reference.count;
                keywords.reference[0] = reference.values[0];
                keywords.reference[1] = reference.values[1];
                keywords.reference_line = line;
            }
        } else if (keyword == FileKeyword::two_port_data_order) {
            if (keyword_value_is(value, "12_21")) {
                keywords.order_12_21 = true;
            } else if (keyword_value_is(value, "21_12")) {
                keywords.order_12_21 = false;
            } else {
                // An order we cannot know is no order to guess.
                refuse(Cause::unknown_pair_order, line, keyword_line);
            }
        } else if (keyword == FileKeyword::number_of_ports) {
            if (!is_decimal_number(value) || parse_number(value) != 2.0) {
                refuse(Cause::ports_not_two, line, keyword_line);
            }
        } else if (keyword == FileKeyword::matrix_format) {
            if (triangular_ && keyword_value_is(value, "LOWER")) {
                keywords.matrix = MatrixFormat::lower;
            } else if (triangular_ && keyword_value_is(value, "UPPER")) {
                keywords.matrix = MatrixFormat::upper;
            } else if (!keyword_value_is(value, "FULL")) {
                refuse(Cause::matrix_not_full, line, keyword_line);
            }
        } else if (keyword == FileKeyword::mixed_mode_order) {
            refuse(Cause::mixed_mode, line, keyword_line);
        } else if (keyword == FileKeyword::noise_data || keyword == FileKeyword::end) {
            // Noise data or the end before any network data: the file has no records, and
            // noise lines must never be read as S-parameters.
            end_ = DataEnd::elsewhere;
            return;
        }
        // Every other keyword (version, counts, '[Network Data]', unknown ones) says nothing
        // the conversion needs.
    }
}

bool RecordReader::read_header(FileHeader& header) {
    header_ = &header;
    phase_ = Phase::header;
    bool found = false;
    while (input_.read_line(ahead_)) {
        if (const std::optional<std::string_view> comment = comment_text(ahead_)) {
            read_comment(*comment);
        } else if (is_option_line(ahead_)) {
            header.option_line = ahead_;
            header.option_line_number = input_.lines_read();
            found = true;
            break;
        }
    }
    if (found) {
        read_keyword_lines(header.keywords);
        order_12_21_ = header.keywords.order_12_21;
        matrix_ = header.keywords.matrix;
        phase_ = Phase::records;
        // The first record, with the comments after it: they tell whether the file gives
        // port impedances, before anything is written.
        first_record_ = find_record();
        first_pending_ = true;
        header.port_impedances = impedances_expected_;
    }
    header_ = nullptr;
    return found;
}

std::string_view RecordReader::next_data_record() {
    if (first_pending_) {
        first_pending_ = false;
        return first_record_;
    }
    return find_record();
}

std::string_view RecordReader::find_record() {
    if (end_ != DataEnd::not_yet || problem_) return {};
    for (;;) {
        if (!has_ahead_ && !read_ahead()) {
            end_ = DataEnd::elsewhere;
            return {};
        }
        if (problem_) return {};
        if (is_keyword_line(ahead_)) {
            // A keyword line ends the data; '[Noise Data]' starts the noise block.
            end_ = keyword_of(ahead_) == FileKeyword::noise_data ? DataEnd::noise_keyword
                                                                 : DataEnd::elsewhere;
            has_ahead_ = false;
            return {};
        }
        std::string_view rest(ahead_);
        const double frequency = pop_number(rest);
        const std::size_t numbers_at = ahead_.size() - rest.size();
        if (rest.empty() && (frequency > last_frequency_ || is_decimal_number(ahead_))) {
            // A frequency with nothing after it is a record cut short wherever it stands: taken
            // as the end of the data, it would drop every record after it without a word.
            problem_ = failure_of(Cause::record_short, FileRole::none, ahead_line_number_, ahead_);
            problem_.other.assign(1, '0');  // numbers after it
            has_ahead_ = false;
            return {};
        }
        if (frequency == last_frequency_) {
            const std::string_view token = std::string_view(ahead_).substr(0, ahead_.find(' '));
            const bool zero_written = is_decimal_number(token);
            // A DC point written as a number is data, once: the first record may be at 0 Hz.
            if (!data_started_ && zero_written) return deliver(frequency, numbers_at);
            if (data_started_ && frequency == 0.0 && !zero_written) {
                // After data at 0 Hz a non-number ends the data as any drop does.
                end_ = DataEnd::elsewhere;
                has_ahead_ = false;
                return {};
            }
            // Four numbers at the frequency of a record of eight start a noise block, which
            // may begin at the last S-parameter frequency.
            if (data_started_ && count_tokens(rest) == 4 && count_tokens(numbers_) == 8) {
                end_ = DataEnd::noise_line_ahead;
                return {};
            }
            has_ahead_ = false;  // a repeated frequency is dropped
            after_dropped_line_ = true;
            continue;
        }
        if (frequency > last_frequency_) return deliver(frequency, numbers_at);
        // A drop in frequency ends the data (NaN lands here too); after data, the line may
        // start the noise block.
        end_ = data_started_ ? DataEnd::noise_line_ahead : DataEnd::elsewhere;
        return {};
    }
}

std::string_view RecordReader::deliver(double frequency, std::size_t numbers_at) {
    last_frequency_ = frequency;
    data_started_ = true;
    record_.swap(ahead_);
    has_ahead_ = false;
    record_line_number_ = ahead_line_number_;
    impedances_given_ = false;
    matrix_row_possible_ = false;
    after_dropped_line_ = false;
    read_ahead();  // the comments after the record, up to the next line
    if (continues_on_next_line(numbers_at)) {
        // Some exporters write S11 S21 after the frequency and S12 S22 on the line after it.
        record_ += ' ';
        record_ += ahead_;
        has_ahead_ = false;
        read_ahead();
    }
    const std::string_view line(record_);
    frequency_text_ = line.substr(0, line.find(' '));
    numbers_ = line.substr(numbers_at);
    check_port_impedances();
    if (problem_) return {};
    return numbers_;
}

// A line of a frequency and four numbers, then one of exactly four tokens, is one record over
// two lines: no other reading of such a second line holds, since four tokens cannot be a
// two-port line of their own, nor a noise line, which has five.
bool RecordReader::continues_on_next_line(std::size_t numbers_at) const {
    return has_ahead_ && holds_four_tokens(std::string_view(record_).substr(numbers_at)) &&
           holds_four_tokens(ahead_) && !is_keyword_line(ahead_);
}

void RecordReader::check_port_impedances() {
    take_gathered_impedances();
    if (first_record_line_number_ == 0) {
        // The first record decides whether the file gives them.
        first_record_line_number_ = record_line_number_;
        impedances_expected_ = impedances_given_;
        return;
    }
    if (problem_) return;
    if (impedances_expected_ && !impedances_given_) {
        problem_ = failure_of(Cause::port_impedance_missing, FileRole::none, record_line_number_);
    } else if (!impedances_expected_ && impedances_given_) {
        problem_ = failure_of(Cause::port_impedance_unexpected, FileRole::none,
                              impedances_line_number_);
        problem_.other_line = first_record_line_number_;
    }
}

bool RecordReader::next_record(int pairs, DataRecord& record) {
    const std::string_view numbers = next_data_record();
    if (numbers.empty()) return false;
    record.frequency = last_frequency_;
    take_pairs(numbers, pairs, order_12_21_, record);
    return true;
}

bool RecordReader::next_noise_line(NoiseLine& noise) {
    if (!data_started_ || problem_ || first_pending_) return false;
    if (end_ != DataEnd::noise_line_ahead && end_ != DataEnd::noise_keyword) return false;
    phase_ = Phase::noise;
    if ((!has_ahead_ && !read_ahead()) || !take_noise_line(noise)) {
        // Whatever ends the block ends the reading: nothing after it is read.
        end_ = DataEnd::noise_over;
        return false;
    }
    has_ahead_ = false;
    return true;
}

bool RecordReader::take_noise_line(NoiseLine& noise) {
    const std::string_view line(ahead_);
    if (is_keyword_line(line)) return false;
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return false;
    const std::string_view token = line.substr(0, blank);
    if (!is_decimal_number(token)) return false;
    const double frequency = parse_number(token);
    double values[4];
    if (take_numbers(line.substr(blank), values) != 4) return false;
    const bool in_ohms = end_ == DataEnd::noise_keyword;
    if (noise_started_) {
        if (!(frequency > last_noise_frequency_)) return false;
    } else if (in_ohms && !(frequency <= last_frequency_)) {
        noise_left_out_ = true;
        return false;
    }
    noise_started_ = true;
    last_noise_frequency_ = frequency;
    noise.frequency_text = token;
    noise.parameters = {values[0], values[1], values[2], values[3]};
    noise.resistance_in_ohms = in_ohms;
    return true;
}

void take_pairs(std::string_view numbers, int pairs, bool order_12_21, DataRecord& record) {
    // Where each pair of the line goes in S11, S21, S12, S22 order.
    static constexpr int as_written[4] = {0, 1, 2, 3};
    static constexpr int swapped[4] = {0, 2, 1, 3};
    const int* const target = order_12_21 ? swapped : as_written;
    // With S11, S12, S21, S22 on a line, the first two of S11, S21 order need three pairs.
    const int taken = order_12_21 && pairs == 2 ? 3 : pairs;
    for (Complex& pair : record.pairs) pair = Complex{};
    record.tokens = 0;
    for (int k = 0; k < taken; ++k) {
        Complex& pair = record.pairs[target[k]];
        record.tokens += numbers.empty() ? 0 : 1;
        pair.re = pop_number(numbers);
        record.tokens += numbers.empty() ? 0 : 1;
        pair.im = pop_number(numbers);
    }
    record.rest = numbers;
}

bool holds_only_s11_and_s21(const DataRecord& record) { return record.tokens == 4; }

void fill_symmetrical(TwoPort& s) {
    s.s12 = s.s21;
    s.s22 = s.s11;
}

namespace {

// The numbers a text holds, from the record its pairs were taken into: counted past those
// taken only as far as deciding whether it may be a two-port line needs.
int numbers_held(const DataRecord& record, int pairs_taken) {
    if (record.tokens < 2 * pairs_taken || record.rest.empty()) return record.tokens;
    return record.tokens + count_tokens(record.rest);
}

// S11 and S21 only, or all four pairs; a Lower or Upper matrix holds three.
bool is_whole_two_port(int numbers, MatrixFormat matrix) {
    if (matrix != MatrixFormat::full) return numbers == 6;
    return numbers == 4 || numbers >= 8;
}

bool refuse_numbers(FileRole file, int numbers, BrokenTwoPort& broken) {
    broken.file = file;
    broken.numbers = numbers;
    return false;
}

}  // namespace

bool take_two_port(const TwoPortText& text, const TwoPortLayout& layout, TwoPort& s,
                   BrokenTwoPort& broken) {
    DataRecord record;
    if (layout.single_file && layout.matrix != MatrixFormat::full) {
        // Row by row: S11, then S21 S22 (Lower) or S11 S12, then S22 (Upper).
        take_pairs(text.forward, 3, false, record);
        const int held = numbers_held(record, 3);
        if (!is_whole_two_port(held, layout.matrix)) {
            return refuse_numbers(FileRole::forward, held, broken);
        }
        s.s11 = record.pairs[0];
        s.s21 = layout.matrix == MatrixFormat::lower ? record.pairs[1] : Complex{};
        s.s12 = layout.matrix == MatrixFormat::upper ? record.pairs[1] : Complex{};
        if (layout.matrix == MatrixFormat::lower) s.s12 = s.s21;
        if (layout.matrix == MatrixFormat::upper) s.s21 = s.s12;
        s.s22 = record.pairs[2];
        return true;
    }
    const int forward_pairs = layout.single_file ? 4 : (layout.forward_12_21 ? 3 : 2);
    take_pairs(text.forward, layout.single_file ? 4 : 2, layout.forward_12_21, record);
    const int forward_held = numbers_held(record, forward_pairs);
    if (!is_whole_two_port(forward_held, MatrixFormat::full)) {
        return refuse_numbers(FileRole::forward, forward_held, broken);
    }
    s.s11 = record.pairs[0];
    s.s21 = record.pairs[1];
    if (layout.single_file) {
        s.s12 = record.pairs[2];
        s.s22 = record.pairs[3];
        if (holds_only_s11_and_s21(record)) fill_symmetrical(s);
        return true;
    }
    take_pairs(text.reverse, 2, layout.reverse_12_21, record);
    const int reverse_held = numbers_held(record, layout.reverse_12_21 ? 3 : 2);
    if (!is_whole_two_port(reverse_held, MatrixFormat::full)) {
        return refuse_numbers(FileRole::reverse, reverse_held, broken);
    }
    s.s22 = record.pairs[0];
    s.s12 = record.pairs[1];
    return true;
}

bool TwoPortReader::next_two_port_text(TwoPortText& text) {
    text.forward = forward_.next_data_record();
    if (text.forward.empty()) {
        if (forward_.problem()) {
            problem_ = forward_.problem();
            problem_.file = FileRole::forward;
        }
        return false;
    }
    text.impedances = forward_.port_impedances();
    text.forward_line = forward_.line_number();
    if (reverse_ == nullptr) {
        text.reverse = {};
        text.frequency_text = forward_.frequency_text();
        return true;
    }
    text.reverse = reverse_->next_data_record();
    // Data of two different frequencies must never be combined into one two-port.
    if (text.reverse.empty() || reverse_->last_frequency() != forward_.last_frequency()) {
        if (reverse_->problem()) {
            problem_ = reverse_->problem();
        } else if (text.reverse.empty()) {
            problem_ = failure_of(Cause::reverse_record_missing, FileRole::reverse, 0,
                                  std::string(forward_.frequency_text()));
        } else {
            problem_ = failure_of(Cause::reverse_frequency_differs, FileRole::reverse,
                                  reverse_->line_number(), std::string(reverse_->frequency_text()));
            problem_.other = std::string(forward_.frequency_text());
        }
        problem_.file = FileRole::reverse;
        problem_.other_line = forward_.line_number();
        return false;
    }
    text.frequency_text = reverse_->frequency_text();
    text.reverse_line = reverse_->line_number();
    return true;
}

Failure broken_record(const TwoPortText& text, const BrokenTwoPort& broken) {
    const bool forward = broken.file == FileRole::forward;
    Failure failure = failure_of(broken.numbers < 0 ? Cause::network_singular : Cause::record_short,
                                 broken.file,
                                 forward ? text.forward_line : text.reverse_line,
                                 std::string(text.frequency_text));
    failure.other = std::to_string(broken.numbers);
    return failure;
}

bool TwoPortReader::next_two_port(TwoPort& s) {
    TwoPortText text;
    if (!next_two_port_text(text)) return false;
    BrokenTwoPort broken;
    if (take_two_port(text, layout(), s, broken)) return true;
    problem_ = broken_record(text, broken);
    return false;
}

}  // namespace tavrin
