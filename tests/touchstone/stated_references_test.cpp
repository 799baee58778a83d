// Which statement of a file decides its references, and which are refused.
#include "touchstone/stated_references.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

TEST(StatedReferences, ComeFromTheStatementThatDecides) {
    using Kind = StatedReferences::Kind;
    const std::string record = "1 0.1 0 0.9 0 0.9 0 0.1 0\n";
    struct Case {
        const char* name;
        std::string file;
        Cause failure;
        Kind kind;
        double port1, port2, noise;
    };
    const std::vector<Case> cases = {
        {"nothing stated: 50 ohms", "# GHZ S RI\n" + record, Cause::none, Kind::one, 50, 50, 50},
        {"the option line", "# GHZ S RI R 75\n" + record, Cause::none, Kind::one, 75, 75, 75},
        {"a list of two equal values", "# GHZ S RI R 75 75.0\n" + record, Cause::none, Kind::one,
         75, 75, 75},
        {"a list per port", "# GHZ S RI R 50 75\n" + record, Cause::none, Kind::per_port, 50, 75, 50},
        {"[Reference] over R", "# GHZ S RI R 50\n[Reference] 75 25\n" + record, Cause::none,
         Kind::per_port, 75, 25, 75},
        {"[Reference] over an unusable R", "# GHZ S RI R (50+50j)\n[Reference] 60\n[Network Data]\n" + record,
         Cause::none, Kind::one, 60, 60, 60},
        {"port impedances over everything", "# GHZ S RI R (50+50j)\n" + record +
         "! Port Impedance 49.7 -0.1 49.7 -0.1\n", Cause::none, Kind::per_frequency, 0, 0, 0},
        {"not renormalized, but R stated", "! Data is not renormalized\n# GHZ S RI R 50\n" + record,
         Cause::none, Kind::one, 50, 50, 50},
        {"not renormalized and nothing stated", "! Data is not renormalized\n# GHZ S RI\n" + record,
         Cause::references_unknown, Kind::one, 50, 50, 50},
        {"three values", "# GHZ S RI R 50 75 100\n" + record, Cause::too_many_references, Kind::one,
         50, 75, 50},
        {"a value of 0", "# GHZ S RI R 50 0\n" + record, Cause::reference_not_usable, Kind::one, 50, 0,
         50},
        {"an infinite value", "# GHZ S RI\n[Reference] 1e999 50\n" + record, Cause::reference_not_usable,
         Kind::one, 0, 0, 0},
        {"not a number", "# GHZ S RI R (50+50j)\n" + record, Cause::reference_not_usable, Kind::one,
         0, 0, 0},
    };
    for (const Case& c : cases) {
        InputSlot input;
        input.open_memory(c.file);
        RecordReader reader(input);
        FileHeader header;
        ASSERT_TRUE(reader.read_header(header)) << c.name;
        ASSERT_FALSE(header.keywords.refusal) << c.name;
        StatedReferences stated;
        const Failure failure =
            read_stated_references(read_option_line(header.option_line), header, stated);
        EXPECT_EQ(failure.cause, c.failure) << c.name;
        if (failure) continue;
        EXPECT_EQ(stated.kind, c.kind) << c.name;
        EXPECT_EQ(stated.noise_reference, c.noise) << c.name;
        if (c.kind == Kind::per_frequency) continue;
        EXPECT_EQ(stated.values[0], c.port1) << c.name;
        EXPECT_EQ(stated.values[1], c.port2) << c.name;
    }
}

}  // namespace
}  // namespace tavrin
