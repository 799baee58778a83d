#include "touchstone/record_reader.hpp"

#include <gtest/gtest.h>

#include <sstream>
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
    RecordReader reader(input);
    std::vector<Delivered> out;
    for (int i = 0; i < limit; ++i) {
        const std::string_view record = reader.next_data_record();
        out.push_back({std::string(record), std::string(reader.frequency_text())});
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
        {"a first line at 0 Hz is the DC point", "0 z\n1 a\n", {"z", "a", ""}},
        {"a second line at 0 Hz is a repeat", "0.0 z\n-0 y\n1 a\n", {"z", "a", ""}},
        {"only a DC point", "0 z\n", {"z", ""}},
        {"a non-number after the DC point ends the data", "0 z\nx 1\n1 a\n", {"z", ""}},
        {"a zero not written as a decimal is no DC point", "0x0 z\n&H0 y\n1 a\n", {"a", ""}},
        {"a negative first frequency ends the data", "-1 a\n2 b\n", {""}},
        {"a drop ends the data: two sweeps", "1 a\n2 b\n1 c\n2 d\n", {"a", "b", ""}},
        {"a non-number is frequency 0: dropped at the start", "x 1\n1 a\n", {"a", ""}},
        {"a non-number ends data once a frequency passed", "1 a\nx 1\n2 b\n", {"a", ""}},
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
    const auto all = read_all("1.5E9 a\n2,0e9\tb\n");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].frequency, "1.5E9");
    EXPECT_EQ(all[1].frequency, "2.0e9");
}

TEST(TwoPortReader, PairsForwardAndReverseRecordsByFrequency) {
    struct Case {
        const char* name;
        std::string reverse;
        int two_ports;  // delivered before the end
        Cause problem;
    };
    const std::string forward = "1 11 0 21 0\n2 11 0 21 0\n3 11 0 21 0\n";
    const std::vector<Case> cases = {
        {"the same frequencies", "1 22 0 12 0\n2.0 22 0 12 0\n3e0 22 0 12 0\n", 3, Cause::none},
        {"a longer reverse file", "1 22 0 12 0\n2 22 0 12 0\n3 22 0 12 0\n4 22 0 12 0\n", 3,
         Cause::none},
        {"a shorter reverse file", "1 22 0 12 0\n", 1, Cause::reverse_record_missing},
        {"a missing frequency", "1 22 0 12 0\n3 22 0 12 0\n", 1, Cause::reverse_frequency_differs},
        {"another frequency", "1 22 0 12 0\n2.5 22 0 12 0\n", 1, Cause::reverse_frequency_differs},
        {"a frequency drop", "1 22 0 12 0\n0.5 22 0 12 0\n", 1, Cause::reverse_record_missing},
    };
    for (const Case& c : cases) {
        InputSlot forward_input;
        InputSlot reverse_input;
        forward_input.open_memory(forward);
        reverse_input.open_memory(c.reverse);
        RecordReader forward_records(forward_input);
        RecordReader reverse_records(reverse_input);
        TwoPortReader reader(forward_records, &reverse_records);
        TwoPort s;
        int count = 0;
        while (reader.next_two_port(s)) {
            ++count;
            EXPECT_EQ(s.s11.re, 11) << c.name;
            EXPECT_EQ(s.s21.re, 21) << c.name;
            EXPECT_EQ(s.s12.re, 12) << c.name;
            EXPECT_EQ(s.s22.re, 22) << c.name;
            // The reverse line's own token is the one written out.
            EXPECT_EQ(reader.frequency_text(), reverse_records.frequency_text()) << c.name;
        }
        EXPECT_EQ(count, c.two_ports) << c.name;
        EXPECT_EQ(reader.problem().cause, c.problem) << c.name;
        if (c.problem != Cause::none) {
            EXPECT_EQ(reader.problem().file, FileRole::reverse) << c.name;
            EXPECT_EQ(reader.problem().other_line, 2) << c.name;  // the forward record's line
        }
    }
}

// A file from its option line on: keyword lines, then the data.
struct KeywordCase {
    const char* name;
    std::string file;
    bool order_12_21;
    int reference_count;
    double reference[2];
    Cause refusal;
    std::vector<std::string> records;  // what next_data_record gives afterwards
};

