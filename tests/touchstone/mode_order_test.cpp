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
        const char* written;  // read back in the file's own form; empty: a token is refused
        const char* bad;
        Fault fault;
        std::size_t mode = 0;  // for every fault but a port left out
        std::size_t port = 0;  // from 1, for a port out of range, twice or left out
    };
    const std::vector<Case> cases = {
        {"D1,3 D2,4 C1,3 C2,4", 4, "D1,3 D2,4 C1,3 C2,4", "", Fault::none},
        {"d1.3  c1.3 s2", 3, "D1,3 C1,3 S2", "", Fault::none},  // as a cleaned line holds it
        {"C3,1 D1,3 S2", 3, "C3,1 D1,3 S2", "", Fault::none},   // the common mode named N, P
        {"D2,3 D6,5 C2,3 C6,5 S4 S1", 6, "D2,3 D6,5 C2,3 C6,5 S4 S1", "", Fault::none},
        {"S1 S2 S3", 3, "S1 S2 S3", "", Fault::none},
        {"D10,12 C10,12", 12, "D10,12 C10,12", "", Fault::port_left_out, 0, 1},
        {"D1,3 X2", 3, "", "X2", Fault::none},
        {"D1 C1", 2, "", "D1", Fault::none},
        {"S1,2", 2, "", "S1,2", Fault::none},
        {"D0,1 C0,1", 2, "", "D0,1", Fault::none},
        {"D1,3, C1,3", 3, "", "D1,3,", Fault::none},
        {"D1;3", 3, "", "D1;3", Fault::none},
        {"D1,3 C1,3 S2 S5", 4, "D1,3 C1,3 S2 S5", "", Fault::port_out_of_range, 3, 5},
        {"D1,1 C1,1", 1, "D1,1 C1,1", "", Fault::pair_of_one_port, 0},
        {"D1,2 D1,3 C1,2 C1,3", 3, "D1,2 D1,3 C1,2 C1,3", "", Fault::port_twice, 1, 1},
        {"S1 S1", 1, "S1 S1", "", Fault::port_twice, 1, 1},
        {"D1,2 C1,2 S2", 2, "D1,2 C1,2 S2", "", Fault::port_twice, 2, 2},
        {"S2 D1,2 C1,2", 2, "S2 D1,2 C1,2", "", Fault::port_twice, 1, 2},
        {"D1,2 C1,2", 3, "D1,2 C1,2", "", Fault::port_left_out, 0, 3},
        {"D1,2 D3,4 C1,2", 4, "D1,2 D3,4 C1,2", "", Fault::no_partner, 1},
        {"C1,2 S3", 3, "C1,2 S3", "", Fault::no_partner, 0},
        {"D1,2 C1,3", 3, "D1,2 C1,3", "", Fault::no_partner, 0},
    };
    for (const Case& c : cases) {
        ModeOrder order;
        std::string_view bad;
        const bool read = read_mode_entries(c.text, order, bad);
        EXPECT_EQ(read, std::string(c.bad).empty()) << c.text;
        EXPECT_EQ(holds_mode_entries_only(c.text), read) << c.text;
        if (!read) {
            EXPECT_EQ(bad, c.bad) << c.text;
            continue;
        }
        EXPECT_EQ(mode_order_text(order), c.written) << c.text;
        const ModeOrderCheck check = check_mode_order(order, c.ports);
        EXPECT_EQ(check.fault, c.fault) << c.text;
        if (c.fault != Fault::port_left_out) {
            EXPECT_EQ(check.mode, c.mode) << c.text;
        }
        if (c.port != 0) {
            EXPECT_EQ(check.port + 1, c.port) << c.text;
        }
    }
    EXPECT_FALSE(holds_mode_entries_only(""));
    EXPECT_FALSE(holds_mode_entries_only("1 0.5 0"));  // a data line
}

TEST(ModeOrder, PairsGiveTheirDifferentialModesThenTheirCommonModesThenTheOtherPorts) {
    struct Case {
        const char* pairs;
        std::size_t ports;
        const char* order;
    };
    const std::vector<Case> cases = {
        {"D1,3 D2,4", 4, "D1,3 D2,4 C1,3 C2,4"},
        {"D1,4 D2,5", 6, "D1,4 D2,5 C1,4 C2,5 S3 S6"},
        {"D2,1", 2, "D2,1 C2,1"},
        {"D5,1", 5, "D5,1 C5,1 S2 S3 S4"},
    };
    for (const Case& c : cases) {
        ModeOrder pairs;
        std::string_view bad;
        ASSERT_TRUE(read_mode_entries(c.pairs, pairs, bad));
        const ModeOrder order = order_of_pairs(pairs, c.ports);
        EXPECT_EQ(mode_order_text(order), c.order);
        EXPECT_EQ(check_mode_order(order, c.ports).fault, ModeOrderFault::none) << c.order;
    }
}

}  // namespace
}  // namespace tavrin
