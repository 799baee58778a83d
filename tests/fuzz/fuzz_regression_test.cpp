// Inputs that the fuzz targets found to break a property, kept so the faults stay fixed.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "support/file_slots.hpp"
#include "text/number_text.hpp"

namespace tavrin {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double smallest_subnormal = 4.9406564584124654e-324;

// An empty in-memory file given as a view without storage passed a null pointer to memcpy.
TEST(FuzzRegression, AnEmptyInMemoryFileWithoutStorageHasNoLines) {
    InputSlot slot;
    slot.open_memory(std::string_view{});
    EXPECT_TRUE(slot.at_end());
    std::string line = "left over";
    EXPECT_FALSE(slot.read_line(line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(slot.failed());
}

struct HexCase {
    const char* name;
    std::string text;
    double value;
};

// Hexadecimal constants after a sign were read by the library, which took "p+-9" as an
// exponent and could not tell underflow from overflow. Each value follows from rounding
// the exact binary value to nearest, ties to even.
TEST(FuzzRegression, HexadecimalConstantsAreRoundedLikeTheStandardConversion) {
    const HexCase cases[] = {
        {"two exponent signs end the number", "+0x1p+-9", 1.0},
        {"two exponent signs, long exponent", "\v+0x1p+-9899.", 1.0},
        {"exponent letter without digits", "+0x3p", 3.0},
        {"huge mantissa, small negative exponent", "-0x" + std::string(300, 'f') + "p-4", -inf},
        {"tiny mantissa, small positive exponent", "+0x0." + std::string(300, '0') + "1p+4", 0.0},
        {"just above half the smallest subnormal", "+0x1.8p-1075", smallest_subnormal},
        {"exactly half the smallest subnormal goes to even", "+0x1p-1075", 0.0},
        {"a digit far out breaks the tie upward", "+0x1.0000000000000000001p-1075",
         smallest_subnormal},
        {"halfway above the largest double", "+0x1.fffffffffffff8p1023", inf},
        {"just below halfway above the largest double", "+0x1.fffffffffffff7ffp1023",
         std::numeric_limits<double>::max()},
        {"tie at one goes to even (down)", "+0x1.00000000000008p0", 1.0},
        {"tie above an odd last bit goes to even (up)", "+0x1.00000000000018p0",
         1.0 + 0x1p-51},
        {"a set bit beyond 64 bits breaks the tie", "+0x1.000000000000080000000001p0",
         1.0 + 0x1p-52},
        {"largest subnormal", "-0x0.fffffffffffffp-1022", -0x0.fffffffffffffp-1022},
        // 2322168557862912.75 units of the smallest subnormal: rounds up (glibc 2.36 itself
        // rounds this one down).
        {"subnormal from a long mantissa", "+0x10800000000001.8p-1075",
         0x0.8400000000001p-1022},
        {"point with no digit", "+0x.p1", 0.0},
        {"point then a digit", "+0x.8p1", 1.0},
    };
    for (const HexCase& c : cases) {
        const double got = parse_number(c.text);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(c.value))
            << c.name << ": got " << got;
    }
}

}  // namespace
}  // namespace tavrin
