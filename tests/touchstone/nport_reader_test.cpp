// Records of files of any port count, from in-memory files. The files write S_ij as the number
// 10 i + j (its real part) and the record's frequency (its imaginary part), so each element's
// place in the matrix can be checked against where the layout rules put it.
#include "touchstone/nport_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace tavrin {
namespace {

// "10i+j f" for j from first to last: part of row i of the record at frequency f.
std::string row(int f, int i, int first, int last) {
    std::string text;
    for (int j = first; j <= last; ++j) {
        text.append(1, ' ').append(std::to_string(10 * i + j)).append(1, ' ');
        text.append(std::to_string(f));
    }
    return text;
}

// A whole n-port record, each row on its own line, at most four pairs a line.
std::string record(int f, int n) {
    std::string text = std::to_string(f);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; j += 4) text += row(f, i, j, std::min(n, j + 3)) + "\n";
    }
    return text;
}

struct Reading {
    bool option_line = false;
    NPortHeader header;
    std::vector<NPortRecord> records;
    Failure problem;
    unsigned long long records_read = 0;
    long long noise_line = 0;
};

// given: the port count known to the caller; the one settled on is the file's where it says.
Reading read_file(const std::string& file, int given) {
    InputSlot input;
    input.open_memory(file);
    NPortReader reader(input, given);
    Reading out;
    out.option_line = reader.read_header(out.header);
    if (!out.option_line) return out;
    reader.begin_records(out.header.ports != 0 ? out.header.ports : given, out.header);
    NPortRecord r;
    while (reader.next_record(r)) out.records.push_back(r);
    out.problem = reader.problem();
    out.records_read = reader.records_read();
    out.noise_line = reader.noise_line();
    return out;
}

enum class Layout { full, lower, upper };

// What S_ij must be: as written, or the mirror image of the half written.
double expected_element(Layout layout, int i, int j) {
    switch (layout) {
        case Layout::lower: return 10 * std::max(i, j) + std::min(i, j);
        case Layout::upper: return 10 * std::min(i, j) + std::max(i, j);
        case Layout::full: break;
    }
    return 10 * i + j;
}

