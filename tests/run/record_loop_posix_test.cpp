// End-to-end: the same bytes and the same status at any thread count, on files large enough
// to fill many blocks of the threaded loop, with what real files do at block borders.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

using test::run_tool;
using test::ScratchDir;

struct Generated {
    std::string option_line;
    int records = 5000;
    int pairs = 4;
    int repeat_at = -1;   // this record's line comes twice
    int drop_at = -1;     // the frequency falls here: the data ends (a noise section follows)
    int long_at = -1;     // this record's line carries 300 kB of ignored numbers
    int missing_at = -1;  // this record is left out
};

std::string generate(const Generated& g) {
    std::string text = "! generated\n" + g.option_line + "\n";
    char line[256];
    for (int i = 1; i <= g.records; ++i) {
        if (i == g.missing_at) continue;
        const int f = i == g.drop_at ? 1 : (i > g.drop_at && g.drop_at > 0 ? i - g.drop_at : i);
        std::string numbers;
        for (int p = 0; p < g.pairs; ++p) {
            const int k = (i * 7 + p * 13) % 997;
            std::snprintf(line, sizeof line, " %s%d.%03d %d.%d", k % 3 == 0 ? "-" : "", k % 4, k,
                          (k * 3) % 360 - 180, k);
            numbers += line;
        }
        if (i == g.long_at) {
            for (int n = 0; n < 30000; ++n) numbers += " 0.123456789";
        }
        std::snprintf(line, sizeof line, "%d.5", f);
        // Appended piece by piece: GCC 12 warns falsely on char* + std::string in Release.
        const std::size_t start = text.size();
        text.append(line).append(numbers).append(i % 11 == 0 ? "\t! note\n" : "\n");
        if (i == g.repeat_at) text.append(std::string(text, start));
    }
    return text;
}

struct Outcome {
    int status;
    std::string output;
    bool operator==(const Outcome&) const = default;
};

Outcome convert_with_threads(const std::string& threads, const std::string& forward,
                             const std::string& reverse, const std::string& output = "out") {
    ScratchDir dir;
    dir.write("f.s2p", forward);
    if (!reverse.empty()) dir.write("r.s2p", reverse);
    const std::vector<std::string> arguments = {"f", reverse.empty() ? "f" : "r", output, "75"};
    if (output == "full") std::filesystem::create_symlink("/dev/full", dir.path() / "full.s2p");
    ::setenv("TAVRIN_THREADS", threads.c_str(), 1);
    const int status = run_tool(dir, arguments).status;
    ::unsetenv("TAVRIN_THREADS");
    return {status, output == "full" ? "" : dir.read(output + ".s2p")};
}

TEST(RecordLoop, GivesTheSameBytesAtEveryThreadCount) {
    struct Case {
        const char* name;
        Generated forward;
        Generated reverse;  // records 0: single-file
        int status;
    };
    const std::vector<Case> cases = {
        {"RI", {"# GHz S RI R 50"}, {"", 0}, 0},
        {"MA with a repeat at a block border", {"# GHz S MA R 50", 5000, 4, 1024}, {"", 0}, 0},
        {"DB ending in a noise section", {"# GHz S DB R 50", 5000, 4, -1, 3000}, {"", 0}, 0},
        {"a line longer than a block", {"# GHz S MA R 50", 5000, 4, -1, -1, 2048}, {"", 0}, 0},
        {"forward and reverse", {"# GHz S DB R 50", 5000, 2}, {"# GHz S DB R 50", 5000, 2}, 0},
        {"a reverse file missing a frequency", {"# GHz S RI R 50", 5000, 2},
         {"# GHz S RI R 50", 5000, 2, -1, -1, -1, 2500}, 1},
    };
    for (const Case& c : cases) {
        const std::string forward = generate(c.forward);
        const std::string reverse = c.reverse.records > 0 ? generate(c.reverse) : "";
        const Outcome one = convert_with_threads("1", forward, reverse);
        EXPECT_EQ(one.status, c.status) << c.name;
        // A complete output holds far more than one block; a refused one holds nothing.
        EXPECT_EQ(one.output.size() > 300000, c.status == 0) << c.name << ": " << one.output.size();
        for (const char* threads : {"2", "4"}) {
            EXPECT_TRUE(convert_with_threads(threads, forward, reverse) == one)
                << c.name << " with " << threads << " threads";
        }
    }
}

// A three-port file of `records` records; at `singular` a record whose I - Gamma S vanishes
// for 50 to 75 ohms (Gamma = 1/5: S11 = 5, the rest 0); port impedances per record when asked.
std::string three_port_file(int records, int singular, bool impedances) {
    std::string text = "# MHz S RI R 50\n";
    char line[160];
    for (int i = 1; i <= records; ++i) {
        for (int row = 0; row < 3; ++row) {
            if (row == 0) text.append(std::to_string(i));
            for (int col = 0; col < 3; ++col) {
                const int k = (i * 7 + row * 5 + col * 3) % 97;
                const double re = i == singular ? (row + col == 0 ? 5.0 : 0.0) : k / 200.0;
                std::snprintf(line, sizeof line, " %.6f %.6f", re, i == singular ? 0.0 : -k / 300.0);
                text.append(line);
            }
            text.append(1, '\n');
        }
        if (impedances) {
            std::snprintf(line, sizeof line, "! Port Impedance %d 1 50 0 %d -2\n", 40 + i % 20,
                          60 + i % 7);
            text.append(line);
        }
    }
    return text;
}

TEST(RecordLoop, FilesOfOtherPortCountsGiveTheSameBytesAtEveryThreadCount) {
    struct Case {
        const char* name;
        std::string file;
        int status;
    };
    const std::vector<Case> cases = {
        {"three ports", three_port_file(6000, -1, false), 0},
        {"port impedances per record", three_port_file(6000, -1, true), 0},
        {"a singular record late in the file", three_port_file(6000, 5000, false), 1},
    };
    for (const Case& c : cases) {
        std::vector<Outcome> outcomes;
        for (const char* threads : {"1", "2", "4"}) {
            ScratchDir dir;
            dir.write("in.s3p", c.file);
            ::setenv("TAVRIN_THREADS", threads, 1);
            const int status = run_tool(dir, {"--to", "75", "in.s3p", "out.s3p"}).status;
            ::unsetenv("TAVRIN_THREADS");
            outcomes.push_back({status, dir.exists("out.s3p") ? dir.read("out.s3p") : "(none)"});
        }
        EXPECT_EQ(outcomes[0].status, c.status) << c.name;
        EXPECT_EQ(outcomes[0].output.size() > 300000, c.status == 0) << c.name;
        EXPECT_TRUE(outcomes[1] == outcomes[0]) << c.name << " with 2 threads";
        EXPECT_TRUE(outcomes[2] == outcomes[0]) << c.name << " with 4 threads";
    }
}

TEST(RecordLoop, AFullDiskIsAFailureAtEveryThreadCount) {
    if (!std::filesystem::exists("/dev/full") || test::tool_is_windows_build()) {
        GTEST_SKIP() << "needs /dev/full and the Linux build";
    }
    const std::string file = generate({"# GHz S MA R 50"});
    for (const char* threads : {"1", "2", "4"}) {
        EXPECT_EQ(convert_with_threads(threads, file, "", "full").status, 1) << threads;
    }
}

}  // namespace
}  // namespace tavrin
