// The record reader over in-memory data, compared with the reading rules written out directly:
// the records, their frequency tokens and frequencies, and the noise block after them. Port
// impedance comments can only end the records early, with a problem naming a line; up to
// there the records are the rules' own.
//
// Input: one or two data sections (after an option line), split at "\n@@reverse@@\n"; each
// is read on its own.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "support/file_slots.hpp"
#include "text/number_text.hpp"
#include "touchstone/line_tokens.hpp"
#include "touchstone/record_reader.hpp"

namespace {

using tavrin::fuzz::count_tokens;
using tavrin::fuzz::require;

constexpr std::string_view reverse_mark = "\n@@reverse@@\n";

// Lines end at LF; a CR right before the LF belongs to the terminator; a last line without
// LF still counts, with whatever it ends in.
std::vector<std::string> split_lines(std::string_view contents) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < contents.size()) {
        const std::size_t lf = contents.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.emplace_back(contents.substr(start));
            break;
        }
        std::string line(contents.substr(start, lf - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = lf + 1;
    }
    return lines;
}

std::string upper_without_blanks(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ') out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    }
    return out;
}

struct Record {
    std::string numbers;
    std::string frequency_text;
    double frequency;
};

struct NoiseRecord {
    std::string frequency_text;
    double values[4];
};

// The rules, on the cleaned non-empty lines of a data section.
struct Expected {
    std::vector<Record> records;
    std::vector<NoiseRecord> noise;
    bool cut_short = false;  // the records end at a frequency with nothing after it
};

Expected expected_reading(const std::vector<std::string>& raw_lines) {
    std::vector<std::string> lines;
    for (std::string line : raw_lines) {
        tavrin::clean_line(line);
        if (!line.empty()) lines.push_back(line);
    }
    Expected out;
    double last = 0.0;
    bool started = false;
    std::size_t i = 0;
    enum { nothing, noise_from_here, noise_after_keyword } noise = nothing;
    for (; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line[0] == '[') {
            const std::string name = upper_without_blanks(line.substr(1, line.find(']') - 1));
            if (started && name == "NOISEDATA") noise = noise_after_keyword;
            ++i;
            break;
        }
        const std::size_t blank = line.find(' ');
        const std::string token = line.substr(0, blank);
        const std::string rest =
            blank == std::string::npos ? std::string() : line.substr(line.find_first_not_of(' ', blank));
        const double f = tavrin::parse_number(line);
        const bool zero_written = tavrin::is_decimal_number(token);
        if (rest.empty() && (f > last || zero_written)) {
            out.cut_short = true;
            return out;
        }
        if (f == last && !(!started && zero_written)) {
            if (started && f == 0.0 && !zero_written) {
                ++i;
                break;
            }
            if (started && count_tokens(rest) == 4 && count_tokens(out.records.back().numbers) == 8) {
                noise = noise_from_here;
                break;
            }
            continue;
        }
        if (!(f >= last)) {
            if (started) noise = noise_from_here;
            break;
        }
        last = f;
        started = true;
        std::string numbers = rest;
        // S11 S21 after the frequency, then S12 S22 alone: one record over two lines.
        if (count_tokens(rest) == 4 && i + 1 < lines.size() && lines[i + 1][0] != '[' &&
            count_tokens(lines[i + 1]) == 4) {
            numbers += ' ' + lines[++i];
        }
        out.records.push_back({numbers, token, f});
    }
    if (noise == nothing) return out;
    double last_noise = 0.0;
    for (; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t blank = line.find(' ');
        if (line[0] == '[' || blank == std::string::npos) break;
        const std::string token = line.substr(0, blank);
        if (!tavrin::is_decimal_number(token)) break;
        const double f = tavrin::parse_number(token);
        NoiseRecord n{token, {0, 0, 0, 0}};
        std::string_view rest = line;
        rest.remove_prefix(blank);
        int count = 0;
        bool numbers = true;
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        while (!rest.empty()) {
            const std::string word(rest.substr(0, rest.find(' ')));
            numbers = numbers && tavrin::is_decimal_number(word);
            if (count < 4) n.values[count] = tavrin::parse_number(word);
            ++count;
            tavrin::pop_number(rest);
        }
        if (!numbers || count != 4) break;
        if (out.noise.empty() ? (noise == noise_after_keyword && !(f <= last)) : !(f > last_noise)) break;
        last_noise = f;
        out.noise.push_back(n);
    }
    return out;
}