TEST(NPortReader, ReadsRecordsByCountWhateverTheLineBreaks) {
    const std::string v1 = "! made by hand\n# GHz S RI R 50\n";
    const std::string v2 = "[Version] 2.0\n# GHz S RI R 50\n";
    struct Case {
        const char* name;
        int ports;  // given by the caller (0: the file says)
        std::string file;
        Layout layout;
        std::vector<int> frequencies;
    };
    const std::vector<Case> cases = {
        {"one-port with a DC point first", 1, v1 + "0 11 0\n1 11 1\n2 11 2\n", Layout::full,
         {0, 1, 2}},
        {"two-port, version 1 order S11 S21 S12 S22", 2, v1 + "1 11 1 21 1 12 1 22 1\n",
         Layout::full, {1}},
        {"two-port, 12_21", 0,
         v2 + "[Number of Ports] 2\n[Two-Port Data Order] 12_21\n[Network Data]\n"
              "1 11 1 12 1 21 1 22 1\n[End]\n",
         Layout::full, {1}},
        {"three-port row by row", 3, v1 + record(1, 3) + record(2, 3), Layout::full, {1, 2}},
        {"three-port record on one line", 3,
         v1 + "1" + row(1, 1, 1, 3) + row(1, 2, 1, 3) + row(1, 3, 1, 3) + "\n" + record(2, 3),
         Layout::full, {1, 2}},
        {"three-port split anywhere, even within a pair", 3,
         v1 + "1\n11 1 12\n1 13 1 21 1 22 1 23\n1 31 1 32 1 33 1\n" + record(2, 3),
         Layout::full, {1, 2}},
        {"comments and blank lines within a record", 3,
         v1 + "1" + row(1, 1, 1, 3) + " ! row 1\n\n! between rows\n\t\n" + row(1, 2, 1, 3) +
             "\n!\n" + row(1, 3, 1, 3) + "\n",
         Layout::full, {1}},
        {"four-port, four pairs a line", 4, v1 + record(0, 4) + record(1, 4) + record(5, 4),
         Layout::full, {0, 1, 5}},
        {"five-port, rows wrapped after four pairs", 5, v1 + record(1, 5) + record(2, 5),
         Layout::full, {1, 2}},
        {"tabs and decimal commas", 3,
         v1 + "1,0\t11 1 12 1 13 1\n21\t1 22 1 23 1\n31 1,0 32 1 33 1\n", Layout::full, {1}},
        {"version 2, Full, counted", 0,
         v2 + "[Number of Ports] 3\n[Number of Frequencies] 2\n[Matrix Format] Full\n"
              "[Network Data]\n" + record(1, 3) + record(2, 3) + "[End]\n",
         Layout::full, {1, 2}},
        {"version 2, Lower", 0,
         v2 + "[Number of Ports] 3\n[Matrix Format] Lower\n[Network Data]\n"
              "1" + row(1, 1, 1, 1) + "\n" + row(1, 2, 1, 2) + "\n" + row(1, 3, 1, 3) + "\n"
              "2" + row(2, 1, 1, 1) + row(2, 2, 1, 2) + row(2, 3, 1, 3) + "\n",
         Layout::lower, {1, 2}},
        {"version 2, Upper", 0,
         v2 + "[Number of Ports] 3\n[Matrix Format] upper\n[Network Data]\n"
              "1" + row(1, 1, 1, 3) + "\n" + row(1, 2, 2, 3) + "\n" + row(1, 3, 3, 3) + "\n",
         Layout::upper, {1}},
        {"version 2, Lower four-port", 0,
         v2 + "[Number of Ports] 4\n[Matrix Format] LOWER\n[Network Data]\n"
              "1" + row(1, 1, 1, 1) + "\n" + row(1, 2, 1, 2) + "\n" + row(1, 3, 1, 3) + "\n" +
              row(1, 4, 1, 4) + "\n",
         Layout::lower, {1}},
        {"version 2, Upper two-port ignores the pair order", 0,
         v2 + "[Number of Ports] 2\n[Two-Port Data Order] 21_12\n[Matrix Format] Upper\n"
              "[Network Data]\n1" + row(1, 1, 1, 2) + row(1, 2, 2, 2) + "\n",
         Layout::upper, {1}},
        {"an information block is skipped, data-like lines and all", 0,
         v2 + "[Begin Information]\n[Number of Ports] 7\n1 2 3\n[End Information]\n"
              "[Number of Ports] 1\n[Network Data]\n1 11 1\n",
         Layout::full, {1}},
        {"the noise data ends the records", 0,
         v2 + "[Number of Ports] 1\n[Network Data]\n1 11 1\n2 11 2\n[Noise Data]\n1 2 3 4 5\n",
         Layout::full, {1, 2}},
        {"no records at all", 0, v2 + "[Number of Ports] 1\n[Network Data]\n[End]\n",
         Layout::full, {}},
        {"the order of modes goes on over a line of entries", 0,
         v2 + "[Number of Ports] 2\n[Mixed-Mode Order] D1,2\n C1,2\n[Network Data]\n"
              "1 11 1 21 1 12 1 22 1\n",
         Layout::full, {1}},
    };
    for (const Case& c : cases) {
        const Reading got = read_file(c.file, c.ports);
        ASSERT_TRUE(got.option_line) << c.name;
        EXPECT_FALSE(got.header.refusal) << c.name << ": " << got.header.refusal.subject;
        EXPECT_FALSE(got.problem) << c.name << ": cause " << static_cast<int>(got.problem.cause)
                                  << " line " << got.problem.line;
        const int n = c.ports != 0 ? c.ports : got.header.ports;
        ASSERT_EQ(got.records.size(), c.frequencies.size()) << c.name;
        EXPECT_EQ(got.records_read, c.frequencies.size()) << c.name;
        for (std::size_t k = 0; k < got.records.size(); ++k) {
            const NPortRecord& r = got.records[k];
            const int f = c.frequencies[k];
            EXPECT_EQ(r.frequency, f) << c.name;
            ASSERT_EQ(r.s.size(), static_cast<std::size_t>(n * n)) << c.name;
            EXPECT_TRUE(r.impedances.empty()) << c.name;
            for (int i = 1; i <= n; ++i) {
                for (int j = 1; j <= n; ++j) {
                    const Complex& s = r.s[static_cast<std::size_t>((i - 1) * n + (j - 1))];
                    EXPECT_EQ(s.re, expected_element(c.layout, i, j))
                        << c.name << ": S" << i << j << " at " << f;
                    EXPECT_EQ(s.im, f) << c.name << ": S" << i << j;
                }
            }
        }
    }
}

