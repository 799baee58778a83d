#include "touchstone/option_line.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace tavrin {
namespace {

struct OptionCase {
    std::string line;
    double z_new;
    DataFormat format;
    double z_old;
    std::string rewritten;
};

// Names the case by its text in test listings.
void PrintTo(const OptionCase& c, std::ostream* os) { *os << '\'' << c.line << '\''; }

class OptionLineTable : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionLineTable, ReadsAndRewrites) {
    const OptionCase& c = GetParam();
    const OptionLine option = read_option_line(c.line);
    EXPECT_EQ(option.format->format, c.format) << c.line;
    EXPECT_EQ(option.z_old, c.z_old) << c.line;
    EXPECT_EQ(rewrite_option_line(option, option.z_old, c.z_new), c.rewritten) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    AsRead, OptionLineTable,
    ::testing::Values(
        OptionCase{"# GHz S RI R 50", 75, DataFormat::ri, 50, "# GHZ S RI R 75"},
        OptionCase{"# ghz s ma r 50 ! measured", 25, DataFormat::ma, 50, "# GHZ S MA R 25"},
        OptionCase{"# MHZ S DB", 75, DataFormat::db, 50, "# MHZ S DB R 75"},
        OptionCase{"#", 75, DataFormat::ma, 50, "# R 75"},
        OptionCase{"# GHZ S dB R 50", 75, DataFormat::db, 50, "# GHZ S DB R 75"},
        OptionCase{"# GHZ S RI R 50.0", 75, DataFormat::ri, 50, "# GHZ S RI R 75.0"},
        OptionCase{"# GHZ S RI R 50 DB", 75, DataFormat::db, 50, "# GHZ S RI R 75 DB"},
        OptionCase{"#\tGHZ\tS\tRI\tR\t50", 75, DataFormat::ri, 50, "# GHZ S RI R 75"},
        OptionCase{"# HZ S RI R 50", 12.5, DataFormat::ri, 50, "# HZ S RI R 12.5"},
        OptionCase{"# HZ S RI R 75", 50, DataFormat::ri, 75, "# HZ S RI R 50"},
        OptionCase{"# HZ S RI R 1,5E2", 75, DataFormat::ri, 150, "# HZ S RI R 75"},
        OptionCase{"# HZ S RI R 100 ", 50, DataFormat::ri, 100, "# HZ S RI R 50"},
        OptionCase{"# HZ S RI R 50", 1e16, DataFormat::ri, 50, "# HZ S RI R 1e+016"},
        OptionCase{"# HZ S RI R 50", 1.0 / 3.0, DataFormat::ri, 50,
                   "# HZ S RI R 0.3333333333333333"},
        OptionCase{"# HZ S RI R x", 75, DataFormat::ri, 0, "# HZ S RI R 75"}));

// Where replacing exactly as many characters as z_old's canonical text has would corrupt
// the impedance, the whole token after "R " is replaced instead.
INSTANTIATE_TEST_SUITE_P(
    Mended, OptionLineTable,
    ::testing::Values(
        OptionCase{"# GHZ S RI R 050", 75, DataFormat::ri, 50, "# GHZ S RI R 75"},
        OptionCase{"# GHZ S RI R 5e1", 75, DataFormat::ri, 50, "# GHZ S RI R 75"},
        OptionCase{"# GHZ S RI R 50.0", 25.5, DataFormat::ri, 50, "# GHZ S RI R 25.5"},
        OptionCase{"# GHZ S RI R  50", 75, DataFormat::ri, 50, "# GHZ S RI R 75"},
        OptionCase{"# GHZ S RI R 50.00 ! x", 25.5, DataFormat::ri, 50, "# GHZ S RI R 25.5"},
        OptionCase{"# GHZ S MA R 50OHM", 75, DataFormat::ma, 50, "# GHZ S MA R 75"},
        OptionCase{"# GHZ S RI R 5E1 X", 100, DataFormat::ri, 50, "# GHZ S RI R 100 X"},
        OptionCase{"# GHZ S RI R 50.5", 75, DataFormat::ri, 50.5, "# GHZ S RI R 75"},
        OptionCase{"# GHz S MA R     50", 75, DataFormat::ma, 50, "# GHZ S MA R 75"},
        OptionCase{"# GHz S MA R   50 X", 75, DataFormat::ma, 50, "# GHZ S MA R 75 X"},
        OptionCase{"# HZ S RI R 100 X", 50, DataFormat::ri, 100, "# HZ S RI R 50 X"}));

// A reference per port: the list after "R " is read value by value and replaced as a whole by
// the one new reference; a single value keeps its rewrite above.
TEST(OptionLine, ReadsAndReplacesAReferenceForEachPort) {
    struct Case {
        const char* line;
        int count;
        double port1, port2;
        const char* rewritten;  // at 100 ohms
    };
    for (const Case& c : {Case{"# GHz S RI R 50 75", 2, 50, 75, "# GHZ S RI R 100"},
                          Case{"# GHZ R 50 75.5 S RI", 2, 50, 75.5, "# GHZ R 100 S RI"},
                          Case{"# GHZ S MA R\t50\t1E2 ! ports", 2, 50, 100, "# GHZ S MA R 100"},
                          Case{"# GHZ S RI R 50 75 100", 3, 50, 75, "# GHZ S RI R 100"},
                          Case{"# GHZ S RI R 50 DB", 1, 50, 0, "# GHZ S RI R 100 DB"},
                          Case{"# GHZ S RI R 50OHM 75", 2, 50, 75, "# GHZ S RI R 100"},
                          Case{"# GHZ S RI", 0, 50, 0, "# GHZ S RI R 100"}}) {
        const OptionLine option = read_option_line(c.line);
        EXPECT_EQ(option.impedance_count, c.count) << c.line;
        EXPECT_EQ(option.z_old, c.port1) << c.line;
        EXPECT_EQ(option.z_port2, c.port2) << c.line;
        EXPECT_EQ(rewrite_option_line(option, option.z_old, 100), c.rewritten) << c.line;
    }
}

// The words of the line: frequency unit and parameter letter, whole words only.
TEST(OptionLine, TakesTheUnitAndTheParameterLetterFromWholeWords) {
    struct Case {
        const char* line;
        std::string_view unit;
        char parameter;
        bool other;
    };
    for (const Case& c : {Case{"# GHz Z RI R 50", "GHZ", 'Z', true},
                          Case{"# ghz y ma", "GHZ", 'Y', true}, Case{"# HZ H MA", "HZ", 'H', true},
                          Case{"# G", "", 'G', true}, Case{"# KHZ S RI R 50", "KHZ", 'S', false},
                          Case{"# MHZ S MA R 50 ZZ", "MHZ", 'S', false},
                          Case{"#Z RI GHZ2", "", 'S', false}, Case{"# S Z", "", 'S', true},
                          Case{"#", "", 'S', false}}) {
        const OptionLine option = read_option_line(c.line);
        EXPECT_EQ(option.frequency_unit, c.unit) << c.line;
        EXPECT_EQ(option.parameter, c.parameter) << c.line;
        EXPECT_EQ(option.other_parameters, c.other) << c.line;
    }
}

}  // namespace
}  // namespace tavrin
