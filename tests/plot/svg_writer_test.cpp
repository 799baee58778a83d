// The SVG writer: every text it is given comes out as XML that any reader takes, and every
// number in the point-and-digits form SVG reads, whatever the value.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "plot/svg_writer.hpp"

namespace tavrin {
namespace {

const std::string replaced = "\xEF\xBF\xBD";  // U+FFFD

TEST(SvgWriter, TextIsEscapedAndMadeWellFormedUtf8) {
    struct Case {
        std::string text;
        std::string escaped;
    };
    const std::vector<Case> cases = {
        {"amp75.s2p", "amp75.s2p"},
        {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
        {"50 \xCE\xA9 \xE2\x86\x92 75", "50 \xCE\xA9 \xE2\x86\x92 75"},  // Ω and →, kept
        {"\xF0\x9F\x93\x88", "\xF0\x9F\x93\x88"},                       // four bytes, kept
        {"tab\tline\ncr\r", "tab\tline\ncr\r"},
        {"a\x01z\x1f", "a" + replaced + "z" + replaced},                 // no XML character
        {"latin-1 \xE9t\xE9", "latin-1 " + replaced + "t" + replaced},  // not UTF-8
        {"\xC0\xAF", replaced + replaced},                              // overlong '/'
        {"\xED\xA0\x80", replaced + replaced + replaced},               // a surrogate
        {"\xEF\xBF\xBE", replaced + replaced + replaced},               // U+FFFE
        {"\xF4\x90\x80\x80", replaced + replaced + replaced + replaced},  // above U+10FFFF
        {"cut \xE2\x86", "cut " + replaced + replaced},
        {std::string("nul\0byte", 8), "nul" + replaced + "byte"},
    };
    for (const Case& c : cases) EXPECT_EQ(xml_escaped(c.text), c.escaped) << c.text;
}

TEST(SvgWriter, NumbersAreFixedAndAlwaysNumbers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, std::string>> cases = {
        {1234.56, "1234.6"}, {-3.04, "-3.0"}, {-0.04, "0.0"}, {nan, "0.0"},
        {inf, "0.0"},        {-inf, "0.0"},   {1e300, "1000000000.0"}};
    for (const auto& [value, text] : cases) {
        std::string out;
        append_number(out, value);
        EXPECT_EQ(out, text) << value;
    }
    std::string widths;
    for (const double value : {1.5, -0.004, 12.0}) {
        append_number(widths, value, 2);
        widths += ' ';
    }
    append_number(widths, 7.6, 0);
    EXPECT_EQ(widths, "1.50 0.00 12.00 8");
}

}  // namespace
}  // namespace tavrin
