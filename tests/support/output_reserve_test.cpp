// Composing text in an output slot's own buffer: reserve, then commit what was written.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e_support.hpp"
#include "support/file_slots.hpp"

namespace tavrin {
namespace {

std::string contents_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(OutputReserve, CommittedBytesFollowWrittenOnesInOrder) {
    test::ScratchDir dir;
    const std::string path = dir.file("out.s2p");
    std::string expected;
    {
        OutputSlot out;
        ASSERT_TRUE(out.open(path));
        // Enough pieces to cross the slot's buffer several times, at odd sizes.
        for (int i = 0; i < 20000; ++i) {
            const std::string piece = "piece " + std::to_string(i) + std::string(i % 37, '.');
            if (i % 2 == 0) {
                char* room = out.reserve(piece.size() + 10);
                ASSERT_NE(room, nullptr);
                std::memcpy(room, piece.data(), piece.size());
                out.commit(piece.size());  // only what was written counts
            } else {
                out.write(piece);
            }
            expected += piece;
        }
        EXPECT_TRUE(out.close());
    }
    EXPECT_EQ(contents_of(path), expected);
}

TEST(OutputReserve, RefusesWhatTheBufferCannotHoldAndAClosedSlot) {
    OutputSlot closed;
    EXPECT_EQ(closed.reserve(1), nullptr);
    test::ScratchDir dir;
    OutputSlot out;
    ASSERT_TRUE(out.open(dir.file("out.s2p")));
    EXPECT_EQ(out.reserve(std::size_t{1} << 30), nullptr);
    EXPECT_NE(out.reserve(100), nullptr);
    out.commit(0);
    EXPECT_TRUE(out.close());
    EXPECT_EQ(contents_of(dir.file("out.s2p")), "");
}

}  // namespace
}  // namespace tavrin