void check_section(std::string_view contents) {
    tavrin::InputSlot input;
    input.open_memory(contents);
    tavrin::RecordReader reader(input);
    const std::vector<std::string> lines = split_lines(contents);
    const Expected expected = expected_reading(lines);

    std::size_t delivered = 0;
    for (std::string_view got = reader.next_data_record(); !got.empty();
         got = reader.next_data_record(), ++delivered) {
        require(delivered < expected.records.size(), "no more records than the rules give", got);
        const Record& want = expected.records[delivered];
        require(got == want.numbers, "each record is the rules' record", want.numbers);
        require(reader.frequency_text() == want.frequency_text,
                "frequency_text is the delivered line's token", want.frequency_text);
        require(reader.last_frequency() == want.frequency || (want.frequency != want.frequency),
                "last_frequency is the delivered line's frequency");
    }
    require(reader.next_data_record().empty(), "once ended, the records stay ended");
    const tavrin::Failure& problem = reader.problem();
    if (!problem) {
        require(delivered == expected.records.size(), "without a problem every record comes");
        require(!expected.cut_short, "a frequency alone is a problem");
    } else if (problem.cause == tavrin::Cause::record_short) {
        require(expected.cut_short, "only a frequency alone cuts the records short");
        require(delivered == expected.records.size(), "every record before it comes");
        require(problem.line >= 1 && problem.line <= static_cast<long long>(lines.size()),
                "the problem names a line of the file");
        std::string line = lines[static_cast<std::size_t>(problem.line - 1)];
        tavrin::clean_line(line);
        require(!line.empty() && line.find(' ') == std::string::npos,
                "the line named holds one token", line);
    } else {
        // Only a port impedance comment, or its absence, can stop the records early.
        require(problem.cause == tavrin::Cause::port_impedance_missing ||
                    problem.cause == tavrin::Cause::port_impedance_unexpected ||
                    problem.cause == tavrin::Cause::port_impedance_malformed,
                "a problem is about port impedances");
        require(problem.line >= 1 && problem.line <= static_cast<long long>(lines.size()),
                "the problem names a line of the file");
        const std::string& line = lines[static_cast<std::size_t>(problem.line - 1)];
        const bool comment = line.find('!') != std::string::npos;
        require(comment || problem.cause == tavrin::Cause::port_impedance_missing,
                "a malformed or unexpected port impedance is a comment line", line);
        require(contents.find('!') != std::string_view::npos, "no comment, no problem");
    }
    tavrin::NoiseLine noise;
    std::size_t noise_lines = 0;
    while (reader.next_noise_line(noise)) {
        require(!problem, "no noise block after a problem");
        require(noise_lines < expected.noise.size(), "no more noise lines than the rules give");
        const NoiseRecord& want = expected.noise[noise_lines++];
        require(noise.frequency_text == want.frequency_text, "the noise line's token",
                want.frequency_text);
        const tavrin::NoiseParameters& p = noise.parameters;
        const double got[4] = {p.fmin_db, p.gamma_magnitude, p.gamma_degrees, p.resistance};
        for (int k = 0; k < 4; ++k) require(got[k] == want.values[k], "the noise line's numbers");
    }
    require(problem || noise_lines == expected.noise.size(), "every noise line of the rules");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [forward, reverse] =
        tavrin::fuzz::split_at(tavrin::fuzz::as_text(data, size), reverse_mark);
    check_section(forward);
    check_section(reverse);
    return 0;
}
