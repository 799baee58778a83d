// End-to-end: hostile and broken input. Every case states the exit status and the exact
// bytes of the output file (or that none is created), and the inputs must come through
// untouched.
//
// Most cases use z_new = z_old = 50: gamma is then 0 and, for data whose eight components
// are all non-zero, every output number equals its input number exactly, so the expected
// line follows from the picture rules alone.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

using namespace std::string_literals;
using test::crlf_lines;
using test::run_tool;
using test::ScratchDir;

const std::string option_line = "# GHz S RI R 50\n";
const std::string data_1 = "1 0.5 0.25 0.125 0.0625 0.75 0.375 -0.5 -0.25";
const std::string data_2 = "2 0.5 0.25 0.125 0.0625 0.75 0.375 -0.5 -0.25";
// Each number: the literal blank, then the 12-character field of the RI picture.
const std::string numbers_out =
    "  0.500000000  0.250000000  0.125000000  0.062500000"
    "  0.750000000  0.375000000 -0.500000000 -0.250000000";
const std::string option_out = "# GHZ S RI R 50";
const std::string good_file = option_line + data_1 + "\n";
const std::string good_out = crlf_lines({option_out, "1" + numbers_out});

bool linux_build() { return !test::tool_is_windows_build(); }

std::string repeat(const std::string& piece, std::size_t times) {
    std::string all;
    all.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) all += piece;
    return all;
}

struct HostileCase {
    std::string name;
    std::vector<std::pair<std::string, std::string>> files;  // written before the run
    std::vector<std::string> arguments;
    int status;
    std::optional<std::string> output;  // contents of the output file; nullopt: not created
    std::string output_file = "c.s2p";  // empty: the case checks the folder itself
    std::function<void(const ScratchDir&)> prepare = {};
    std::function<void(const ScratchDir&)> check = {};
    // Names reach a Windows build through its code page, so their bytes are only kept
    // by the native build.
    bool native_only = false;
};

bool is_empty_directory(const std::filesystem::path& path) {
    return std::filesystem::is_directory(path) && std::filesystem::is_empty(path);
}

