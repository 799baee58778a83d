// The record reader over in-memory forward and reverse files, compared call by call with
// the reading rules written out directly: records, frequency_text and last_frequency.
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

struct ModelSlot {
    std::vector<std::string> lines;
    std::string frequency_text;
    std::size_t next = 0;
    double last = 0.0;
    bool started = false;  // a record was delivered
    bool at_end() const { return next >= lines.size(); }
};

struct Model {
    ModelSlot slots[2];

    std::string next_record(int index) {
        ModelSlot& slot = slots[index];
        while (slot.next < slot.lines.size()) {
            std::string line = slot.lines[slot.next++];
            tavrin::clean_line(line);
            if (line.empty()) continue;
            const std::size_t blank = line.find(' ');
            slot.frequency_text = blank == std::string::npos ? std::string() : line.substr(0, blank);
            const double f = tavrin::parse_number(line);
            std::string rest;
            if (blank != std::string::npos) {
                rest = line.substr(blank);
                rest.erase(0, rest.find_first_not_of(' '));
            }
            // A first line at 0 Hz, written as a decimal number, is the DC point.
            const bool zero_written = tavrin::is_decimal_number(line.substr(0, blank));
            if (f == slot.last && f == 0.0 && zero_written && !slot.started) {
                slot.started = true;
                return rest;
            }
            if (f == slot.last) {
                if (slot.started && f == 0.0 && !zero_written) return {};
                continue;
            }
            if (f > slot.last) {
                slot.last = f;
                slot.started = true;
                return rest;
            }
            return {};
        }
        return {};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [forward, reverse] =
        tavrin::fuzz::split_at(tavrin::fuzz::as_text(data, size), reverse_mark);
    tavrin::InputSlot inputs[2];
    inputs[0].open_memory(forward);
    inputs[1].open_memory(reverse);
    Model model;
    model.slots[0].lines = split_lines(forward);
    model.slots[1].lines = split_lines(reverse);

    tavrin::RecordReader readers[2] = {tavrin::RecordReader(inputs[0]),
                                       tavrin::RecordReader(inputs[1])};
    // Each pair of calls reads at least one line until both files are read to the end.
    const std::size_t calls = 2 * (model.slots[0].lines.size() + model.slots[1].lines.size()) + 4;
    std::string previous_record;
    int previous_index = -1;
    std::string_view previous_view;
    for (std::size_t call = 0; call < calls; ++call) {
        const int index = static_cast<int>(call % 2);
        tavrin::RecordReader& reader = readers[index];
        const std::string expected = model.next_record(index);
        const std::string_view got = reader.next_data_record();
        require(got == expected, "next_data_record gives the record of the rules", expected);
        require(reader.frequency_text() == model.slots[index].frequency_text,
                "frequency_text is the token of the line read last",
                model.slots[index].frequency_text);
        require(reader.last_frequency() == model.slots[index].last,
                "last_frequency changes only when a record is delivered");
        require(got.empty() || (got.front() != ' ' && got.back() != ' '),
                "a record is trimmed", got);
        // The record of the other slot is still intact after this call.
        if (previous_index >= 0 && previous_index != index) {
            require(previous_view == previous_record,
                    "a record stays valid until the next call for its slot");
        }
        previous_index = index;
        previous_view = got;
        previous_record = std::string(got);
    }
    require(inputs[0].at_end() && inputs[1].at_end(), "every line was read");
    require(readers[0].next_data_record().empty(),
            "at end of file the reader gives the empty text");
    return 0;
}
