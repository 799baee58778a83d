#include "support/file_slots.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

std::vector<std::string> lines_of(const std::string& contents, bool from_file) {
    test::ScratchDir dir;
    InputSlot input;
    if (from_file) {
        dir.write("in.txt", contents);
        EXPECT_TRUE(input.open(dir.file("in.txt")));
    } else {
        input.open_memory(contents);
    }
    std::vector<std::string> lines;
    std::string line;
    while (input.read_line(line)) lines.push_back(line);
    EXPECT_TRUE(input.at_end());
    EXPECT_FALSE(input.failed());
    return lines;
}

TEST(InputSlot, SplitsLinesAtLfOrCrLf) {
    struct Case {
        std::string contents;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},           // a last line without terminator still counts
        {"\n\n", {"", ""}},
        {"a\r\r\n", {"a\r"}},           // only the CR right before the LF belongs to it
        {"a\rb\rc", {"a\rb\rc"}},       // CR alone does not end a line
        {"x\r", {"x\r"}},
        {std::string("n\0ul\n", 5), {std::string("n\0ul", 4)}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lines_of(c.contents, true), c.lines);
        EXPECT_EQ(lines_of(c.contents, false), c.lines);
    }
}

TEST(InputSlot, ReadsLinesLongerThanItsBuffer) {
    const std::string long_line(1'000'003, 'x');
    const auto lines = lines_of("a\n" + long_line + "\r\nb", true);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], long_line);
    EXPECT_EQ(lines[2], "b");
}

TEST(InputSlot, RefusesADirectoryAndAMissingFile) {
    test::ScratchDir dir;
    InputSlot input;
    EXPECT_FALSE(input.open(dir.path().string()));
    EXPECT_FALSE(input.open(dir.file("missing")));
    EXPECT_FALSE(input.is_open());
}

TEST(InputSlot, TellsAReadErrorFromTheEndOfTheFile) {
    // Reading this process's own memory at offset 0 fails with an I/O error.
    if (!std::filesystem::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem here";
    InputSlot input;
    ASSERT_TRUE(input.open("/proc/self/mem"));
    std::string line;
    EXPECT_FALSE(input.read_line(line));
    EXPECT_TRUE(input.failed());
}

TEST(OutputSlot, WritesEveryByteUnchangedAndEmptiesAnExistingFile) {
    test::ScratchDir dir;
    dir.write("out.s2p", "old contents that must go");
    std::string expected;
    {
        OutputSlot out;
        ASSERT_TRUE(out.open(dir.file("out.s2p")));
        for (int i = 0; i < 20000; ++i) {
            const std::string piece = "line " + std::to_string(i) + "\n\r";
            out.write(piece);
            out.write_line_end();
            expected += piece + "\r\n";
        }
        const std::string big(200000, 'z');
        out.write(big);
        expected += big;
        EXPECT_TRUE(out.close());
    }
    EXPECT_EQ(dir.read("out.s2p"), expected);
}

TEST(OutputSlot, ReportsAFullDevice) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    OutputSlot out;
    ASSERT_TRUE(out.open("/dev/full"));
    out.write("a line that cannot be written\r\n");
    EXPECT_FALSE(out.close());
    EXPECT_TRUE(out.failed());
}

TEST(SettingsSlot, ReadsAndWritesBytesAtPositionsWithoutEmptying) {
    test::ScratchDir dir;
    dir.write("tavrin.ini", std::string("\x01\x02\x03\x04\x05\x06", 6));
    SettingsSlot settings;
    ASSERT_TRUE(settings.open(dir.file("tavrin.ini")));
    unsigned char bytes[8] = {};
    EXPECT_EQ(settings.read_at(0, bytes, 8), 6u);
    EXPECT_EQ(bytes[5], 6);
    const unsigned char word[4] = {0xF8, 0xFF, 0x64, 0x00};
    EXPECT_TRUE(settings.write_at(0, word, 4));
    settings.close();
    EXPECT_EQ(dir.read("tavrin.ini"), std::string("\xF8\xFF\x64\x00\x05\x06", 6));

    ASSERT_TRUE(settings.open(dir.file("new.ini")));  // a missing file is created empty
    EXPECT_EQ(settings.read_at(0, bytes, 4), 0u);
    settings.close();
    EXPECT_TRUE(dir.exists("new.ini"));
}

}  // namespace
}  // namespace tavrin
