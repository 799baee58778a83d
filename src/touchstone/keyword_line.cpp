#include "touchstone/keyword_line.hpp"

#include <string>

#include "support/text.hpp"

namespace tavrin {

namespace {

struct KnownKeyword {
    std::string_view name;  // upper case, without blanks
    FileKeyword keyword;
};

constexpr KnownKeyword known_keywords[] = {
    {"REFERENCE", FileKeyword::reference},
    {"TWO-PORTDATAORDER", FileKeyword::two_port_data_order},
    {"NUMBEROFPORTS", FileKeyword::number_of_ports},
    {"MATRIXFORMAT", FileKeyword::matrix_format},
    {"MIXED-MODEORDER", FileKeyword::mixed_mode_order},
    {"NOISEDATA", FileKeyword::noise_data},
    {"END", FileKeyword::end},
    {"VERSION", FileKeyword::version},
    {"NUMBEROFFREQUENCIES", FileKeyword::number_of_frequencies},
    {"NUMBEROFNOISEFREQUENCIES", FileKeyword::number_of_noise_frequencies},
    {"NETWORKDATA", FileKeyword::network_data},
    {"BEGININFORMATION", FileKeyword::begin_information},
    {"ENDINFORMATION", FileKeyword::end_information},
};

}  // namespace

FileKeyword keyword_of(std::string_view keyword_line) {
    std::string name;
    for (std::size_t i = 1; i < keyword_line.size() && keyword_line[i] != ']'; ++i) {
        if (keyword_line[i] != ' ') name.push_back(upper_case_ascii(keyword_line[i]));
    }
    for (const KnownKeyword& known : known_keywords) {
        if (name == known.name) return known.keyword;
    }
    return FileKeyword::other;
}

std::string_view keyword_value(std::string_view keyword_line) {
    const std::size_t close = keyword_line.find(']');
    if (close == std::string_view::npos) return {};
    return trim_blanks(keyword_line.substr(close + 1));
}

bool keyword_value_is(std::string_view value, std::string_view upper_case_word) {
    if (value.size() != upper_case_word.size()) return false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (upper_case_ascii(value[i]) != upper_case_word[i]) return false;
    }
    return true;
}

}  // namespace tavrin
