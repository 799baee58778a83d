// End-to-end: --plot. The picture of each conversion beside its output or where named, written
// like an output (no part file left, never over an input or the output), the output's bytes
// the same as without it, the same picture at any thread count, and every picture well-formed
// XML that a renderer draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "run/conversion_support.hpp"
#include "run/terminal_support.hpp"

namespace tavrin {
namespace {

using test::run_command;
using test::run_tool;
using test::ScratchDir;

bool linux_build() {
    return !test::tool_is_windows_build();
}

// xmllint reads it as XML and rsvg-convert draws it (Debian: libxml2-utils, librsvg2-bin).
void expect_renders(const std::string& svg) {
    const test::CommandResult xml = run_command({"xmllint", "--noout", svg}, 30000);
    EXPECT_EQ(xml.status, 0) << svg << " is not well-formed XML: " << xml.output;
    const std::string png = svg + ".png";
    const test::CommandResult drawn = run_command({"rsvg-convert", "-o", png, svg}, 60000);
    EXPECT_EQ(drawn.status, 0) << svg << " does not render: " << drawn.output;
    std::error_code error;
    EXPECT_GT(std::filesystem::file_size(png, error), 5000u) << svg;
    std::filesystem::remove(png, error);
}

std::map<std::string, std::string> contents_of(const ScratchDir& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        const std::string name = entry.path().lexically_relative(dir.path()).generic_string();
        files[name] = entry.is_regular_file() ? dir.read(name) : "(folder)";
    }
    return files;
}

// A file of any port count, a row a line (a two-port's record on one), with values that any
// reference can take; the matrix is symmetrical, so the two-port order does not matter.
std::string network_file(int ports, int records, const std::string& option = "# GHz S RI R 50") {
    std::string text = option + "\n";
    for (int r = 0; r < records; ++r) {
        text += std::to_string(1.0 + 0.001 * r);
        for (int i = 0; i < ports; ++i) {
            for (int j = 0; j < ports; ++j) {
                const double size = i == j ? 0.2 : 0.6 / (1 + std::abs(i - j));
                const double angle = 0.01 * r * (1 + i + j);
                // Appended piece by piece: GCC 12 takes " " + std::string for an overlap at -O3.
                text += ' ';
                text += std::to_string(size * std::cos(angle));
                text += ' ';
                text += std::to_string(-size * std::sin(angle));
            }
            if (ports > 2 || i == ports - 1) text += "\n";
        }
    }
    return text;
}

const std::string noise_block = "1.0 0.45 0.35 25.0 0.18\n1.5 0.5 0.33 30.0 0.17\n";

struct Picture {
    std::string name;
    std::string input_name;
    std::string input;
    std::vector<std::string> options;
    std::vector<std::string> shows;  // texts the picture must hold
    std::vector<std::string> lacks;  // and must not
};

TEST(Plot, EveryKindOfFileGivesAPictureThatRendersAndLeavesTheOutputAsItWas) {
    const std::string examples = TAVRIN_EXAMPLES_DIR;
    std::vector<Picture> cases = {
        {"amplifier with noise", "amplifier_ri.s2p", "", {}, {"NFmin", "4 noise lines"}, {}},
        {"attenuator in dB", "attenuator_db.s2p", "", {}, {">S21<", ">S12<"}, {}},
        {"field solver",
         "transition_solver.s2p",
         "",
         {"--to", "50"},
         {"port impedances (traveling waves) \xE2\x86\x92 50 \xCE\xA9"},
         {}},
        {"one port", "a.s1p", network_file(1, 50), {}, {">S11<"}, {">S21<"}},
        {"three ports, every parameter", "a.s3p", network_file(3, 50), {}, {">S23<", ">S32<"}, {}},
        {"eight ports: reflections and from port 1",
         "a.s8p",
         network_file(8, 20),
         {},
         {">S88<", ">S81<"},
         {">S12<", ">S82<"}},
        {"twenty ports: sixteen shown",
         "a.s20p",
         network_file(20, 3),
         {},
         {">S16,16<", ">S16,1<", "of ports 1 to 16"},
         {">S17,17<", ">S20,1<"}},
        {"per-port references, version 2.0",
         "b.s2p",
         network_file(2, 30) + noise_block,
         {"--to", "50,200"},
         {"50 \xCE\xA9 \xE2\x86\x92 50/200 \xCE\xA9 per port"},
         {}},
        // Huge values the renormalisation turns into inf and nan are left out, and counted.
        {"values that are not finite",
         "h.s2p",
         "# GHz S RI R 50\n1 1e308 1e308 0.5 0 0.5 0 0 0\n2 0.1 0 0.5 0 0.5 0 0.1 0\n"
         "3 1e999 0 0.5 0 0.5 0 0.2 0\n4 0.1 0.1 0.5 0 0.5 0 0.1 0\n",
         {},
         {"6 values left out"},
         {"nan\"", "nan,", "inf\"", "inf,"}},
        {"no records", "e.s2p", "# GHz S RI R 50\n", {}, {"0 records", "no records"}, {}},
        // Read single-ended, shown in the modes written beside them.
        {"mixed-mode data",
         "m.s4p",
         network_file(4, 10),
         {"--to", "42.5", "--mixed-mode", "1,3:2,4"},
         {">SDD21<", ">SCD12<", "50 \xCE\xA9 per line: D 100 \xCE\xA9, C 25 \xCE\xA9",
          "42.5 \xCE\xA9 per line: D 85 \xCE\xA9, C 21.25 \xCE\xA9", "pair 1: ports 1,3"},
         {">S21<"}},
    };
    if (linux_build()) {
        // Any bytes a name may hold come out as XML text.
        cases.push_back({"a hostile name",
                         "a&b<c>'\xFF\x01.s2p",
                         network_file(2, 5),
                         {},
                         {"a&amp;b&lt;c&gt;&apos;\xEF\xBF\xBD\xEF\xBF\xBD.s2p"},
                         {}});
    }
    for (const Picture& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        if (c.input.empty()) {
            std::filesystem::copy_file(examples + "/" + c.input_name, dir.file(c.input_name));
        } else {
            dir.write(c.input_name, c.input);
        }
        const std::string extension = std::filesystem::path(c.input_name).extension().string();
        std::vector<std::string> arguments = c.options;
        if (arguments.empty()) arguments = {"--to", "75"};
        std::vector<std::string> plain = arguments;
        plain.insert(plain.end(), {c.input_name, "plain" + extension});
        arguments.insert(arguments.end(), {"--plot", c.input_name, "out" + extension});
        ASSERT_EQ(run_tool(dir, plain).status, 0);
        ASSERT_EQ(run_tool(dir, arguments).status, 0);
        EXPECT_EQ(dir.read("out" + extension), dir.read("plain" + extension));
        const std::string picture = dir.read("out" + extension + ".svg");
        for (const std::string& text : c.shows)
            EXPECT_NE(picture.find(text), std::string::npos) << text;
        for (const std::string& text : c.lacks)
            EXPECT_EQ(picture.find(text), std::string::npos) << text;
        expect_renders(dir.file("out" + extension + ".svg"));
        EXPECT_EQ(contents_of(dir).size(), 4u);  // input, two outputs, picture: no part file
    }
}

TEST(Plot, PicturesGoBesideEachOutputOrWhereNamed) {
    ScratchDir dir;
    dir.write("a.s2p", network_file(2, 10));
    dir.write("b.s3p", network_file(3, 10));
    std::filesystem::create_directory(dir.path() / "conv");
    const test::RunResult folder =
        run_tool(dir, {"-v", "--to", "75", "--plot", "--out-dir", "conv", "a.s2p", "b.s3p"});
    EXPECT_EQ(folder.status, 0) << folder.printed;
    // The folder and the name joined by the system's separator ('conv\\a.s2p.svg' on Windows).
    EXPECT_NE(folder.printed.find("RI; picture conv"), std::string::npos) << folder.printed;
    EXPECT_NE(folder.printed.find("a.s2p.svg"), std::string::npos) << folder.printed;
    EXPECT_TRUE(dir.exists("conv/a.s2p.svg"));
    EXPECT_TRUE(dir.exists("conv/b.s3p.svg"));
    // Standard output, with the picture named; and from standard input, named in its title.
    const test::RunResult streams = run_tool(
        dir, {"--ports", "2", "--to", "75", "--plot=streams.svg", "-", "-"}, network_file(2, 10));
    EXPECT_EQ(streams.status, 0);
    if (linux_build()) {
        EXPECT_EQ(streams.printed, dir.read("conv/a.s2p"));
    }
    EXPECT_NE(dir.read("streams.svg").find("standard input: 50 \xCE\xA9"), std::string::npos);
    expect_renders(dir.file("streams.svg"));
    // An existing picture is replaced.
    dir.write("mine.svg", "old");
    EXPECT_EQ(run_tool(dir, {"--to", "75", "--plot=mine.svg", "a.s2p", "a75.s2p"}).status, 0);
    EXPECT_EQ(dir.read("mine.svg").rfind("<?xml", 0), 0u);
}

TEST(Plot, RefusalsChangeNothing) {
    struct Case {
        std::vector<std::string> arguments;
        std::string said;
    };
    const std::vector<Case> cases = {
        {{"--to", "75", "--plot", "in.s2p", "-"}, "when the output is standard output"},
        {{"--to", "75", "--plot=pic.svg", "--out-dir", "conv", "in.s2p", "broken.s2p"},
         "names one picture, but 2 inputs"},
        {{"--to", "75", "--plot=in.s2p", "in.s2p", "out.s2p"}, "picture's name is an input's"},
        {{"--to", "75", "--plot=./in.s2p", "in.s2p", "out.s2p"}, "reaches an input file"},
        {{"--to", "75", "--plot=out.s2p", "in.s2p", "out.s2p"}, "picture's name is the output's"},
        {{"--to", "75", "--plot=-", "in.s2p", "out.s2p"}, "written to a file"},
        {{"--to", "75", "--plot=", "in.s2p", "out.s2p"}, "--plot= needs a file name"},
        {{"--plot", "in", "in", "out", "75"}, "'--plot' goes with --to"},
        {{"--to", "75", "--plot=none/pic.svg", "in.s2p", "out.s2p"}, "cannot create none"},
        // A conversion that fails writes no picture either.
        {{"--to", "75", "--plot=pic.svg", "broken.s2p", "out.s2p"}, "after 6 numbers"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        dir.write("in.s2p", network_file(2, 3));
        dir.write("broken.s2p", "# GHz S RI R 50\n1 0.1 0 0.2 0 0.3 0\n");
        dir.write("out.s2p", "keep");
        dir.write("pic.svg", "keep too");
        std::filesystem::create_directory(dir.path() / "conv");
        const auto before = contents_of(dir);
        std::vector<std::string> arguments = {"-v"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const test::RunResult result = run_tool(dir, arguments);
        EXPECT_EQ(result.status, 1) << c.said;
        EXPECT_NE(result.printed.find(c.said), std::string::npos) << result.printed;
        EXPECT_EQ(contents_of(dir), before) << c.said;
    }
}

TEST(Plot, ThePictureIsTheSameAtAnyThreadCount) {
    ScratchDir dir;
    dir.write("big.s2p", network_file(2, 40000) + noise_block);
    dir.write("big.s3p", network_file(3, 20000));
    for (const auto& [input, records] :
         {std::pair{"big.s2p", "40000 records"}, std::pair{"big.s3p", "20000 records"}}) {
        std::vector<std::string> pictures;
        for (const char* threads : {"1", "2", "3"}) {
            ::setenv("TAVRIN_THREADS", threads, 1);
            const std::string name = std::string("p") + threads + ".svg";
            EXPECT_EQ(run_tool(dir, {"--to", "75", "--plot=" + name, input, "out"}).status, 0);
            pictures.push_back(dir.read(name));
        }
        ::unsetenv("TAVRIN_THREADS");
        EXPECT_NE(pictures[0].find(records), std::string::npos) << input;
        // Compared as a whole, not printed: a picture is long.
        EXPECT_TRUE(pictures[1] == pictures[0]) << input << " at 2 threads";
        EXPECT_TRUE(pictures[2] == pictures[0]) << input << " at 3 threads";
    }
}

TEST(Plot, TheReadmesPictureIsWhatTheToolMakes) {
    ScratchDir dir;
    std::filesystem::copy_file(std::string(TAVRIN_EXAMPLES_DIR) + "/amplifier_ri.s2p",
                               dir.file("amplifier_ri.s2p"));
    ASSERT_EQ(run_tool(dir, {"--to", "75", "--plot=p.svg", "amplifier_ri.s2p", "out.s2p"}).status,
              0);
    std::ifstream readme(std::string(TAVRIN_EXAMPLES_DIR) + "/../docs/amplifier_ri_75.svg",
                         std::ios::binary);
    const std::string shown{std::istreambuf_iterator<char>(readme), {}};
    EXPECT_TRUE(dir.read("p.svg") == shown)
        << "docs/amplifier_ri_75.svg: make it again with bash scripts/run-examples";
}

}  // namespace
}  // namespace tavrin
