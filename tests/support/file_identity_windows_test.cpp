#include "support/file_identity.hpp"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e_support.hpp"
#include "run/driver.hpp"
#include "support/file_slots.hpp"
#include "support/settings_slot.hpp"

namespace tavrin {
namespace {

TEST(FileIdentity, EverySpellingOfANameReachesTheSameFile) {
    test::ScratchDir dir;
    dir.write("Data.s2p", "# GHZ S RI R 50\r\n");
    dir.write("Other.s2p", "# GHZ S RI R 50\r\n");  // same bytes, another file
    const std::string root = dir.path().string();
    const FileIdentity data = identity_of_path(root + "\\Data.s2p");
    ASSERT_TRUE(data.known);

    const std::vector<std::string> same = {
        root + "\\DATA.S2P",
        root + "\\data.s2p",
        root + "/Data.s2p",
        root + "\\.\\Data.s2p",
        root + "\\..\\" + dir.path().filename().string() + "\\dAtA.s2P",
    };
    for (const std::string& path : same) {
        EXPECT_TRUE(identity_of_path(path).same_as(data)) << path;
    }
    EXPECT_FALSE(identity_of_path(root + "\\Other.s2p").same_as(data));
    EXPECT_FALSE(identity_of_path(root + "\\missing.s2p").known);
    EXPECT_FALSE(identity_of_path(root + "\\missing.s2p").same_as(identity_of_path(root + "\\missing.s2p")));
}

TEST(FileIdentity, AnOpenFileHasTheIdentityOfItsPath) {
    test::ScratchDir dir;
    dir.write("in.s2p", "x\r\n");
    std::FILE* file = std::fopen(dir.file("in.s2p").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(identity_of_file(file).same_as(identity_of_path(dir.file("IN.S2P"))));
    EXPECT_TRUE(is_readable_kind(file));
    std::fclose(file);
    EXPECT_FALSE(identity_of_file(nullptr).known);
    EXPECT_FALSE(is_readable_kind(nullptr));
}

TEST(FileIdentity, ADirectoryIsNotReadable) {
    test::ScratchDir dir;
    const HANDLE handle = ::CreateFileA(dir.path().string().c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY);
    ASSERT_GE(descriptor, 0);
    std::FILE* file = ::_fdopen(descriptor, "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(identity_of_file(file).known);
    EXPECT_FALSE(is_readable_kind(file));
    std::fclose(file);

    InputSlot input;
    EXPECT_FALSE(input.open(dir.path().string()));
}

TEST(CommandLine, AnOutputNameInAnotherLetterCaseDoesNotEmptyTheInput) {
    test::ScratchDir dir;
    const std::string contents = "# GHZ S RI R 50\r\n1 0.1 0 0.2 0 0.3 0 0.4 0\r\n";
    dir.write("Amp.s2p", contents);
    dir.write("Rev.s2p", contents);
    const std::string root = dir.path().string() + "\\";
    struct Case {
        std::vector<std::string> arguments;
    };
    const std::vector<Case> cases = {
        {{root + "Amp", root + "Amp", root + "AMP", "50"}},       // single-file mode
        {{root + "Amp", root + "Rev", root + "rev", "50"}},       // the reverse file
        {{root + "Amp", root + "Rev", dir.path().string() + "/Amp", "50"}},
        {{root + "Amp", root + "Rev", root + "sub\\..\\amp", "50"}},
    };
    for (const Case& c : cases) {
        FileSlots slots;
        RunInputs run;
        // Refused as an input reached under another name, before anything is created.
        EXPECT_EQ(open_command_line_run(c.arguments, slots, run).cause, Cause::output_reaches_input)
            << c.arguments[2];
        EXPECT_FALSE(slots.output.is_open()) << c.arguments[2];
    }
    EXPECT_EQ(dir.read("Amp.s2p"), contents);
    EXPECT_EQ(dir.read("Rev.s2p"), contents);

    FileSlots slots;
    RunInputs run;
    EXPECT_EQ(open_command_line_run({root + "Amp", root + "Rev", root + "Out", "50"}, slots, run).cause,
              Cause::none);
    EXPECT_TRUE(slots.output.is_open());
}

TEST(SettingsSlot, AFileThatCannotBeWrittenIsStillRead) {
    test::ScratchDir dir;
    dir.write("tavrin.ini", std::string("\x00\x03\x80\x01\x07", 5));
    const std::string path = dir.file("tavrin.ini");
    // Another holder that lets others read but not write: the read-write opens fail, the
    // read-only one succeeds. (A read-only attribute would do on Windows, but Wine running
    // as root writes such a file anyway.)
    const HANDLE holder = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    {
        SettingsSlot slot;
        ASSERT_TRUE(slot.open(path));
        unsigned char bytes[4] = {};
        EXPECT_EQ(slot.read_at(0, bytes, 4), 4u);
        EXPECT_EQ(bytes[2], 0x80);
        const unsigned char word[4] = {1, 2, 3, 4};
        EXPECT_FALSE(slot.write_at(0, word, 4));
    }
    ::CloseHandle(holder);
    EXPECT_EQ(dir.read("tavrin.ini"), std::string("\x00\x03\x80\x01\x07", 5));

    SettingsSlot nowhere;
    EXPECT_FALSE(nowhere.open(dir.file("no such folder\\tavrin.ini")));
    EXPECT_FALSE(nowhere.is_open());
    const unsigned char word[4] = {1, 2, 3, 4};
    EXPECT_FALSE(nowhere.write_at(0, word, 4));
}

TEST(SettingsSlot, WritesAndReadsAtAGivenPosition) {
    // Bytes before the position read back as zero; the word lands exactly at it.
    test::ScratchDir dir;
    SettingsSlot slot;
    ASSERT_TRUE(slot.open(dir.file("tavrin.ini")));
    const unsigned char word[4] = {9, 8, 7, 6};
    EXPECT_TRUE(slot.write_at(2, word, 4));
    unsigned char back[6] = {};
    EXPECT_EQ(slot.read_at(0, back, 6), 6u);
    EXPECT_EQ(back[0], 0);
    EXPECT_EQ(back[2], 9);
    EXPECT_EQ(back[5], 6);
}

}  // namespace
}  // namespace tavrin