std::vector<HostileCase> hostile_cases() {
    const std::string fifty_megabytes(50u << 20, 'x');
    std::string many_numbers = data_1;  // the frequency and 9,999 numbers
    for (int i = 8; i < 9999; ++i) many_numbers += " 9";
    return {
        {"an empty file", {{"a.s2p", ""}}, {"a", "a", "c", "50"}, 1, ""},
        {"only comments", {{"a.s2p", "! one\n!two\r\n\n   ! three\n\t!\n"}},
         {"a", "a", "c", "50"}, 1, ""},
        // A line that starts with NUL is not the option line; high bytes pass through the
        // option line unchanged; a frequency token '\xe9\xff' reads as 0 and is dropped as
        // a repeat of the starting 0; NUL ends a number; a token '2\xff' reads as 2 and is
        // copied as the frequency; '\xff 1 1' reads as frequency 0, a drop that ends the data.
        {"NUL bytes and bytes above 127",
         {{"a.s2p", "\0# no\n\x80\xff header\n# GHz S RI R 50 \x80\xb0\xff\n"
                    "\xe9\xff 9 9\n"
                    "1 0.5\0junk 0.25 0.125 0.0625 0.75 0.375 -0.5 -0.25 \xff\0\n"
                    "2\xff 0.5 0.25 0.125 0.0625 0.75 0.375 -0.5 -0.25\n"
                    "\xff 1 1\n"s +
                        data_2 + "\n"}},
         {"a", "a", "c", "50"},
         0,
         crlf_lines({"# GHZ S RI R 50 \x80\xb0\xff", "1" + numbers_out,
                     "2\xff" + numbers_out})},
        {"a comment line of 50 MB before the option line",
         {{"a.s2p", "!" + fifty_megabytes + "\n" + good_file}},
         {"a", "a", "c", "50"},
         0,
         good_out},
        {"a data line of 50 MB",
         {{"a.s2p", option_line + data_1 + repeat(" 7", 25u << 20) + "\n" + data_2 + "\n"}},
         {"a", "a", "c", "50"},
         0,
         crlf_lines({option_out, "1" + numbers_out, "2" + numbers_out})},
        {"a data line of 10,000 numbers",
         {{"a.s2p", option_line + many_numbers + "\n"}},
         {"a", "a", "c", "50"},
         0,
         good_out},
        // With CR alone no line ever ends: the whole file is the option line, cleaned
        // (comment cut, trimmed, upper-cased) with its CRs; no data follows.
        {"CR-only line ends, option line first",
         {{"a.s2p", "# GHz S RI R 50 \r1e0 0.5 0.25 ! note\r2 0.5 0.25\r"}},
         {"a", "a", "c", "50"},
         0,
         crlf_lines({"# GHZ S RI R 50 \r1E0 0.5 0.25"})},
        {"CR-only line ends, CR last",
         {{"a.s2p", "# GHz R 50 S RI\r1 0.5\r"}},
         {"a", "a", "c", "50"},
         0,
         crlf_lines({"# GHZ R 50 S RI\r1 0.5\r"})},
        {"CR-only line ends, comment first",
         {{"a.s2p", "! c\r# GHz S RI R 50\r1 0.5 0.25\r"}}, {"a", "a", "c", "50"}, 1, ""},
        {"a last line without a line end",
         {{"a.s2p", good_file + data_2}},
         {"a", "a", "c", "50"},
         0,
         crlf_lines({option_out, "1" + numbers_out, "2" + numbers_out})},
        // A CR that is not followed by LF belongs to the line; it ends the last number.
        {"a last line ending in CR alone",
         {{"a.s2p", good_file + data_2 + "\r"}},
         {"a", "a", "c", "50"},
         0,
         crlf_lines({option_out, "1" + numbers_out, "2" + numbers_out})},
        {"a forward input that is a directory",
         {{"b.s2p", good_file}},
         {"a", "b", "c", "50"},
         1,
         std::nullopt,
         "c.s2p",
         [](const ScratchDir& d) { std::filesystem::create_directory(d.path() / "a.s2p"); }},
        {"a reverse input that is a directory",
         {{"b.s2p", good_file}},
         {"b", "a", "c", "50"},
         1,
         std::nullopt,
         "c.s2p",
         [](const ScratchDir& d) { std::filesystem::create_directory(d.path() / "a.s2p"); }},
        {"a missing output folder",
         {{"a.s2p", good_file}},
         {"a", "a", "nowhere/c", "50"},
         1,
         std::nullopt,
         "nowhere"},
        {"an output that is a directory",
         {{"a.s2p", good_file}},
         {"a", "a", "c", "50"},
         1,
         std::nullopt,
         "",
         [](const ScratchDir& d) { std::filesystem::create_directory(d.path() / "c.s2p"); },
         [](const ScratchDir& d) { EXPECT_TRUE(is_empty_directory(d.path() / "c.s2p")); }},
        // The inputs are checked unchanged below for every case.
        {"output and input the same file through a symbolic link",
         {{"a.s2p", good_file}},
         {"a", "a", "c", "50"},
         1,
         std::nullopt,
         "",
         [](const ScratchDir& d) { std::filesystem::create_symlink("a.s2p", d.path() / "c.s2p"); },
         [](const ScratchDir& d) { EXPECT_TRUE(std::filesystem::is_symlink(d.path() / "c.s2p")); }},
        {"output and reverse input the same file through a hard link",
         {{"a.s2p", good_file}, {"b.s2p", good_file + data_2 + "\n"}},
         {"a", "b", "c", "50"},
         1,
         std::nullopt,
         "",
         [](const ScratchDir& d) {
             std::filesystem::create_hard_link(d.path() / "b.s2p", d.path() / "c.s2p");
         }},
        {"output and input the same file through a linked folder",
         {{"a.s2p", good_file}},
         {"a", "a", "here/a", "50"},
         1,
         std::nullopt,
         "",
         [](const ScratchDir& d) {
             std::filesystem::create_directory_symlink(".", d.path() / "here");
         }},
        {"names with blanks and bytes above 127",
         {{"my file \xc3\xa9.s2p", "# GHz S RI R 50\n1 0.5 0.25 0.125 0.0625\n"},
          {"rev \xff\x80.s2p", "# GHz S RI R 50\n1 -0.5 -0.25 0.75 0.375\n"}},
         {"my file \xc3\xa9", "rev \xff\x80", "out put \xe9", "50"},
         0,
         good_out,
         "out put \xe9.s2p",
         {},
         {},
         true},
        {"names that are blanks",
         {{" .s2p", good_file}},
         {" ", " ", "  ", "50"},
         0,
         good_out,
         "  .s2p"},
        {"impedance 1e400", {{"a.s2p", good_file}}, {"a", "a", "c", "1e400"}, 1, ""},
        {"impedance nan", {{"a.s2p", good_file}}, {"a", "a", "c", "nan"}, 1, ""},
        {"impedance -0", {{"a.s2p", good_file}}, {"a", "a", "c", "-0"}, 1, ""},
        // 1e-320 is a positive subnormal: accepted. Its 16 digits are 9.999888671826830e-321.
        // gamma = (50 - 1e-320) / (50 + 1e-320) rounds to 1, and for all-zero data the
        // sequence gives S11' = S22' = (1, 0) and S21' = S12' = (0, 0), every zero positive.
        {"impedance 1e-320",
         {{"a.s2p", "# GHz S RI R 50\n1 0 0 0 0 0 0 0 0\n"}},
         {"a", "a", "c", "1e-320"},
         0,
         crlf_lines({"# GHZ S RI R 9.99988867182683e-321",
                     "1  1.000000000  0.000000000  0.000000000  0.000000000"
                     "  0.000000000  0.000000000  1.000000000  0.000000000"})},
        {"option line impedance 1e400",
         {{"a.s2p", "# GHz S RI R 1e400\n" + data_1 + "\n"}}, {"a", "a", "c", "50"}, 1, ""},
        {"option line impedance nan",
         {{"a.s2p", "# GHz S RI R nan\n" + data_1 + "\n"}}, {"a", "a", "c", "50"}, 1, ""},
        {"option line impedance -0",
         {{"a.s2p", "# GHz S RI R -0\n" + data_1 + "\n"}}, {"a", "a", "c", "50"}, 1, ""},
        // z_old = 1e-320 against z_new = 50: gamma rounds to -1; the canonical text of z_old
        // is longer than what follows "R ", so everything after "R " is replaced. For
        // all-zero data S11' = S22' = (-1, 0) and S21' = S12' = (0, 0), every zero positive.
        {"option line impedance 1e-320",
         {{"a.s2p", "# GHz S RI R 1e-320\n1 0 0 0 0 0 0 0 0\n"}},
         {"a", "a", "c", "50"},
         0,
         crlf_lines({"# GHZ S RI R 50",
                     "1 -1.000000000  0.000000000  0.000000000  0.000000000"
                     "  0.000000000  0.000000000 -1.000000000  0.000000000"})},
    };
}

