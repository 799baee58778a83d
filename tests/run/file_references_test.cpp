// End-to-end: files that state their references per port or per frequency, converted and read
// back against the impedance-matrix route; files with one reference unchanged by all of it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "network/impedance_route.hpp"
#include "run/conversion_support.hpp"

namespace tavrin {
namespace {

using test::Conversion;
using test::convert;
using test::Cx;
using test::Matrix;
using test::numbers_of;
using test::output_lines;

// S11 S21 S12 S22 as an RI data line writes them.
const Matrix network = {{{Cx(0.1, 0.2), Cx(0.05, 0)}, {Cx(0.9, -0.1), Cx(0.3, -0.4)}}};
const std::string data_line = "1 0.1 0.2 0.9 -0.1 0.05 0 0.3 -0.4\n";

// The line's numbers against S' for the new reference, to the nine printed decimals.
void expect_line_is(const std::string& line, const Matrix& expected, const std::string& name) {
    const std::vector<long double> got = numbers_of(line);
    ASSERT_EQ(got.size(), 9u) << name << ": " << line;
    const Cx in_file_order[4] = {expected[0][0], expected[1][0], expected[0][1], expected[1][1]};
    for (int p = 0; p < 4; ++p) {
        EXPECT_NEAR(got[1 + 2 * p], in_file_order[p].real(), 1e-9L) << name << ": " << line;
        EXPECT_NEAR(got[2 + 2 * p], in_file_order[p].imag(), 1e-9L) << name << ": " << line;
    }
}

TEST(FileReferences, AnIndentedOptionLineIsTheOptionLine) {
    const Conversion plain = convert("# GHz S RI R 50\n" + data_line, "", "75");
    ASSERT_EQ(plain.status, 0);
    for (const std::string option : {"  # GHz S RI R 50", "\t# GHz S RI R 50", " \t # GHz S RI R 50 ! x"}) {
        const Conversion indented = convert("! header\n" + option + "\n" + data_line, "", "75");
        EXPECT_EQ(indented.status, 0) << option;
        EXPECT_EQ(indented.output, plain.output) << option;
    }
}

TEST(FileReferences, AReferencePerPortIsRenormalisedPortByPort) {
    const Cx ports[2] = {Cx(50, 0), Cx(75, 0)};
    const Matrix expected = test::through_impedance_matrix(network, ports, WaveDefinition::traveling, 60);
    for (const std::string header :
         {"# GHz S RI R 50 75", "# GHz S RI R 50 75.0 ! per port",
          "[Version] 2.0\n# GHz S RI\n[Number of Ports] 2\n[Reference] 50 75\n[Network Data]",
          "[Version] 2.0\n# GHz S RI R 50\n[Reference]\n50\n75\n[Network Data]"}) {
        const Conversion run = convert(header + "\n" + data_line, "", "60");
        ASSERT_EQ(run.status, 0) << header;
        const auto lines = output_lines(run.output);
        ASSERT_EQ(lines.size(), 2u) << header;
        EXPECT_EQ(lines[0], "# GHZ S RI R 60") << header;
        expect_line_is(lines[1], expected, header);
    }
    // The same reference at both ports, written twice: the data comes back unchanged.
    const Conversion same = convert("# GHz S RI R 60 60\n" + data_line, "", "60");
    ASSERT_EQ(same.status, 0);
    expect_line_is(output_lines(same.output).at(1), network, "60 60 to 60");
}

TEST(FileReferences, PortImpedanceCommentsGiveEachRecordItsReferences) {
    // A waveguide port near 375 ohms and a coplanar port, changing with frequency.
    const Cx first[2] = {Cx(375.2, 3.1), Cx(49.7, -0.1)};
    const Cx second[2] = {Cx(371.5, 2.4), Cx(49.6, -0.2)};
    const std::string file =
        "! Exported by a field solver\n! Data is not renormalized\n# GHZ S RI\n" + data_line +
        "! Gamma ! 0.001 1.02 0.002 3.1\n! Port Impedance375.2 3.1 49.7 -0.1\n\n" + "2" +
        data_line.substr(1) + "! Gamma\n! Port Impedance 371.5 2.4 0 0\n! 0 0 49.6 -0.2\n";
    struct Case {
        std::vector<std::string> options;
        std::string statement;  // a comment before the data
        WaveDefinition waves;
    };
    const std::vector<Case> cases = {
        {{}, "", WaveDefinition::traveling},
        {{}, "! S-parameter uses the power definition\n", WaveDefinition::power},
        {{"--waves=pseudo"}, "! S-parameter uses the power definition\n", WaveDefinition::pseudo},
        {{"--waves=power"}, "", WaveDefinition::power},
    };
    for (const Case& c : cases) {
        const std::string name = std::string(wave_definition_name(c.waves)) + " " + c.statement;
        const Conversion run = convert(c.statement + file, "", "50", c.options);
        ASSERT_EQ(run.status, 0) << name;
        const auto lines = output_lines(run.output);
        ASSERT_EQ(lines.size(), 3u) << name;
        EXPECT_EQ(lines[0], "# GHZ S RI R 50") << name;
        expect_line_is(lines[1], test::through_impedance_matrix(network, first, c.waves, 50), name);
        expect_line_is(lines[2], test::through_impedance_matrix(network, second, c.waves, 50), name);
    }
}

TEST(FileReferences, TheWaveDefinitionChangesNothingForRealReferences) {
    for (const std::string header : {"# GHz S MA R 50", "# GHz S DB R 50 75"}) {
        const std::string file = header + "\n1 0.5 45 0.9 -30 0.05 10 0.4 -60\n";
        const Conversion plain = convert(file, "", "75");
        ASSERT_EQ(plain.status, 0) << header;
        for (const char* option : {"--waves=power", "--waves=pseudo"}) {
            EXPECT_EQ(convert(file, "", "75", {option}).output, plain.output) << header << option;
        }
    }
}

TEST(FileReferences, TwoFilesShareOneReferenceOrAreRefused) {
    const std::string forward = "1 0.1 0.2 0.9 -0.1\n";
    const std::string reverse = "1 0.3 -0.4 0.05 0\n";
    struct Case {
        std::string forward_header, reverse_header;
        int status;
    };
    const std::vector<Case> cases = {
        {"# GHz S RI R 50", "# GHz S RI R 50", 0},
        {"# GHz S RI", "# GHz S RI R 50.0", 0},
        {"# GHz S RI\n[Reference] 50\n[Network Data]", "# GHz S RI R 50", 0},
        {"# GHz S RI R 50", "# GHz S RI R 75", 1},
        {"# GHz S RI R 50 75", "# GHz S RI R 50 75", 1},
        {"# GHz S RI R 50", "# GHz S RI\n[Reference] 50 75\n[Network Data]", 1},
        {"# GHz S RI R 50", "# GHz S RI R 50\n" + reverse + "! Port Impedance 50 0 50 0", 1},
    };
    const Conversion single = convert("# GHz S RI R 50\n" + data_line, "", "75");
    for (const Case& c : cases) {
        const Conversion run =
            convert(c.forward_header + "\n" + forward, c.reverse_header + "\n" + reverse, "75");
        EXPECT_EQ(run.status, c.status) << c.forward_header << " / " << c.reverse_header;
        // Accepted pairs give what the complete file gives; refused ones leave nothing.
        if (c.status == 0) {
            EXPECT_EQ(output_lines(run.output).at(1), output_lines(single.output).at(1));
        } else {
            EXPECT_EQ(run.output, "") << c.forward_header << " / " << c.reverse_header;
        }
    }
}

TEST(FileReferences, RefusedReferencesLeaveAnEmptyOutput) {
    const std::string z = "! Port Impedance 50 0 50 0\n";
    const std::string second = "2" + data_line.substr(1);
    for (const std::string& file :
         {"# GHz S RI R 50 75 100\n" + data_line, "# GHz S RI R 50 -75\n" + data_line,
          "# GHz S RI\n[Reference] 50 0\n[Network Data]\n" + data_line,
          "!DATA IS NOT RENORMALIZED\n# GHz S RI\n" + data_line,
          "# GHz S RI\n" + data_line + z + second,                         // the last lacks one
          "# GHz S RI\n" + data_line + second + z,                         // the first lacks one
          "# GHz S RI\n" + data_line + "! Port Impedance 0 0 50 0\n",      // a reference of 0
          "! S-parameter uses the pseudo definition\n# GHz S RI\n" + data_line +
              "! Port Impedance 0 29 50 0\n"}) {                           // Re Z = 0, pseudo
        const Conversion run = convert(file, "", "75");
        EXPECT_EQ(run.status, 1) << file;
        EXPECT_EQ(run.output, "") << file;
    }
}

}  // namespace
}  // namespace tavrin