TEST(NPortReader, TwoPortsKeepTheirOwnLineRulesAndNoticeNoiseData) {
    const std::string v1 = "# GHz S RI\n", r = "1 11 1 21 1 12 1 22 1\n";  // lines 1, 2
    // Records read, the line noise data starts at, and the problem.
    const std::vector<std::tuple<std::string, std::size_t, long long, Cause>> cases = {
        {v1 + r + "1 1 2 3 4\n", 1, 3, Cause::none},
        {"[Version] 2.0\n" + v1 + "[Network Data]\n" + r + "[Noise Data]\n1 2 3 4 5\n", 1, 5,
         Cause::none},
        {v1 + r + "0.5 1 2 3 4 5 6 7 8\n", 1, 0, Cause::frequency_not_rising},
        {v1 + "1 11 1 21 1 12 1\n", 0, 0, Cause::record_short},  // a truncated export
    };
    for (const auto& [file, records, noise_line, cause] : cases) {
        const Reading got = read_file(file, 2);
        EXPECT_EQ(got.records.size(), records) << file;
        EXPECT_EQ(got.noise_line, noise_line) << file;
        EXPECT_EQ(got.problem.cause, cause) << file;
    }
    // Four numbers on a version 1 line are S11 and S21 of a symmetrical device.
    const Reading got = read_file(v1 + "1 11 1 21 2\n2 11 1 21 2\n", 2);
    ASSERT_EQ(got.records.size(), 2u);
    const std::vector<Complex>& s = got.records[0].s;
    EXPECT_EQ(std::vector<double>({s[0].re, s[1].re, s[2].re, s[3].re, s[2].im}),
              std::vector<double>({11, 21, 21, 11, 2}));
}

TEST(NPortReader, KeepsTheRecordsLineAndFrequencyToken) {
    const Reading got = read_file("# GHz S RI\n\n1.5E0 11 1\n! c\n2,0e0\t11 1\n", 1);
    ASSERT_EQ(got.records.size(), 2u);
    EXPECT_EQ(got.records[0].frequency_text, "1.5E0");
    EXPECT_EQ(got.records[0].line, 3);
    EXPECT_EQ(got.records[1].frequency_text, "2.0e0");
    EXPECT_EQ(got.records[1].frequency, 2.0);
    EXPECT_EQ(got.records[1].line, 5);
}

TEST(NPortReader, ReadsTheHeader) {
    const Reading got = read_file(
        "! Data is not renormalized\n"
        "! S-parameter uses the power definition\n"
        "[Version] 2.0\n"
        "# MHz S MA R 50\n"                    // line 4
        "[Number of Ports] 3\n"
        "[Reference] 50 60\n"                  // line 6: N is known, so it goes on
        "! a comment within\n"
        "70\n"
        "[Number of Frequencies] 1\n"          // line 9
        "[Number of Noise Frequencies] 0\n"
        "[Network Data]\n" + record(1, 3), 0);
    ASSERT_TRUE(got.option_line);
    const NPortHeader& h = got.header;
    EXPECT_FALSE(h.refusal);
    EXPECT_EQ(h.version, 2);
    EXPECT_EQ(h.option_line, "# MHz S MA R 50");
    EXPECT_EQ(h.option_line_number, 4);
    EXPECT_EQ(h.ports, 3);
    EXPECT_EQ(h.ports_line, 5);
    EXPECT_EQ(h.reference, (std::vector<double>{50, 60, 70}));
    EXPECT_EQ(h.reference_line, 6);
    EXPECT_EQ(h.frequencies, 1);
    EXPECT_EQ(h.frequencies_line, 9);
    EXPECT_TRUE(h.not_renormalized);
    EXPECT_EQ(h.waves, WaveDefinition::power);
    EXPECT_EQ(h.matrix, MatrixFormat::full);
    EXPECT_FALSE(h.port_impedances);
    EXPECT_EQ(got.records.size(), 1u);
    EXPECT_FALSE(got.problem);

    struct ReferenceCase {
        const char* name;
        std::string keywords;
        int given;
        std::vector<double> reference;
        int ports;  // header.ports
    };
    const std::vector<ReferenceCase> cases = {
        {"one value for every port", "[Number of Ports] 3\n[Reference] 75\n", 0, {75}, 3},
        {"before the port count: the lines of numbers after it", "[Reference] 50\n60 70\n"
         "[Number of Ports] 3\n", 0, {50, 60, 70}, 3},
        {"the count given by the caller", "[Reference] 50\n60 70\n", 3, {50, 60, 70}, 0},
        {"two equal statements", "[Number of Ports] 2\n[Reference] 50\n[Reference] 50 50\n", 0,
         {50, 50}, 2},
    };
    for (const ReferenceCase& c : cases) {
        const Reading r = read_file("[Version] 2.0\n# GHz S RI\n" + c.keywords +
                                        "[Network Data]\n1 11 1\n", c.given);
        EXPECT_FALSE(r.header.refusal) << c.name;
        EXPECT_EQ(r.header.reference, c.reference) << c.name;
        EXPECT_EQ(r.header.ports, c.ports) << c.name;
    }
    EXPECT_FALSE(read_file("1 2 3\n! # not an option line\n", 1).option_line);
}