TEST(RecordReader, ReadsKeywordLinesBeforeTheData) {
    const Cause none = Cause::none;
    const std::vector<KeywordCase> cases = {
        {"version 1 data", "! c\n\n1 a\n2 b\n", false, 0, {0, 0}, none, {"a", "b", ""}},
        {"skipped keywords",
         "[Number of Ports] 2\n[Number of Frequencies] 2\n[Network Data]\n1 a\n", false, 0, {0, 0},
         none, {"a", ""}},
        {"pair order, any case and blanks", "[two-port  data order] 12_21\n1 a\n", true, 0, {0, 0},
         none, {"a", ""}},
        {"the usual pair order", "[Two-Port Data Order] 21_12\n1 a\n", false, 0, {0, 0}, none,
         {"a", ""}},
        {"one reference for both ports", "[Reference] 75\n[Network Data]\n1 a\n", false, 1,
         {75, 75}, none, {"a", ""}},
        {"two equal references", "[Reference] 75 75.0\n1 a\n", false, 2, {75, 75}, none, {"a", ""}},
        {"references continued on later lines", "[Reference]\n75 ! port 1\n\n50\n1 a\n", false, 2,
         {75, 50}, none, {"a", ""}},
        {"a reference per port", "[Reference] 50 75\n1 a\n", false, 2, {50, 75}, none, {"a", ""}},
        {"a second reference that differs", "[Reference] 50 50\n[Reference] 75 75\n1 a\n", false, 2,
         {50, 50}, Cause::references_conflict, {"a", ""}},
        {"a reference on too many values", "[Reference] 50\n1 a b\n2 c\n", false, 0, {0, 0},
         Cause::reference_count, {"c", ""}},
        {"three ports", "[Number of Ports] 3\n1 a\n", false, 0, {0, 0}, Cause::ports_not_two,
         {"a", ""}},
        {"a triangular matrix", "[Matrix Format] Lower\n1 a\n", false, 0, {0, 0},
         Cause::matrix_not_full, {"a", ""}},
        {"mixed-mode data", "[Mixed-Mode Order] D2,1 C2,1\n1 a\n", false, 0, {0, 0},
         Cause::mixed_mode, {"a", ""}},
        {"an unknown pair order", "[Two-Port Data Order] 12-21\n1 a\n", false, 0, {0, 0},
         Cause::unknown_pair_order, {"a", ""}},
        {"noise data before any network data", "[Noise Data]\n1 a b c d\n", false, 0, {0, 0}, none,
         {""}},
        {"a keyword after the data ends it", "[Network Data]\n1 a\n[End]\n2 b\n", false, 0, {0, 0},
         none, {"a", ""}},
    };
    for (const KeywordCase& c : cases) {
        InputSlot input;
        input.open_memory("# GHz S RI\n" + c.file);
        RecordReader reader(input);
        FileHeader header;
        ASSERT_TRUE(reader.read_header(header)) << c.name;
        const FileKeywords& got = header.keywords;
        EXPECT_EQ(got.order_12_21, c.order_12_21) << c.name;
        EXPECT_EQ(got.reference_count, c.reference_count) << c.name;
        EXPECT_EQ(got.reference[0], c.reference[0]) << c.name;
        EXPECT_EQ(got.reference[1], c.reference[1]) << c.name;
        EXPECT_EQ(got.refusal.cause, c.refusal) << c.name;
        if (c.refusal != none) {
            // The option line is line 1; the second '[Reference]' is line 3.
            const long long refused_line = c.refusal == Cause::references_conflict ? 3 : 2;
            EXPECT_EQ(got.refusal.line, refused_line) << c.name;
        }
        std::vector<std::string> records;
        for (int i = 0; i < 10; ++i) {
            records.emplace_back(reader.next_data_record());
            if (records.back().empty()) break;
        }
        EXPECT_EQ(records, c.records) << c.name;
    }
}

TEST(RecordReader, RecordsComeInS11S21S12S22OrderWithTheirTokenCount) {
    struct Case {
        const char* name;
        std::string file;
        int pairs;
        double expected[8];
        int tokens;
    };
    const std::vector<Case> cases = {
        {"as written", "#\n1 1 2 3 4 5 6 7 8 9\n", 4, {1, 2, 3, 4, 5, 6, 7, 8}, 8},
        {"a short line", "#\n1 1 2 3 4 5\n", 4, {1, 2, 3, 4, 5, 0, 0, 0}, 5},
        {"two pairs of four", "#\n1 1 2 3 4 5 6 7 8\n", 2, {1, 2, 3, 4, 0, 0, 0, 0}, 4},
        {"12_21 order", "# S RI\n[Two-Port Data Order] 12_21\n1 1 2 3 4 5 6 7 8\n", 4,
         {1, 2, 5, 6, 3, 4, 7, 8}, 8},
        {"12_21 order, first two pairs", "# S RI\n[Two-Port Data Order] 12_21\n1 1 2 3 4 5 6 7 8\n", 2,
         {1, 2, 5, 6, 3, 4, 0, 0}, 6},
    };
    for (const Case& c : cases) {
        InputSlot input;
        input.open_memory(c.file);
        RecordReader reader(input);
        FileHeader header;
        ASSERT_TRUE(reader.read_header(header)) << c.name;
        DataRecord record;
        ASSERT_TRUE(reader.next_record(c.pairs, record)) << c.name;
        EXPECT_EQ(record.frequency, 1.0) << c.name;
        EXPECT_EQ(record.tokens, c.tokens) << c.name;
        for (int k = 0; k < 8; ++k) {
            const Complex& pair = record.pairs[k / 2];
            EXPECT_EQ(k % 2 == 0 ? pair.re : pair.im, c.expected[k]) << c.name << " number " << k;
        }
    }
}

