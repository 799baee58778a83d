#include "touchstone/record_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

struct Delivered {
    std::string record;      // what next_data_record gave
    std::string frequency;   // frequency_text afterwards
};

// Calls the reader on one in-memory forward file until it gives the empty text.
std::vector<Delivered> read_all(const std::string& contents, int limit = 20) {
    InputSlot input;
    input.open_memory(contents);
    RecordReader reader;
    std::vector<Delivered> out;
    for (int i = 0; i < limit; ++i) {
        const std::string_view record = reader.next_data_record(input, forward_slot);
        out.push_back({std::string(record), reader.frequency_text()});
        if (record.empty()) break;
    }
    return out;
}

std::vector<std::string> records(const std::vector<Delivered>& all) {
    std::vector<std::string> out;
    for (const Delivered& d : all) out.push_back(d.record);
    return out;
}

TEST(RecordReader, DeliversRecordsInRisingFrequencyOrder) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> expected;  // records, ending with the empty text
    };
    const std::vector<Case> cases = {
        {"blank and comment lines are skipped",
         "\n! c\n1 0.1 0.2\n   \n\t! x\n2 0.3\n", {"0.1 0.2", "0.3", ""}},
        {"a repeated frequency is dropped", "1 a\n1 b\n2 c\n", {"a", "c", ""}},
        {"a frequency of 0 first is a repeat of the start", "0 z\n1 a\n", {"a", ""}},
        {"a negative first frequency ends the data", "-1 a\n2 b\n", {""}},
        {"a drop ends the data: two sweeps", "1 a\n2 b\n1 c\n2 d\n", {"a", "b", ""}},
        {"a non-number is frequency 0: dropped at the start", "x 1\n1 a\n", {"a", ""}},
        {"a non-number ends data once a frequency passed", "1 a\nx 1\n2 b\n", {"a", ""}},
        {"a line with only a frequency gives the empty text", "1 a\n2\n3 c\n", {"a", ""}},
        {"tabs, commas and CR LF line ends", "1,5\t0,25\r\n2,5 1\r\n", {"0.25", "1", ""}},
        {"noise section after the S data", "1 a b\n2 c d\n1 n1 n2\n", {"a b", "c d", ""}},
        {"a last line without terminator", "1 a\n2 b", {"a", "b", ""}},
        {"nothing at all", "", {""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(records(read_all(c.file)), c.expected) << c.name;
    }
}

TEST(RecordReader, KeepsTheFrequencyTokenAsWritten) {
    const auto all = read_all("1.5E9 a\n2,0e9\tb\n3\n");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].frequency, "1.5E9");
    EXPECT_EQ(all[1].frequency, "2.0e9");
    EXPECT_EQ(all[2].frequency, "");  // a line with no blank leaves no token
}

TEST(RecordReader, DroppedLineStillSetsTheFrequencyTextBriefly) {
    InputSlot input;
    input.open_memory("1 a\n1 b\n");
    RecordReader reader;
    EXPECT_EQ(reader.next_data_record(input, forward_slot), "a");
    EXPECT_EQ(reader.next_data_record(input, forward_slot), "");
    EXPECT_EQ(reader.frequency_text(), "1");
    EXPECT_EQ(reader.last_frequency(forward_slot), 1.0);
}

TEST(RecordReader, SlotsHaveTheirOwnMemoryButShareTheFrequencyText) {
    InputSlot forward;
    InputSlot reverse;
    forward.open_memory("1 f1\n2 f2\n3 f3\n");
    reverse.open_memory("1 r1\n0.5 bad\n2 r2\n");
    RecordReader reader;
    EXPECT_EQ(reader.next_data_record(forward, forward_slot), "f1");
    EXPECT_EQ(reader.next_data_record(reverse, reverse_slot), "r1");
    EXPECT_EQ(reader.next_data_record(forward, forward_slot), "f2");
    // The drop gives an empty record for this pass only; the reverse file reads on.
    EXPECT_EQ(reader.next_data_record(reverse, reverse_slot), "");
    EXPECT_EQ(reader.frequency_text(), "0.5");
    EXPECT_EQ(reader.next_data_record(forward, forward_slot), "f3");
    EXPECT_EQ(reader.next_data_record(reverse, reverse_slot), "r2");
    EXPECT_EQ(reader.frequency_text(), "2");
    EXPECT_EQ(reader.last_frequency(forward_slot), 3.0);
    EXPECT_EQ(reader.last_frequency(reverse_slot), 2.0);
    // At the reverse file's end the token of the forward line stays.
    EXPECT_EQ(reader.next_data_record(forward, forward_slot), "");
    EXPECT_EQ(reader.next_data_record(reverse, reverse_slot), "");
    EXPECT_EQ(reader.frequency_text(), "2");
}

}  // namespace
}  // namespace tavrin
