// The comment lines that say something about the data, in the forms exporters write them.
#include "touchstone/comment_lines.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

TEST(CommentLines, AreLinesWhoseFirstCharacterIsTheMark) {
    EXPECT_EQ(comment_text("! text"), " text");
    EXPECT_EQ(comment_text(" \t!x"), "x");
    EXPECT_EQ(comment_text("!"), "");
    EXPECT_FALSE(comment_text("1 2 ! trailing"));
    EXPECT_FALSE(comment_text("   "));
    EXPECT_FALSE(comment_text(""));
}

TEST(CommentLines, FindThePortImpedanceWordsHoweverWritten) {
    struct Case {
        const char* comment;  // the text after '!'
        bool is_port_impedance;
        int numbers;
        double first;
    };
    const std::vector<Case> cases = {
        {" Port Impedance 49.9 0.1 50.1 -0.2", true, 4, 49.9},
        {"Port Impedance49.688 0.23 49.688 0.23", true, 4, 49.688},
        {" PORT   IMPEDANCE\t375,2 3,1 49,7 -0,1", true, 4, 375.2},
        {"port impedance 1 2 3", true, 3, 1},
        {"Port Impedance 1 2 3 4 5 6 7 8", true, 8, 1},
        {"Port Impedance 50 0 abc 0", true, -1, 0},
        {" Gamma ! 0.001 1.02 0.002 3.1", false, 0, 0},
        {" Port 1 Impedance 50", false, 0, 0},
        {" Portimpedance", true, 0, 0},
    };
    for (const Case& c : cases) {
        const auto numbers = port_impedance_numbers(c.comment);
        ASSERT_EQ(numbers.has_value(), c.is_port_impedance) << c.comment;
        if (!numbers) continue;
        double values[4] = {0, 0, 0, 0};
        EXPECT_EQ(take_numbers(*numbers, values), c.numbers) << c.comment;
        if (c.numbers > 0) {
            EXPECT_EQ(values[0], c.first) << c.comment;
        }
    }
}

TEST(CommentLines, TellWhatAHeaderStatesAboutTheData) {
    struct Case {
        const char* comment;
        HeaderStatement statement;
    };
    const std::vector<Case> cases = {
        {"Data is not renormalized", HeaderStatement::not_renormalized},
        {" DATA  IS\tNOT renormalised to 50 ohms", HeaderStatement::not_renormalized},
        {" Data is renormalized to 50 Ohms", HeaderStatement::none},
        {" S-parameter uses the power definition", HeaderStatement::power_waves},
        {"s-parameter uses  the pseudo-wave definition", HeaderStatement::pseudo_waves},
        {" S-parameter uses the traveling definition", HeaderStatement::traveling_waves},
        {" S-parameter uses the unknown definition", HeaderStatement::none},
        {" Created with a field solver", HeaderStatement::none},
    };
    for (const Case& c : cases) EXPECT_EQ(header_statement(c.comment), c.statement) << c.comment;
}

}  // namespace
}  // namespace tavrin