TEST(HostileInput, EachCaseEndsWithItsStatusAndExactOutput) {
    for (const HostileCase& c : hostile_cases()) {
        if (c.native_only && !linux_build()) continue;
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        for (const auto& [name, contents] : c.files) dir.write(name, contents);
        if (c.prepare) c.prepare(dir);
        const auto result = run_tool(dir, c.arguments);
        EXPECT_EQ(result.status, c.status);
        if (linux_build()) {
            EXPECT_EQ(result.printed, "");
        }
        if (c.output) {
            ASSERT_TRUE(dir.exists(c.output_file));
            const std::string out = dir.read(c.output_file);
            EXPECT_TRUE(out == *c.output) << "got " << out.size() << " bytes: '"
                                          << out.substr(0, 400) << "'";
        } else if (!c.output_file.empty()) {
            EXPECT_FALSE(dir.exists(c.output_file));
        }
        if (c.check) c.check(dir);
        for (const auto& [name, contents] : c.files) {
            EXPECT_TRUE(dir.read(name) == contents) << name << " was changed";
        }
    }
}

// Root ignores file permissions, so these runs drop to the unprivileged user 'nobody'.
class AsUnprivilegedUser : public ::testing::Test {
protected:
    void SetUp() override {
        if (!linux_build()) GTEST_SKIP() << "permissions are checked on the Linux build only";
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr) GTEST_SKIP() << "running as root and there is no user 'nobody'";
            uid_ = nobody->pw_uid;
            gid_ = nobody->pw_gid;
            drop_ = true;
        }
        // The folder must let the unprivileged user in and let it create the output.
        std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
        dir_.write("a.s2p", good_file);
    }

    // Runs the tool in the folder, as 'nobody' when the tests run as root.
    int run(const std::vector<std::string>& arguments) {
        const std::vector<std::string> tool = test::tool_command();
        std::vector<std::string> command = tool;
        command.insert(command.end(), arguments.begin(), arguments.end());
        const pid_t child = ::fork();
        if (child == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null < 0 || ::chdir(dir_.path().c_str()) != 0) ::_exit(126);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            if (drop_ && (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 ||
                          ::setuid(uid_) != 0)) {
                ::_exit(126);
            }
            // A tool in a folder the user cannot enter cannot be run, also when an emulator
            // would be the one to read it (and then exit with a status of its own).
            for (const std::string& path : tool) {
                if (path.find('/') != std::string::npos && ::access(path.c_str(), R_OK) != 0) {
                    ::_exit(126);
                }
            }
            std::vector<char*> argv;
            for (std::string& word : command) argv.push_back(word.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int wait_status = 0;
        if (child < 0 || ::waitpid(child, &wait_status, 0) != child || !WIFEXITED(wait_status)) {
            return -1;
        }
        return WEXITSTATUS(wait_status);
    }

    // A run on a readable file must work, or the failures below would prove nothing.
    void require_working_setup() {
        const int status = run({"a", "a", "ok", "50"});
        if (status == 126 || status == 127) {
            GTEST_SKIP() << "the unprivileged user cannot reach the folder or the tool (status "
                         << status << ")";
        }
        ASSERT_EQ(status, 0);
        ASSERT_EQ(dir_.read("ok.s2p"), good_out);
        // The run really was unprivileged: its output belongs to that user.
        struct stat info {};
        ASSERT_EQ(::stat((dir_.path() / "ok.s2p").c_str(), &info), 0);
        if (drop_) {
            ASSERT_EQ(info.st_uid, uid_);
        }
    }

    ScratchDir dir_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool drop_ = false;
};

