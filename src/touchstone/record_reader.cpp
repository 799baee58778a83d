#include "touchstone/record_reader.hpp"

#include "support/text.hpp"
#include "text/number_text.hpp"
#include "touchstone/keyword_line.hpp"
#include "touchstone/line_tokens.hpp"

namespace tavrin {

namespace {

// Reads the next cleaned, non-empty line; false at end of file.
bool read_cleaned_line(InputSlot& input, std::string& line) {
    while (input.read_line(line)) {
        clean_line(line);
        if (!line.empty()) return true;
    }
    return false;
}

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

}  // namespace

FileKeywords RecordReader::read_keyword_lines() {
    InputSlot& input = input_;
    FileKeywords keywords;
    std::string& line = line_;
    bool have_line = false;  // line holds a keyword line met while reading reference values
    for (;;) {
        if (!have_line && !read_cleaned_line(input, line)) break;
        have_line = false;
        if (!is_keyword_line(line)) {
            has_pending_ = true;  // the first data line: next_data_record starts with it
            break;
        }
        const FileKeyword keyword = keyword_of(line);
        const std::string_view value = keyword_value(line);
        if (keyword == FileKeyword::reference) {
            ReferenceValues reference;
            reference.take_numbers(value);
            while (reference.count < 2 && read_cleaned_line(input, line)) {
                if (is_keyword_line(line)) {
                    have_line = true;
                    break;
                }
                reference.take_numbers(line);
            }
            // One value stands for both ports.
            if (reference.count == 1) reference.values[1] = reference.values[0];
            const bool same = reference.values[0] == reference.values[1];
            if (reference.count == 0 || reference.too_many || !same ||
                (keywords.has_reference && keywords.reference != reference.values[0])) {
                keywords.refused = true;
            } else {
                keywords.has_reference = true;
                keywords.reference = reference.values[0];
            }
        } else if (keyword == FileKeyword::two_port_data_order) {
            if (keyword_value_is(value, "12_21")) {
                keywords.order_12_21 = true;
            } else if (keyword_value_is(value, "21_12")) {
                keywords.order_12_21 = false;
            } else {
                keywords.refused = true;  // an order we cannot know is no order to guess
            }
        } else if (keyword == FileKeyword::number_of_ports) {
            if (!is_decimal_number(value) || parse_number(value) != 2.0) keywords.refused = true;
        } else if (keyword == FileKeyword::matrix_format) {
            if (!keyword_value_is(value, "FULL")) keywords.refused = true;
        } else if (keyword == FileKeyword::mixed_mode_order) {
            keywords.refused = true;
        } else if (keyword == FileKeyword::ends_network_data) {
            // Noise data or the end before any network data: the file has no records.
            no_data_ = true;
            break;
        }
        // Every other keyword (version, counts, '[Network Data]', unknown ones) says nothing
        // the conversion needs.
    }
    order_12_21_ = keywords.order_12_21;
    return keywords;
}

std::string_view RecordReader::next_data_record() {
    if (no_data_) return {};
    std::string& line = line_;
    for (;;) {
        if (has_pending_) {
            has_pending_ = false;
        } else if (!read_cleaned_line(input_, line)) {
            return {};
        }
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) {
            frequency_text_.clear();
        } else {
            frequency_text_.assign(line, 0, blank);
        }
        std::string_view rest(line);
        const double frequency = pop_number(rest);
        if (frequency == last_frequency_) {
            // A DC point written as a number is data, once: the first record may be at 0 Hz.
            const bool zero_written = is_decimal_number(std::string_view(line).substr(0, blank));
            if (!data_started_ && zero_written) {
                data_started_ = true;
                return rest;
            }
            // After data at 0 Hz a non-number (a keyword, say) ends the data as any drop does.
            if (data_started_ && frequency == 0.0 && !zero_written) return {};
            continue;  // a repeated frequency is dropped
        }
        if (frequency > last_frequency_) {
            last_frequency_ = frequency;
            data_started_ = true;
            return rest;
        }
        return {};  // a drop in frequency ends the data; NaN lands here too
    }
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
}

bool RecordReader::next_record(int pairs, DataRecord& record) {
    const std::string_view numbers = next_data_record();
    if (numbers.empty()) return false;
    record.frequency = last_frequency_;
    take_pairs(numbers, pairs, order_12_21_, record);
    return true;
}

bool holds_only_s11_and_s21(const DataRecord& record) { return record.tokens <= 5; }

void fill_symmetrical(TwoPort& s) {
    s.s12 = s.s21;
    s.s22 = s.s11;
}

void take_two_port(const TwoPortText& text, const TwoPortLayout& layout, TwoPort& s) {
    DataRecord record;
    take_pairs(text.forward, layout.single_file ? 4 : 2, layout.forward_12_21, record);
    s.s11 = record.pairs[0];
    s.s21 = record.pairs[1];
    if (layout.single_file) {
        s.s12 = record.pairs[2];
        s.s22 = record.pairs[3];
        if (holds_only_s11_and_s21(record)) fill_symmetrical(s);
        return;
    }
    take_pairs(text.reverse, 2, layout.reverse_12_21, record);
    s.s22 = record.pairs[0];
    s.s12 = record.pairs[1];
}

bool TwoPortReader::next_two_port_text(TwoPortText& text, RecordPairing& pairing) {
    text.forward = forward_.next_data_record();
    if (text.forward.empty()) return false;
    if (reverse_ == nullptr) {
        text.reverse = {};
        text.frequency_text = forward_.frequency_text();
        return true;
    }
    text.reverse = reverse_->next_data_record();
    // Data of two different frequencies must never be combined into one two-port.
    if (text.reverse.empty() || reverse_->last_frequency() != forward_.last_frequency()) {
        pairing = RecordPairing::mismatched;
        return false;
    }
    text.frequency_text = reverse_->frequency_text();
    return true;
}

bool TwoPortReader::next_two_port(TwoPort& s, RecordPairing& pairing) {
    TwoPortText text;
    if (!next_two_port_text(text, pairing)) return false;
    take_two_port(text, layout(), s);
    return true;
}

}  // namespace tavrin