TEST(NPortReader, TakesEachRecordsPortImpedances) {
    struct Case {
        const char* name;
        int ports;
        std::string data;  // after the option line
        std::vector<Complex> first;  // the first record's port impedances
    };
    const std::string r3 = record(1, 3);
    const std::vector<Case> cases = {
        {"one pair per port on one line", 3, r3 + "! Port Impedance 50 1 60 2 70 3\n",
         {{50, 1}, {60, 2}, {70, 3}}},
        {"wrapped, the first number glued to the words", 3,
         r3 + "! Port Impedance50 1 60\n!  2\t70 3\n", {{50, 1}, {60, 2}, {70, 3}}},
        {"the matrix, whose diagonal is taken", 3,
         r3 + "! Port Impedance 50 1 9 9 8 8\n! 7 7 60 2 6 6\n! 5 5 4 4 70 3\n",
         {{50, 1}, {60, 2}, {70, 3}}},
        {"a two-port matrix on one line", 2,
         "1 11 1 21 1 12 1 22 1\n! Port Impedance50  0  7  8  9  6  25  0\n", {{50, 0}, {25, 0}}},
        {"one-port", 1, "1 11 1\n! port  impedance 49.5 -1\n", {{49.5, -1}}},
        {"decimal commas, and a Gamma comment after", 3,
         r3 + "! Port Impedance 50,5 1 60 2 70 3\n! Gamma 1 2 3 4 5 6\n! 1 2\n",
         {{50.5, 1}, {60, 2}, {70, 3}}},
        {"before the first record they belong to none", 1,
         "! Port Impedance 1 2\n1 11 1\n", {}},
        {"none at all", 3, r3, {}},
    };
    for (const Case& c : cases) {
        const Reading got = read_file("# GHz S RI\n" + c.data, c.ports);
        EXPECT_FALSE(got.problem) << c.name << ": line " << got.problem.line;
        ASSERT_EQ(got.records.size(), 1u) << c.name;
        EXPECT_EQ(got.header.port_impedances, !c.first.empty()) << c.name;
        const std::vector<Complex>& z = got.records[0].impedances;
        ASSERT_EQ(z.size(), c.first.size()) << c.name;
        for (std::size_t i = 0; i < z.size(); ++i) {
            EXPECT_EQ(z[i].re, c.first[i].re) << c.name << ": port " << i + 1;
            EXPECT_EQ(z[i].im, c.first[i].im) << c.name << ": port " << i + 1;
        }
    }
    // Each record keeps its own.
    const Reading got = read_file("# GHz S RI\n1 11 1\n! Port Impedance 50 1\n2 11 2\n"
                                  "! Port Impedance 60 2\n", 1);
    ASSERT_EQ(got.records.size(), 2u);
    EXPECT_EQ(got.records[1].impedances[0].re, 60);
    EXPECT_EQ(got.records[0].impedances[0].re, 50);
}