TEST_F(AsUnprivilegedUser, AnUnreadableInputEndsWithStatusOneBeforeAnyOutput) {
    require_working_setup();
    if (IsSkipped()) return;
    dir_.write("u.s2p", good_file);
    std::filesystem::permissions(dir_.path() / "u.s2p", std::filesystem::perms::none);
    EXPECT_EQ(run({"u", "u", "c", "50"}), 1);
    EXPECT_EQ(run({"a", "u", "d", "50"}), 1);
    EXPECT_EQ(run({"u", "a", "e", "50"}), 1);
    EXPECT_FALSE(dir_.exists("c.s2p"));
    EXPECT_FALSE(dir_.exists("d.s2p"));
    EXPECT_FALSE(dir_.exists("e.s2p"));
    std::filesystem::permissions(dir_.path() / "u.s2p", std::filesystem::perms::owner_read);
    EXPECT_EQ(dir_.read("u.s2p"), good_file);
}

TEST_F(AsUnprivilegedUser, AReadOnlyOutputIsNeitherEmptiedNorWritten) {
    require_working_setup();
    if (IsSkipped()) return;
    dir_.write("r.s2p", "keep\n");
    std::filesystem::permissions(dir_.path() / "r.s2p",
                                 std::filesystem::perms::owner_read |
                                     std::filesystem::perms::group_read |
                                     std::filesystem::perms::others_read);
    EXPECT_EQ(run({"a", "a", "r", "50"}), 1);
    EXPECT_EQ(dir_.read("r.s2p"), "keep\n");
    // The file form writes beside the output and moves it into place, which the folder allows:
    // the file's own permission must still hold it back.
    EXPECT_EQ(run({"--to", "50", "a.s2p", "r.s2p"}), 1);
    EXPECT_EQ(dir_.read("r.s2p"), "keep\n");
    EXPECT_EQ(dir_.read("a.s2p"), good_file);
}

}  // namespace
}  // namespace tavrin
