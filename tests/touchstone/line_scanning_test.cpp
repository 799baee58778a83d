// clean_line and pop_number on long lines: marks at every position of the eight-byte scan,
// and tokens whose numbers end at the blank or go on with other characters.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "touchstone/line_tokens.hpp"

namespace tavrin {
namespace {

// The cleaning rules applied one character at a time, then the trim.
std::string cleaned_by_the_rules(std::string line) {
    std::string out;
    for (const char c : line) {
        if (c == '!') break;
        out.push_back(c == '\t' ? ' ' : c == ',' ? '.' : c);
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

TEST(CleanLineScan, FindsEachMarkAtEveryPosition) {
    const std::string base = "  0.0150185611913 -0.00210387049391 3.136666028 -179.12345678  ";
    for (const char mark : {'\t', ',', '!'}) {
        for (std::size_t at = 0; at < base.size(); ++at) {
            std::string raw = base;
            raw[at] = mark;
            std::string line = raw;
            clean_line(line);
            EXPECT_EQ(line, cleaned_by_the_rules(raw)) << "mark " << int(mark) << " at " << at;
        }
    }
}

TEST(CleanLineScan, HandlesSeveralMarksAndHighBytes) {
    const std::vector<std::string> raws = {
        "1,5\t2,5\t3,5\t4,5\t5,5\t6,5 ! a, b\t c",
        "\xfa\xfb\xff,\t\x80 12,25!",
        "aaaaaaaa,bbbbbbbb\tcccccccc!dddddddd,",
        "12345678",
        "1234567,",
        ",,,,,,,,,,,,,,,,,",
    };
    for (const std::string& raw : raws) {
        std::string line = raw;
        clean_line(line);
        EXPECT_EQ(line, cleaned_by_the_rules(raw)) << raw;
    }
}

TEST(PopNumberScan, TakesWholeTokensWhereverTheNumberEnds) {
    struct Case {
        std::string text;
        std::vector<double> values;
        std::string rest;
    };
    const std::vector<Case> cases = {
        {"0.0150185611913 -0.00210387049391 3.136666028", {0.0150185611913, -0.00210387049391, 3.136666028}, ""},
        {"1.5e3x 2d-1y 7", {1500, 0.2, 7}, ""},
        {"1e 2", {1, 2}, ""},
        {"-.5   +.25    9", {-0.5, 0.25, 9}, ""},
        {"123456789012345678901 1", {123456789012345678901.0, 1}, ""},
        {"0x1A 5", {0, 5}, ""},
        {"-0x10 5", {-16, 5}, ""},
        {"&H10 5", {16, 5}, ""},
        // A text that starts with a blank: the first blank is the first character, so the
        // token removed is empty and the same number is read again.
        {" 5 6", {5, 5, 6}, ""},
        {"12.5.3 4", {12.5, 4}, ""},
    };
    for (const Case& c : cases) {
        std::string_view text = c.text;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_EQ(pop_number(text), c.values[i]) << "'" << c.text << "' pop " << i;
        }
        EXPECT_EQ(text, c.rest) << "'" << c.text << "'";
    }
}

}  // namespace
}  // namespace tavrin