// Records and noise lines of a whole file, read as the driver reads them.
struct FileReading {
    std::vector<std::string> records;
    std::vector<std::string> noise;  // "frequency fmin |G| angle rn" as numbers, and "ohms"
    Cause problem = Cause::none;
    long long problem_line = 0;
};

FileReading read_file(const std::string& contents) {
    InputSlot input;
    input.open_memory(contents);
    RecordReader reader(input);
    FileHeader header;
    FileReading reading;
    EXPECT_TRUE(reader.read_header(header));
    for (std::string_view record = reader.next_data_record(); !record.empty();
         record = reader.next_data_record()) {
        reading.records.emplace_back(record);
    }
    reading.problem = reader.problem().cause;
    reading.problem_line = reader.problem().line;
    NoiseLine noise;
    while (reader.next_noise_line(noise)) {
        std::ostringstream line;
        line << noise.frequency_text << ' ' << noise.parameters.fmin_db << ' '
             << noise.parameters.gamma_magnitude << ' ' << noise.parameters.gamma_degrees << ' '
             << noise.parameters.resistance << (noise.resistance_in_ohms ? " ohms" : "");
        reading.noise.push_back(line.str());
    }
    return reading;
}

TEST(RecordReader, FindsTheNoiseBlockWhereTheRecordsEnd) {
    const std::string s8 = " 1 0 2 0 3 0 4 0\n";
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> records;
        std::vector<std::string> noise;
    };
    const std::vector<Case> cases = {
        {"a data sheet: noise after a drop", "# GHz S MA\n1" + s8 + "2" + s8 +
         "! noise\n1 0.5 0.3 25 0.2\n2 0.6 0.4 30 0.25\n",
         {"1 0 2 0 3 0 4 0", "1 0 2 0 3 0 4 0"}, {"1 0.5 0.3 25 0.2", "2 0.6 0.4 30 0.25"}},
        {"noise from the last S frequency on", "#\n1" + s8 + "2" + s8 +
         "2 0.5 0.3 25 0.2\n3 0.6 0.4 30 0.25\n4 0.7 0.5 35 0.3\n",
         {"1 0 2 0 3 0 4 0", "1 0 2 0 3 0 4 0"},
         {"2 0.5 0.3 25 0.2", "3 0.6 0.4 30 0.25", "4 0.7 0.5 35 0.3"}},
        {"a repeat in the short form stays a repeat", "#\n1 1 0 2 0\n2 1 0 2 0\n2 5 6 7 8\n3 1 0 2 0\n",
         {"1 0 2 0", "1 0 2 0", "1 0 2 0"}, {}},
        {"a repeat of eight numbers is dropped", "#\n1" + s8 + "1" + s8 + "2" + s8,
         {"1 0 2 0 3 0 4 0", "1 0 2 0 3 0 4 0"}, {}},
        {"a malformed line ends the block", "#\n2" + s8 +
         "1 0.5 0.3 25 0.2\n2 0.6 0.4 30 0.25 9\n3 0.7 0.5 35 0.3\n",
         {"1 0 2 0 3 0 4 0"}, {"1 0.5 0.3 25 0.2"}},
        {"a repeat or a drop ends the block", "#\n5" + s8 +
         "1 0.5 0.3 25 0.2\n2 0.6 0.4 30 0.25\n2 0.6 0.4 30 0.25\n3 1 1 1 1\n",
         {"1 0 2 0 3 0 4 0"}, {"1 0.5 0.3 25 0.2", "2 0.6 0.4 30 0.25"}},
        {"a non-number ends the block", "#\n5" + s8 + "1 0.5 0.3 25 x\n2 0.6 0.4 30 0.25\n",
         {"1 0 2 0 3 0 4 0"}, {}},
        {"a second sweep is no noise block", "#\n1" + s8 + "2" + s8 + "1" + s8,
         {"1 0 2 0 3 0 4 0", "1 0 2 0 3 0 4 0"}, {}},
        {"[Noise Data] gives Rn in ohms", "# GHz S RI\n[Network Data]\n1" + s8 + "2" + s8 +
         "[Noise Data]\n1 0.5 0.3 25 10\n! c\n2 0.6 0.4 30 12.5\n[End]\n3 0.7 0.5 35 15\n",
         {"1 0 2 0 3 0 4 0", "1 0 2 0 3 0 4 0"}, {"1 0.5 0.3 25 10 ohms", "2 0.6 0.4 30 12.5 ohms"}},
        {"[Noise Data] above the last S frequency is left out",
         "#\n[Network Data]\n1" + s8 + "2" + s8 + "[Noise Data]\n3 0.5 0.3 25 10\n",
         {"1 0 2 0 3 0 4 0", "1 0 2 0 3 0 4 0"}, {}},
        {"[End] after the records: no noise", "#\n1" + s8 + "[End]\n1 0.5 0.3 25 0.2\n",
         {"1 0 2 0 3 0 4 0"}, {}},
        {"no S record, no noise block", "#\n[Noise Data]\n1 0.5 0.3 25 10\n", {}, {}},
    };
    for (const Case& c : cases) {
        const FileReading reading = read_file(c.file);
        EXPECT_EQ(reading.records, c.records) << c.name;
        EXPECT_EQ(reading.noise, c.noise) << c.name;
        EXPECT_EQ(reading.problem, Cause::none) << c.name;
    }
}