TEST(NPortReader, NamesWhatEndsOrRefusesTheFile) {
    struct Case {
        const char* name;
        std::string file;
        int given;
        Cause cause;
        long long line;
        std::string subject;  // compared when not empty
        std::string other;    // compared when not empty
        long long other_line = 0;
        std::size_t records = 0;  // delivered before the end
    };
    const std::string option = "# GHz S RI\n";  // line 1
    const std::string v2 = "[Version] 2.0\n" + option;  // lines 1, 2
    const std::string r3 = record(1, 3);  // three lines
    const std::vector<Case> cases = {
        {"the caller's port count differs", v2 + "[Number of Ports] 4\n", 3,
         Cause::ports_disagree, 3, "4", "the file name or --ports"},
        {"no port count", v2 + "[Number of Ports] 0\n", 0, Cause::count_not_usable, 3,
         "[Number of Ports] 0", "from 1 to 5792"},
        {"a fractional port count", v2 + "[Number of Ports] 2.5\n", 0, Cause::count_not_usable,
         3, "[Number of Ports] 2.5", "from 1 to 5792"},
        {"more ports than memory holds", v2 + "[Number of Ports] 5793\n", 0,
         Cause::ports_beyond_memory, 3, "[Number of Ports] 5793", "from 1 to 5792"},
        {"a frequency count that is no count", v2 + "[Number of Frequencies] x\n", 1,
         Cause::count_not_usable, 3, "[Number of Frequencies] x", "from 0 up"},
        {"mixed-mode data", v2 + "[Number of Ports] 4\n[Mixed-Mode Order] D2,3 D1,4\n", 0,
         Cause::mode_without_partner, 4, "", ""},
        {"a second order that differs", v2 + "[Mixed-Mode Order] S1\n[Mixed-Mode Order] S2\n",
         1, Cause::mode_order_conflict, 4, "[Mixed-Mode Order] S2", ""},
        {"an unknown pair order", v2 + "[Two-Port Data Order] 11_22\n", 2,
         Cause::unknown_pair_order, 3, "[Two-Port Data Order] 11_22", ""},
        {"an unknown matrix format", v2 + "[Matrix Format] Diagonal\n", 3, Cause::matrix_not_full,
         3, "[Matrix Format] Diagonal", ""},
        {"more references than ports", v2 + "[Number of Ports] 3\n[Reference] 50 50 50 50\n", 0,
         Cause::reference_count, 4, "[Reference] 50 50 50 50", ""},
        {"neither one reference nor one per port, found with the port count after",
         v2 + "[Reference] 50 60\n[Number of Ports] 3\n", 0, Cause::reference_count, 3,
         "[Reference] 50 60", ""},
        {"an empty [Reference]", v2 + "[Reference]\n[Network Data]\n", 1, Cause::reference_count,
         3, "", ""},
        {"a second [Reference] that differs", v2 + "[Reference] 50\n[Reference] 75\n", 2,
         Cause::references_conflict, 4, "[Reference] 75", ""},
        {"a word among the references", v2 + "[Reference] 50 ohm\n", 2, Cause::number_malformed,
         3, "ohm", ""},
        {"a record ends at the end of the file", option + "1 11 1 12 1 13 1\n21 1\n", 3,
         Cause::record_short, 2, "1", "8"},
        {"a record ends at a keyword", option + r3 + "2 11 2\n[End]\n", 3, Cause::record_short,
         5, "2", "2", 0, 1},
        {"a one-port line holds more than its pair", option + "1 11 1\n2 11 2 3\n", 1,
         Cause::record_long, 3, "2", "1", 0, 1},
        {"the last line of a record holds more", option + "1" + row(1, 1, 1, 3) + "\n" +
         row(1, 2, 1, 3) + "\n" + row(1, 3, 1, 3) + " 9\n", 3, Cause::record_long, 4, "1", "9"},
        {"a word among the numbers", option + r3 + "2 11 2 12 x\n", 3, Cause::number_malformed,
         5, "x", "", 0, 1},
        {"a frequency that is no number", option + "1 11 1\nf 11 2\n", 1,
         Cause::number_malformed, 3, "f", "", 0, 1},
        {"the same frequency twice", option + "1 11 1\n1.0 11 1\n", 1,
         Cause::frequency_not_rising, 3, "1.0", "1", 0, 1},
        {"a lower frequency", option + "0 11 0\n2 11 2\n1 11 1\n", 1,
         Cause::frequency_not_rising, 4, "1", "2", 0, 2},
        {"a first frequency below 0", option + "-1 11 1\n", 1, Cause::frequency_not_rising, 2,
         "-1", "0"},
        {"fewer records than stated", v2 + "[Number of Frequencies] 3\n[Network Data]\n" +
         "1 11 1\n2 11 2\n[End]\n", 1, Cause::frequency_count_differs, 3, "2", "3", 0, 2},
        {"more records than stated", v2 + "[Number of Frequencies] 1\n[Network Data]\n" +
         "1 11 1\n2 11 2\n", 1, Cause::frequency_count_differs, 3, "2", "1", 0, 2},
        {"a record without port impedances", option + "1 11 1\n! Port Impedance 50 0\n2 11 2\n"
         "! Gamma 1 2\n3 11 3\n", 1, Cause::port_impedance_missing, 4, "", "", 0, 1},
        {"port impedances the first record lacks", option + "1 11 1\n! Gamma 1 2\n2 11 2\n"
         "! Port Impedance 50 0\n", 1, Cause::port_impedance_unexpected, 5, "", "", 2, 1},
        {"neither one per port nor the matrix", option + r3 + "! Port Impedance 50 0 50 0\n", 3,
         Cause::port_impedance_malformed, 5, "", ""},
        {"a comment that is not numbers ends them", option + r3 +
         "! Port Impedance 50 0 50 0\n! Gamma\n! 50 0\n", 3, Cause::port_impedance_malformed, 5,
         "", ""},
        {"so does a blank line", option + r3 + "! Port Impedance 50 0 50 0\n\n! 50 0\n", 3,
         Cause::port_impedance_malformed, 5, "", ""},
        {"a second Port Impedance comment", option + "1 11 1\n! Port Impedance 50 0\n"
         "! Port Impedance 50 0\n", 1, Cause::port_impedance_malformed, 4, "", ""},
        {"a word in a Port Impedance comment", option + "1 11 1\n! Port Impedance 50 ohms\n", 1,
         Cause::port_impedance_malformed, 3, "", ""},
    };
    for (const Case& c : cases) {
        const Reading got = read_file(c.file, c.given);
        ASSERT_TRUE(got.option_line) << c.name;
        // What the header refuses comes first; the records are not read for such a file.
        const Failure& f = got.header.refusal ? got.header.refusal : got.problem;
        EXPECT_EQ(f.cause, c.cause) << c.name;
        EXPECT_EQ(f.line, c.line) << c.name;
        EXPECT_EQ(f.file, FileRole::none) << c.name;
        if (!c.subject.empty()) {
            EXPECT_EQ(f.subject, c.subject) << c.name;
        }
        if (!c.other.empty()) {
            EXPECT_EQ(f.other, c.other) << c.name;
        }
        EXPECT_EQ(f.other_line, c.other_line) << c.name;
        if (!got.header.refusal) {
            EXPECT_EQ(got.records.size(), c.records) << c.name;
        }
    }
}

