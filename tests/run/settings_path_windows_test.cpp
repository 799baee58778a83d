#include "run/settings_path.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.hpp"
#include "support/executable_path.hpp"
#include "support/settings_slot.hpp"

namespace tavrin {
namespace {

TEST(SettingsPath, IsTheExecutablesDirectoryThenTheFileName) {
    struct Case {
        std::string executable;
        std::string settings;
    };
    // The directory is cut before the last backslash; a bare drive keeps a backslash, after
    // which "\tavrin.ini" still follows; no backslash at all leaves an empty directory.
    const std::vector<Case> cases = {
        {R"(C:\Program Files\tavrin\tavrin.exe)", R"(C:\Program Files\tavrin\tavrin.ini)"},
        {R"(C:\tools\rf.v2\tavrin.exe)", R"(C:\tools\rf.v2\tavrin.ini)"},
        {R"(\\server\share\tavrin.exe)", R"(\\server\share\tavrin.ini)"},
        {R"(C:\tavrin.exe)", R"(C:\\tavrin.ini)"},
        {R"(z:\tavrin.exe)", R"(z:\\tavrin.ini)"},
        {R"(1:\tavrin.exe)", R"(1:\tavrin.ini)"},  // not a drive letter: no extra backslash
        {R"(C:\dir\)", R"(C:\dir\tavrin.ini)"},
        {"tavrin.exe", R"(\tavrin.ini)"},
        {"D:tavrin.exe", R"(\tavrin.ini)"},
        {"C:/tools/tavrin.exe", R"(\tavrin.ini)"},  // a slash is not the separator here
        {"", R"(\tavrin.ini)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(settings_file_path(c.executable, '\\'), c.settings) << c.executable;
    }
}

TEST(SettingsPath, TheRunningExecutableHasAFullBackslashPath) {
    const std::string path = executable_path();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path_separator, '\\');
    EXPECT_NE(path.find('\\'), std::string::npos) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".exe") << path;
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;

    const std::string settings = settings_file_path(path, path_separator);
    const std::string directory = path.substr(0, path.rfind('\\'));
    EXPECT_EQ(settings, directory + "\\tavrin.ini");
}

TEST(SettingsPath, ADoubledBackslashReachesTheSameFile) {
    // What a bare drive gives, "C:\\tavrin.ini", must still name the file in that root.
    test::ScratchDir dir;
    SettingsSlot slot;
    ASSERT_TRUE(slot.open(dir.path().string() + "\\\\tavrin.ini"));
    const unsigned char word[4] = {0x00, 0x03, 0x80, 0x01};
    EXPECT_TRUE(slot.write_at(0, word, 4));
    slot.close();
    EXPECT_EQ(dir.read("tavrin.ini"), std::string("\x00\x03\x80\x01", 4));
}

}  // namespace
}  // namespace tavrin
