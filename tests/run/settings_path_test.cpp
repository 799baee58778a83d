#include "run/settings_path.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/executable_path.hpp"

namespace tavrin {
namespace {

struct PathCase {
    const char* executable;
    char separator;
    const char* settings;
};

TEST(SettingsFilePath, IsTheSettingsFileInTheExecutablesDirectory) {
    const std::vector<PathCase> cases = {
        {"/usr/local/bin/tavrin", '/', "/usr/local/bin/tavrin.ini"},
        {"/opt/rf tools/tavrin", '/', "/opt/rf tools/tavrin.ini"},
        {"/tavrin", '/', "/tavrin.ini"},
        {"./tavrin", '/', "./tavrin.ini"},
        {"bin/", '/', "bin/tavrin.ini"},
        // No separator at all: an empty directory, then the separator.
        {"tavrin", '/', "/tavrin.ini"},
        {"", '/', "/tavrin.ini"},
        // A backslash is an ordinary character in a POSIX name.
        {"/home/x\\y/tavrin", '/', "/home/x\\y/tavrin.ini"},
        {"C:\\Tools\\tavrin.exe", '\\', "C:\\Tools\\tavrin.ini"},
        // A bare drive keeps a separator after it, and the name adds its own.
        {"C:\\tavrin.exe", '\\', "C:\\\\tavrin.ini"},
        {"tavrin.exe", '\\', "\\tavrin.ini"},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(settings_file_path(c.executable, c.separator), c.settings) << c.executable;
    }
}

TEST(ExecutablePath, NamesTheRunningProgramByItsFullPath) {
    const std::string path = executable_path();
    ASSERT_FALSE(path.empty());
    const std::size_t last = path.rfind(path_separator);
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(path.substr(last + 1, 18), "settings_path_test");
    EXPECT_EQ(settings_file_path(path, path_separator),
              path.substr(0, last + 1) + "tavrin.ini");
}

}  // namespace
}  // namespace tavrin
