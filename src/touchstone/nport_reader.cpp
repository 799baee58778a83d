#include "touchstone/nport_reader.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "support/text.hpp"
#include "text/number_text.hpp"
#include "touchstone/comment_lines.hpp"
#include "touchstone/keyword_line.hpp"
#include "touchstone/line_tokens.hpp"
#include "touchstone/mode_order.hpp"

namespace tavrin {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Takes the token at the front of a cleaned text: its value, read once, and whether it is a
// decimal number. The text loses the token and the blanks after it.
bool pop_decimal(std::string_view& text, std::string_view& token, double& value) {
    std::size_t scanned = 0;
    value = parse_number(text, scanned);
    std::size_t end = scanned < text.size() && text[scanned] == ' ' ? scanned
                                                                    : text.find(' ', scanned);
    if (end == std::string_view::npos) end = text.size();
    token = text.substr(0, end);
    text = trim_front_blanks(text.substr(end));
    return is_decimal_number(token);
}

// A record's number: a decimal one, or inf, -inf or nan as the tool writes a value that is not
// finite (a zero magnitude in dB is -inf), in any letter case, so that its own outputs read back.
bool pop_value(std::string_view& text, std::string_view& token, double& value) {
    if (pop_decimal(text, token, value)) return true;
    std::string word(token.substr(token.starts_with('-') || token.starts_with('+') ? 1 : 0));
    upper_case_ascii(word);
    const bool negative = token.starts_with('-');
    if (word == "INF") {
        value = negative ? -std::numeric_limits<double>::infinity()
                         : std::numeric_limits<double>::infinity();
        return true;
    }
    if (word == "NAN") {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    return false;
}

bool numbers_only(std::string_view cleaned) {
    std::string_view token;
    double value = 0.0;
    while (!cleaned.empty()) {
        if (!pop_decimal(cleaned, token, value)) return false;
    }
    return true;
}

// A count written as a decimal number holding a whole value from least to most ('4', '4.0').
std::optional<long long> whole_count(std::string_view value, double least, double most) {
    if (!is_decimal_number(value)) return std::nullopt;
    const double x = parse_number(value);
    if (!(x >= least && x <= most) || x != std::floor(x)) return std::nullopt;
    return static_cast<long long>(x);
}

// Appends the numbers of a comment's text (blanks or tabs between them, a comma counting as
// the decimal point). Gives how many, or -1 with nothing appended when a token is no number.
long long append_numbers(std::string_view text, std::vector<double>& numbers,
                         std::string& scratch) {
    const std::size_t before = numbers.size();
    std::size_t i = 0;
    for (;;) {
        while (i < text.size() && is_blank(text[i])) ++i;
        if (i == text.size()) return static_cast<long long>(numbers.size() - before);
        std::size_t length = 0;
        while (i + length < text.size() && !is_blank(text[i + length])) ++length;
        std::string_view token = text.substr(i, length);
        if (token.find(',') != std::string_view::npos) {
            scratch.assign(token);
            for (char& c : scratch) c = c == ',' ? '.' : c;
            token = scratch;
        }
        if (!is_decimal_number(token)) {
            numbers.resize(before);
            return -1;
        }
        numbers.push_back(parse_number(token));
        i += length;
    }
}

constexpr std::string_view ports_elsewhere = "the file name or --ports";

}  // namespace

void NPortReader::refuse(NPortHeader& header, Cause cause, long long line,
                         std::string_view subject, std::string other) {
    // The first thing that cannot be converted is the one named.
    if (header.refusal) return;
    header.refusal = failure_of(cause, FileRole::none, line, std::string(subject));
    header.refusal.other = std::move(other);
}

void NPortReader::fail_record(Cause cause, long long line, std::string_view subject,
                              std::string other) {
    problem_ = failure_of(cause, FileRole::none, line, std::string(subject));
    problem_.other = std::move(other);
    phase_ = Phase::ended;
}

bool NPortReader::next_line() {
    while (input_.read_line(line_)) {
        if (const std::optional<std::string_view> comment = comment_text(line_)) {
            read_comment(*comment);
            continue;
        }
        // Numbers of a port impedance comment continue on comment lines right after it only.
        impedances_continue_ = false;
        clean_line(line_);
        if (line_.empty()) continue;
        line_number_ = input_.lines_read();
        has_line_ = true;
        return true;
    }
    has_line_ = false;
    return false;
}

void NPortReader::read_comment(std::string_view comment) {
    if (phase_ == Phase::header) {
        if (header_ == nullptr) return;
        note_header_statement(comment, header_->not_renormalized, header_->waves);
        return;
    }
    // Port impedance comments before the first record belong to no record.
    if (!record_open_) return;
    if (const std::optional<std::string_view> numbers = port_impedance_numbers(comment)) {
        impedances_continue_ = false;
        if (impedances_given_) {
            // Two for one record: which of them holds cannot be known.
            if (impedances_bad_line_ == 0) impedances_bad_line_ = input_.lines_read();
            return;
        }
        impedances_given_ = true;
        impedances_line_ = input_.lines_read();
        if (append_numbers(*numbers, impedance_numbers_, token_) < 0) {
            impedances_bad_line_ = impedances_line_;
            return;
        }
        impedances_continue_ = true;
        return;
    }
    // A comment that is not numbers only ('! Gamma ...', text) ends the port impedances.
    if (impedances_continue_ && append_numbers(comment, impedance_numbers_, token_) <= 0) {
        impedances_continue_ = false;
    }
}

bool NPortReader::read_header(NPortHeader& header) {
    header_ = &header;
    phase_ = Phase::header;
    bool found = false;
    while (input_.read_line(line_)) {
        if (const std::optional<std::string_view> comment = comment_text(line_)) {
            read_comment(*comment);
            continue;
        }
        if (is_option_line(line_)) {
            header.option_line = line_;
            header.option_line_number = input_.lines_read();
            found = true;
            break;
        }
        clean_line(line_);
        if (is_keyword_line(line_) && keyword_of(line_) == FileKeyword::version &&
            parse_number(keyword_value(line_)) >= 2.0) {
            header.version = 2;
        }
    }
    if (found) read_keyword_lines(header);
    header_ = nullptr;
    return found;
}

void NPortReader::read_keyword_lines(NPortHeader& header) {
    for (;;) {
        if (!has_line_ && !next_line()) break;
        if (!is_keyword_line(line_)) break;  // the first data line stays
        has_line_ = false;
        const long long line = line_number_;
        const FileKeyword keyword = keyword_of(line_);
        if (keyword == FileKeyword::network_data) {
            // Comments up to the first record still belong to the header.
            next_line();
            break;
        }
        if (keyword == FileKeyword::end || keyword == FileKeyword::noise_data) {
            // No network data at all: noise lines must never be read as S-parameters.
            if (keyword == FileKeyword::noise_data) noise_line_ = line;
            phase_ = Phase::ended;
            break;
        }
        if (keyword == FileKeyword::begin_information) {
            // Whatever the block holds is for people, whatever it looks like.
            while (input_.read_line(line_)) {
                clean_line(line_);
                if (is_keyword_line(line_) && keyword_of(line_) == FileKeyword::end_information) {
                    break;
                }
            }
            continue;
        }
        read_keyword(header, line);
    }
    // '[Reference]' may come before '[Number of Ports]'.
    const long long known = header.ports != 0 ? header.ports : ports_;
    const auto count = static_cast<long long>(header.reference.size());
    if (known != 0 && count > 1 && count != known) {
        refuse(header, Cause::reference_count, header.reference_line, header.reference_text);
    }
    if (known != 0 && header.modes) {
        const ModeOrderCheck check =
            check_mode_order(*header.modes, static_cast<std::size_t>(known));
        if (check.fault != ModeOrderFault::none && !header.refusal) {
            header.refusal = mode_order_refusal(check, *header.modes,
                                                "[Mixed-Mode Order] " +
                                                    mode_order_text(*header.modes));
            header.refusal.line = header.modes_line;
        }
    }
}

void NPortReader::read_keyword(NPortHeader& header, long long line) {
    const std::string_view value = keyword_value(line_);
    switch (keyword_of(line_)) {
        case FileKeyword::number_of_ports: {
            const std::optional<long long> ports = whole_count(value, 1.0, 9007199254740992.0);
            if (!ports || *ports > max_ports) {
                refuse(header, ports ? Cause::ports_beyond_memory : Cause::count_not_usable, line,
                       line_, "from 1 to " + std::to_string(max_ports));
                break;
            }
            if (header.ports != 0 && header.ports != *ports) {
                refuse(header, Cause::ports_disagree, line, std::to_string(*ports),
                       "the [Number of Ports] before it");
            } else if (ports_ != 0 && ports_ != *ports) {
                refuse(header, Cause::ports_disagree, line, std::to_string(*ports),
                       std::string(ports_elsewhere));
            }
            header.ports = static_cast<int>(*ports);
            header.ports_line = line;
            break;
        }
        case FileKeyword::two_port_data_order:
            if (keyword_value_is(value, "12_21")) {
                header.order_12_21 = true;
            } else if (keyword_value_is(value, "21_12")) {
                header.order_12_21 = false;
            } else {
                // An order we cannot know is no order to guess.
                refuse(header, Cause::unknown_pair_order, line, line_);
            }
            break;
        case FileKeyword::number_of_frequencies: {
            // Up to 2^53, where doubles still count one by one.
            const std::optional<long long> count = whole_count(value, 0.0, 9007199254740992.0);
            if (!count) {
                refuse(header, Cause::count_not_usable, line, line_, "from 0 up");
                break;
            }
            header.frequencies = *count;
            header.frequencies_line = line;
            break;
        }
        case FileKeyword::reference:
            read_reference(header, line);
            break;
        case FileKeyword::matrix_format:
            if (keyword_value_is(value, "FULL")) {
                header.matrix = MatrixFormat::full;
            } else if (keyword_value_is(value, "LOWER")) {
                header.matrix = MatrixFormat::lower;
            } else if (keyword_value_is(value, "UPPER")) {
                header.matrix = MatrixFormat::upper;
            } else {
                refuse(header, Cause::matrix_not_full, line, line_);
            }
            break;
        case FileKeyword::mixed_mode_order:
            read_mode_order(header, line);
            break;
        default:
            // The version after the option line, the noise frequency count, keywords we do not
            // know: nothing the conversion needs.
            break;
    }
}

void NPortReader::read_reference(NPortHeader& header, long long line) {
    const std::string keyword_line = line_;
    // The port count as known so far; without it, every numbers-only line after it counts.
    const long long known = header.ports != 0 ? header.ports : ports_;
    std::vector<double> values;
    std::string_view text = keyword_value(keyword_line);
    for (;;) {
        std::string_view token;
        double value = 0.0;
        while (!text.empty()) {
            if (!pop_decimal(text, token, value)) {
                refuse(header, Cause::number_malformed, line_number_, token);
                return;
            }
            values.push_back(value);
        }
        if (known != 0 && static_cast<long long>(values.size()) >= known) break;
        // One value followed by a keyword line stands for every port; a line that is not
        // numbers only stays for what comes next.
        if (!next_line() || !numbers_only(line_)) break;
        has_line_ = false;
        text = line_;
    }
    if (values.empty() || (known != 0 && static_cast<long long>(values.size()) > known)) {
        refuse(header, Cause::reference_count, line, keyword_line);
        return;
    }
    if (!header.reference.empty()) {
        // One value stands for as many equal ones.
        const auto at = [](const std::vector<double>& v, std::size_t i) {
            return v.size() == 1 ? v[0] : v[i];
        };
        const std::size_t n = std::max(values.size(), header.reference.size());
        bool same = values.size() == 1 || header.reference.size() == 1 ||
                    values.size() == header.reference.size();
        for (std::size_t i = 0; same && i < n; ++i) {
            same = at(values, i) == at(header.reference, i);
        }
        if (!same) {
            refuse(header, Cause::references_conflict, line, keyword_line);
            return;
        }
    }
    header.reference = std::move(values);
    header.reference_line = line;
    header.reference_text = keyword_line;
}

void NPortReader::read_mode_order(NPortHeader& header, long long line) {
    const long long known = header.ports != 0 ? header.ports : ports_;
    if (header.modes_line == 0) header.modes_line = line;
    ModeOrder order;
    std::string_view bad;
    const std::string keyword_line = line_;
    std::string_view text = keyword_value(keyword_line);
    for (;;) {
        if (!read_mode_entries(text, order, bad)) {
            // Shown as the file wrote it: the cleaned line has '.' for its ','.
            std::string token(bad);
            for (char& c : token) c = c == '.' ? ',' : c;
            refuse(header, Cause::mode_malformed, line_number_, token);
            return;
        }
        if (known != 0 && static_cast<long long>(order.size()) >= known) break;
        // A long order may go on over lines of entries only; any other line stays.
        if (!next_line() || !holds_mode_entries_only(line_)) break;
        has_line_ = false;
        text = line_;
    }
    if (header.modes && *header.modes != order) {
        refuse(header, Cause::mode_order_conflict, line,
               "[Mixed-Mode Order] " + mode_order_text(order));
        return;
    }
    header.modes = std::move(order);
}

void NPortReader::begin_records(int ports, NPortHeader& header) {
    ports_ = ports;
    matrix_ = header.matrix;
    order_12_21_ = header.order_12_21;
    frequencies_stated_ = header.frequencies;
    frequencies_line_ = header.frequencies_line;
    one_line_records_ = ports == 2 && header.version == 1 && matrix_ == MatrixFormat::full;
    if (phase_ == Phase::header) phase_ = Phase::records;
    if (ports < 1) {
        problem_ = failure_of(Cause::ports_unknown);
        phase_ = Phase::ended;
        return;
    }
    if (ports > max_ports) {
        problem_ = failure_of(Cause::ports_beyond_memory, FileRole::none, 0, std::to_string(ports));
        problem_.other = "from 1 to " + std::to_string(max_ports);
        phase_ = Phase::ended;
        return;
    }
    const auto n = static_cast<unsigned long long>(ports);
    numbers_per_record_ = 2 * (matrix_ == MatrixFormat::full ? n * n : n * (n + 1) / 2);
    first_complete_ = read_record(pending_);
    first_pending_ = true;
    header.port_impedances = impedances_expected_;
}

bool NPortReader::next_record(NPortRecord& record) {
    if (first_pending_) {
        first_pending_ = false;
        if (!first_complete_) return finish();
    } else if (!read_record(pending_)) {
        return finish();
    }
    // The caller's buffers become the ones the next record is read into.
    std::swap(record, pending_);
    ++records_read_;
    return true;
}

bool NPortReader::finish() {
    phase_ = Phase::ended;
    if (!problem_ && frequencies_stated_ >= 0 &&
        records_read_ != static_cast<unsigned long long>(frequencies_stated_)) {
        problem_ = failure_of(Cause::frequency_count_differs, FileRole::none, frequencies_line_,
                              std::to_string(records_read_));
        problem_.other = std::to_string(frequencies_stated_);
    }
    return false;
}

bool NPortReader::read_record(NPortRecord& record) {
    if (phase_ != Phase::records) return false;
    if (!has_line_ && !next_line()) return false;
    if (is_keyword_line(line_)) {
        // '[End]', '[Noise Data]': the data is over.
        if (keyword_of(line_) == FileKeyword::noise_data) noise_line_ = line_number_;
        phase_ = Phase::ended;
        return false;
    }
    has_line_ = false;
    record_open_ = true;
    impedances_given_ = false;
    impedances_continue_ = false;
    impedances_bad_line_ = 0;
    impedance_numbers_.clear();
    record.line = line_number_;

    std::string_view rest = line_;
    std::string_view token;
    double frequency = 0.0;
    if (!pop_decimal(rest, token, frequency)) {
        fail_record(Cause::number_malformed, line_number_, token, {});
        return false;
    }
    if (previous_ && !(frequency > previous_frequency_) && starts_noise_block(rest)) {
        noise_line_ = line_number_;
        phase_ = Phase::ended;
        return false;
    }
    // The first record may be at 0 Hz, never below.
    if (previous_ ? !(frequency > previous_frequency_) : !(frequency >= 0.0)) {
        fail_record(Cause::frequency_not_rising, line_number_, token,
                    previous_ ? previous_text_ : std::string("0"));
        return false;
    }
    record.frequency_text.assign(token);
    record.frequency = frequency;
    record.s.clear();
    numbers_taken_ = 0;
    for (;;) {
        if (!take_record_numbers(rest, record)) return false;
        if (numbers_taken_ == numbers_per_record_) break;
        if (one_line_records_) {
            // S11 and S21 alone are a symmetrical device, unless S12 and S22 follow on a line of
            // exactly their four numbers, as some exporters write each record.
            if (numbers_taken_ == 4 && next_line() && !is_keyword_line(line_) &&
                holds_four_tokens(line_)) {
                has_line_ = false;
                rest = line_;
                continue;
            }
            if (numbers_taken_ != 4) {
                fail_record(Cause::record_short, record.line, record.frequency_text,
                            std::to_string(numbers_taken_));
                return false;
            }
            fill_symmetrical(record);
            break;
        }
        if (!next_line() || is_keyword_line(line_)) {
            fail_record(Cause::record_short, record.line, record.frequency_text,
                        std::to_string(numbers_taken_));
            return false;
        }
        has_line_ = false;
        rest = line_;
    }
    previous_ = true;
    previous_frequency_ = frequency;
    previous_text_.assign(record.frequency_text);
    arrange_matrix(record);
    // The comments after the record, up to the next line, are its own.
    if (!has_line_) next_line();
    check_port_impedances(record);
    return !problem_;
}

// A two-port's noise block starts where the frequency drops, or stays, with four numbers after
// it: Fmin, |Gamma opt|, its angle and Rn.
bool NPortReader::starts_noise_block(std::string_view rest) const {
    if (ports_ != 2) return false;
    std::string_view token;
    double value = 0.0;
    int count = 0;
    while (!rest.empty()) {
        if (!pop_decimal(rest, token, value)) return false;
        ++count;
    }
    return count == 4;
}

void NPortReader::fill_symmetrical(NPortRecord& record) const {
    // S11 S21 as written: S12 := S21, S22 := S11, in the file's order S11 S21 S12 S22.
    record.s.push_back(record.s[1]);
    record.s.push_back(record.s[0]);
}

bool NPortReader::take_record_numbers(std::string_view rest, NPortRecord& record) {
    std::string_view token;
    double value = 0.0;
    while (!rest.empty()) {
        if (numbers_taken_ == numbers_per_record_) {
            fail_record(Cause::record_long, line_number_, record.frequency_text,
                        std::to_string(numbers_per_record_ / 2));
            return false;
        }
        if (!pop_value(rest, token, value)) {
            fail_record(Cause::number_malformed, line_number_, token, {});
            return false;
        }
        // The vector grows with the numbers read, never ahead of them: a stated port count
        // alone cannot make the reader reserve memory.
        if (numbers_taken_ % 2 == 0) {
            real_part_ = value;
        } else {
            record.s.push_back({real_part_, value});
        }
        ++numbers_taken_;
    }
    return true;
}

void NPortReader::arrange_matrix(NPortRecord& record) const {
    std::vector<Complex>& s = record.s;
    const auto n = static_cast<std::size_t>(ports_);
    if (matrix_ == MatrixFormat::full) {
        // Version 1 two-ports, and '21_12', write S11 S21 S12 S22.
        if (n == 2 && !order_12_21_) std::swap(s[1], s[2]);
        return;
    }
    // The half as read lies packed at the front; each element moves to a place at or after
    // its own, so moving them from the last one on overwrites none still to be moved.
    s.resize(n * n);
    if (matrix_ == MatrixFormat::lower) {
        for (std::size_t i = n; i-- > 0;) {
            const std::size_t row = i * (i + 1) / 2;  // S_i1 .. S_ii
            for (std::size_t j = i + 1; j-- > 0;) s[i * n + j] = s[row + j];
        }
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) s[i * n + j] = s[j * n + i];
        }
    } else {
        for (std::size_t i = n; i-- > 0;) {
            const std::size_t row = i * (2 * n - i - 1) / 2;  // S_ii .. S_iN, less i
            for (std::size_t j = n; j-- > i;) s[i * n + j] = s[row + j];
        }
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) s[j * n + i] = s[i * n + j];
        }
    }
}