TEST(RecordReader, TakesEachRecordsPortImpedancesFromTheCommentsAfterIt) {
    InputSlot input;
    input.open_memory(
        "! Data is not renormalized\n!S-parameter uses the power definition\n#  GHZ S MA\n"
        "1 0.1 10 0.9 -20 0.9 -20 0.1 10\n! Gamma ! 0.001 1.02 0.001 1.02\n"
        "! Port Impedance49.7 -0.1 375.2 3.1\n\n"
        "2 0.1 10 0.9 -20 0.9 -20 0.1 10\n! PORT IMPEDANCE 50 1 0 0\n!  0 0 80 -2\n"
        // The whole matrix on one line, and wrapped after three of its four elements.
        "3 0.1 10 0.9 -20 0.9 -20 0.1 10\n! Port Impedance50  0  0  0  0  0  60  0\n"
        "4 0.1 10 0.9 -20 0.9 -20 0.1 10\n! Port Impedance 52 -2 1 1 1 1\n!  110 -19\n");
    RecordReader reader(input);
    FileHeader header;
    ASSERT_TRUE(reader.read_header(header));
    EXPECT_EQ(header.option_line, "#  GHZ S MA");
    EXPECT_TRUE(header.not_renormalized);
    EXPECT_EQ(header.waves, WaveDefinition::power);
    EXPECT_TRUE(header.port_impedances);
    const double expected[4][4] = {
        {49.7, -0.1, 375.2, 3.1}, {50, 1, 80, -2}, {50, 0, 60, 0}, {52, -2, 110, -19}};
    for (const auto& z : expected) {
        ASSERT_FALSE(reader.next_data_record().empty());
        const PortImpedances& got = reader.port_impedances();
        EXPECT_EQ(got.port1.re, z[0]);
        EXPECT_EQ(got.port1.im, z[1]);
        EXPECT_EQ(got.port2.re, z[2]);  // the matrix's diagonal
        EXPECT_EQ(got.port2.im, z[3]);
    }
    EXPECT_TRUE(reader.next_data_record().empty());
    EXPECT_FALSE(reader.problem());
}

TEST(RecordReader, RefusesRecordsWhosePortImpedancesCannotBeKnown) {
    const std::string record = "1 0.1 0 0.9 0 0.9 0 0.1 0\n";
    const std::string z = "! Port Impedance 50 0 50 0\n";
    struct Case {
        const char* name;
        std::string data;
        Cause problem;
        long long line;
    };
    const std::vector<Case> cases = {
        {"a record without one", record + z + "2" + record.substr(1) + "3" + record.substr(1) + z,
         Cause::port_impedance_missing, 4},
        {"one after a record of a file without them",
         record + "2" + record.substr(1) + z, Cause::port_impedance_unexpected, 4},
        {"not two pairs", record + "! Port Impedance 50 0 50\n", Cause::port_impedance_malformed, 3},
        {"two for one record", record + z + z, Cause::port_impedance_malformed, 4},
        // Named at the comment the numbers start in, wherever the solver wrapped them.
        {"a short matrix row", record + z + "! 0 0 50\n", Cause::port_impedance_malformed, 3},
        {"a matrix row too many", record + z + "! 0 0 50 0\n! 1 2\n", Cause::port_impedance_malformed, 3},
    };
    for (const Case& c : cases) {
        const FileReading reading = read_file("#\n" + c.data);
        EXPECT_EQ(reading.problem, c.problem) << c.name;
        EXPECT_EQ(reading.problem_line, c.line) << c.name;
        EXPECT_TRUE(reading.noise.empty()) << c.name;
    }
}

}  // namespace
}  // namespace tavrin
