// Keyword lines of Touchstone 2.0 files: '[Name] value', the name compared ignoring case and
// blanks.
#pragma once

#include <string_view>

namespace tavrin {

enum class FileKeyword {
    other,  // names we do not know
    reference,
    two_port_data_order,
    number_of_ports,
    matrix_format,
    mixed_mode_order,
    noise_data,
    end,
    version,
    number_of_frequencies,
    number_of_noise_frequencies,
    network_data,
    begin_information,
    end_information,
};

// '[Matrix Format]': every element of each record, or only the lower or upper triangle of a
// symmetrical matrix, row by row.
enum class MatrixFormat { full, lower, upper };

// A cleaned line is a keyword line when it starts with '['.
inline bool is_keyword_line(std::string_view cleaned_line) {
    return !cleaned_line.empty() && cleaned_line.front() == '[';
}

// The keyword of a keyword line: the text between '[' and the first ']' (or the line's end).
FileKeyword keyword_of(std::string_view keyword_line);

// The text after the first ']', blanks trimmed; empty when there is none.
std::string_view keyword_value(std::string_view keyword_line);

// Whether a keyword's value is the given upper-case word, ignoring case.
bool keyword_value_is(std::string_view value, std::string_view upper_case_word);

}  // namespace tavrin
