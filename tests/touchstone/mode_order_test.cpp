// Orders of modes as '[Mixed-Mode Order]' writes them: read, written back, and checked for
// naming every port once per mode.
#include "touchstone/mode_order.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

TEST(ModeOrder, ReadsEntriesAndNamesWhatAnOrderLacks) {
    using Fault = ModeOrderFault;
    struct Case {
        const char* text;
        std::size_t ports;
        const char* written;  // empty: the token `bad` is refused
        Fault fault;
        std::size_t at = 0;  // the mode at fault, or for a port left out the port (from 0)
    };
    const std::vector<Case> cases = {
        {"d1.3  c1.3 s2", 3, "D1,3 C1,3 S2", Fault::none},  // as a cleaned line holds it
        {"C3,1 D1,3 S2", 3, "C3,1 D1,3 S2", Fault::none},   // the common mode named N, P
        {"D10,12 C10,12", 12, "D10,12 C10,12", Fault::port_left_out, 0},
        {"D1,3 C1,3 S2 S5", 4, "D1,3 C1,3 S2 S5", Fault::port_out_of_range, 3},
        {"D1,1 C1,1", 1, "D1,1 C1,1", Fault::pair_of_one_port, 0},
        {"D1,2 D1,3 C1,2 C1,3", 3, "D1,2 D1,3 C1,2 C1,3", Fault::port_twice, 1},
        {"S2 D1,2 C1,2", 2, "S2 D1,2 C1,2", Fault::port_twice, 1},
        {"D1,2 C1,2", 3, "D1,2 C1,2", Fault::port_left_out, 2},
        {"D1,2 D3,4 C1,2", 4, "D1,2 D3,4 C1,2", Fault::no_partner, 1},
        {"D1,2 C1,3", 3, "D1,2 C1,3", Fault::no_partner, 0},
    };
    for (const Case& c : cases) {
        ModeOrder order;
        std::string_view bad;
        ASSERT_TRUE(read_mode_entries(c.text, order, bad)) << c.text;
        EXPECT_EQ(mode_order_text(order), c.written) << c.text;
        const ModeOrderCheck check = check_mode_order(order, c.ports);
        EXPECT_EQ(check.fault, c.fault) << c.text;
        EXPECT_EQ(c.fault == Fault::port_left_out ? check.port : check.mode, c.at) << c.text;
    }
    for (const char* token : {"X2", "D1", "S1,2", "D0,1", "D1,3,", "D1;3"}) {
        ModeOrder order;
        std::string_view bad;
        const std::string text = std::string("D1,2 ") + token + " C1,2";
        EXPECT_FALSE(read_mode_entries(text, order, bad));
        EXPECT_EQ(bad, token);
        EXPECT_FALSE(holds_mode_entries_only(token));
    }
    EXPECT_FALSE(holds_mode_entries_only("1 0.5 0"));  // a data line
}

}  // namespace
}  // namespace tavrin