void NPortReader::check_port_impedances(NPortRecord& record) {
    record.impedances.clear();
    if (first_record_line_ == 0) {
        // The first record decides whether the file gives them.
        first_record_line_ = record.line;
        impedances_expected_ = impedances_given_;
    } else if (impedances_expected_ && !impedances_given_) {
        fail_record(Cause::port_impedance_missing, record.line, {}, {});
        return;
    } else if (!impedances_expected_ && impedances_given_) {
        fail_record(Cause::port_impedance_unexpected, impedances_line_, {}, {});
        problem_.other_line = first_record_line_;
        return;
    }
    if (!impedances_given_) return;
    if (impedances_bad_line_ != 0) {
        fail_record(Cause::port_impedance_malformed, impedances_bad_line_, {}, {});
        return;
    }
    // One re/im pair per port, or the whole impedance matrix, whose diagonal they are.
    const auto n = static_cast<std::size_t>(ports_);
    const std::vector<double>& z = impedance_numbers_;
    std::size_t step = 0;
    if (z.size() == 2 * n) {
        step = 2;
    } else if (z.size() == 2 * n * n) {
        step = 2 * (n + 1);
    } else {
        fail_record(Cause::port_impedance_malformed, impedances_line_, {}, {});
        return;
    }
    for (std::size_t i = 0; i < n; ++i) record.impedances.push_back({z[i * step], z[i * step + 1]});
}

}  // namespace tavrin