TEST(NPortReader, ReusesItsBuffersFromRecordToRecord) {
    std::string file = "# GHz S RI\n";
    for (int f = 1; f <= 40; ++f) {
        file += record(f, 3) + "! Port Impedance 50 1 60 2 70 3\n";
    }
    InputSlot input;
    input.open_memory(file);
    NPortReader reader(input, 3);
    NPortHeader header;
    ASSERT_TRUE(reader.read_header(header));
    reader.begin_records(3, header);
    NPortRecord r;
    std::set<const void*> buffers;
    int count = 0;
    while (reader.next_record(r)) {
        ++count;
        buffers.insert(r.s.data());
        buffers.insert(r.impedances.data());
    }
    EXPECT_EQ(count, 40);
    EXPECT_FALSE(reader.problem());
    // The caller's and the reader's own, taking turns.
    EXPECT_LE(buffers.size(), 4u);
}

TEST(NPortReferences, ComeFromTheStatementThatDecides) {
    using Kind = NPortReferences::Kind;
    struct Case {
        const char* name;
        std::string file;  // up to the data
        std::size_t ports;
        Cause cause;
        Kind kind;
        std::vector<double> values;
        std::string subject = {};  // of the failure
        long long line = 0;        // of the failure
    };
    const std::string data = "[Network Data]\n1 11 1\n";
    const std::vector<Case> cases = {
        {"nothing stated: 50 ohms", "# GHz S RI\n", 3, Cause::none, Kind::one, {50, 50, 50}},
        {"one value after R", "# GHz S RI R 75\n", 3, Cause::none, Kind::one, {75, 75, 75}},
        {"one per port after R", "# GHz S RI R 50 75 100\n", 3, Cause::none, Kind::per_port,
         {50, 75, 100}},
        {"equal ones per port", "# GHz S RI R 60 60\n", 2, Cause::none, Kind::one, {60, 60}},
        {"neither one nor one per port after R", "# GHz S RI R 50 75\n", 3,
         Cause::too_many_references, Kind::one, {}, "# GHZ S RI R 50 75", 1},
        {"more than the ports after R", "# GHz S RI R 50 75 100\n", 2,
         Cause::too_many_references, Kind::one, {}, "# GHZ S RI R 50 75 100", 1},
        {"[Reference] for every port", "# GHz S RI R 50\n[Reference] 60\n", 4, Cause::none,
         Kind::one, {60, 60, 60, 60}},
        {"[Reference] per port over two lines", "# GHz S RI R 50\n[Reference] 10 20\n30\n", 3,
         Cause::none, Kind::per_port, {10, 20, 30}},
        {"[Reference] over an unusable R", "# GHz S RI R (50+50j)\n[Reference] 75\n", 1,
         Cause::none, Kind::one, {75}},
        {"[Reference] of another count", "# GHz S RI\n[Reference] 50 60\n", 3,
         Cause::reference_count, Kind::one, {}, "[Reference] 50 60", 2},
        {"R as written where it reads as 0", "# GHz S RI R (50+50j)\n", 2,
         Cause::reference_not_usable, Kind::one, {}, "(50+50J)", 1},
        {"a later R value below 0", "# GHz S RI R 50 -5 75\n", 3, Cause::reference_not_usable,
         Kind::one, {}, "-5", 1},
        {"an infinite [Reference]", "[Version] 2.0\n# GHz S RI\n[Reference] 1e999\n", 2,
         Cause::reference_not_usable, Kind::one, {}, "inf", 3},
        {"not renormalized and nothing stated", "! Data is not renormalized\n# GHz S RI\n", 2,
         Cause::references_unknown, Kind::one, {}, "", 0},
        {"not renormalized, but R stated", "! Data is not renormalized\n# GHz S RI R 25\n", 2,
         Cause::none, Kind::one, {25, 25}},
    };
    for (const Case& c : cases) {
        const Reading got = read_file(c.file + data, 0);
        ASSERT_TRUE(got.option_line) << c.name;
        ASSERT_FALSE(got.header.refusal) << c.name;
        NPortReferences references;
        const Failure f = read_nport_references(read_option_line(got.header.option_line),
                                                got.header, c.ports, references);
        EXPECT_EQ(f.cause, c.cause) << c.name;
        if (f) {
            EXPECT_EQ(f.subject, c.subject) << c.name;
            EXPECT_EQ(f.line, c.line) << c.name;
            continue;
        }
        EXPECT_EQ(references.kind, c.kind) << c.name;
        EXPECT_EQ(references.values, c.values) << c.name;
    }
    // Port impedance comments decide over everything else.
    const Reading got = read_file("# GHz S RI R 0\n[Reference] 60 70\n1 11 1 21 1 12 1 22 1\n"
                                  "! Port Impedance 50 0 50 0\n", 2);
    ASSERT_TRUE(got.header.port_impedances);
    NPortReferences references;
    EXPECT_FALSE(read_nport_references(read_option_line(got.header.option_line), got.header, 2,
                                       references));
    EXPECT_EQ(references.kind, Kind::per_frequency);
}

}  // namespace
}  // namespace tavrin
