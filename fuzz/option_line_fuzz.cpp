// read_option_line and rewrite_option_line on an arbitrary line, with z_new read from the
// rest of the input (so infinities, NaN, zero and negatives all occur).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "network/conversions.hpp"
#include "text/number_text.hpp"
#include "touchstone/option_line.hpp"

namespace {

using tavrin::fuzz::require;

std::string expected_normal_form(std::string_view raw) {
    std::string out;
    for (const char c : raw) {
        if (c == '!') break;
        char d = c == '\t' ? ' ' : c == ',' ? '.' : c;
        if (d >= 'a' && d <= 'z') d = static_cast<char>(d - 'a' + 'A');
        out.push_back(d);
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

bool same_value(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [raw, z_text] = tavrin::fuzz::split_at(tavrin::fuzz::as_text(data, size), "\n");
    const double z_new = tavrin::parse_number(z_text);

    const tavrin::OptionLine option = tavrin::read_option_line(std::string(raw));
    const tavrin::DataFormat format = option.format->format;
    const double z_old = option.z_old;
    const std::string normal = expected_normal_form(raw);
    require(option.text == normal, "the option line is cleaned and upper-cased", raw);

    const tavrin::DataFormat expected_format =
        normal.find("DB") != std::string::npos   ? tavrin::DataFormat::db
        : normal.find("RI") == std::string::npos ? tavrin::DataFormat::ma
                                                 : tavrin::DataFormat::ri;
    require(format == expected_format, "DB first, then no RI means MA, else RI", normal);

    const std::size_t mark = normal.find("R ");
    const double expected_z_old =
        mark == std::string::npos ? 50.0 : tavrin::parse_number(std::string_view(normal).substr(mark + 2));
    require(same_value(z_old, expected_z_old), "z_old is the number after 'R ', else 50", normal);

    const std::string line = tavrin::rewrite_option_line(option, z_old, z_new);
    const std::string n = tavrin::canonical_number_text(z_new);
    if (mark == std::string::npos) {
        require(line == normal + " R " + n, "without 'R ' the entry is appended", line);
        return 0;
    }
    const std::string head = normal.substr(0, mark + 2);
    require(line.compare(0, head.size(), head) == 0, "everything up to 'R ' stays", line);
    require(line.compare(head.size(), n.size(), n) == 0, "z_new follows 'R '", line);
    // As many characters are replaced as z_old's canonical text has; when that would not
    // leave z_new readable there, the whole number token after 'R ' is replaced instead.
    const std::string o = tavrin::canonical_number_text(z_old);
    const std::size_t cut = mark + 2 + o.size();
    const std::string by_length = head + n + (cut < normal.size() ? normal.substr(cut) : "");
    std::string_view after = std::string_view(normal).substr(mark + 2);
    after.remove_prefix(std::min(after.find_first_not_of(' '), after.size()));
    const std::size_t token_end = after.find(' ');
    const std::string by_token =
        head + n + std::string(token_end == std::string_view::npos ? "" : after.substr(token_end));
    // A list of references, one per port, goes as a whole: 'R 50 75' becomes 'R n'.
    std::size_t list_end = token_end == std::string_view::npos ? after.size() : token_end;
    int values = 1;
    for (;;) {
        std::string_view rest = after.substr(list_end);
        const std::size_t blanks = std::min(rest.find_first_not_of(' '), rest.size());
        const std::string_view word = rest.substr(blanks, rest.find(' ', blanks) - blanks);
        if (word.empty() || !tavrin::is_decimal_number(word)) break;
        list_end += blanks + word.size();
        ++values;
    }
    require(option.impedance_count == values, "the list after 'R ' counts its numbers", normal);
    if (values > 1) {
        require(line == head + n + std::string(after.substr(list_end)),
                "a list of references is replaced as a whole", line);
    } else {
        require(line == by_length || line == by_token, "only the impedance entry changes", line);
    }
    require(same_value(tavrin::parse_number(std::string_view(line).substr(mark + 2)),
                       tavrin::parse_number(n)),
            "the rewritten line names z_new", line);
    return 0;
}
