// Whole conversions run by the built tool, and their output taken apart, for end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin::test {

struct Conversion {
    int status;
    std::string output;
    std::string printed;
};

// Converts f.s2p (and r.s2p in two-file mode, when reverse is not empty) into out.s2p, with
// the options before the four arguments.
inline Conversion convert(const std::string& forward, const std::string& reverse,
                          const std::string& z_new, const std::vector<std::string>& options = {}) {
    ScratchDir dir;
    dir.write("f.s2p", forward);
    std::vector<std::string> arguments = options;
    for (const char* name : {"f", "f", "out"}) arguments.emplace_back(name);
    arguments.push_back(z_new);
    if (!reverse.empty()) {
        dir.write("r.s2p", reverse);
        arguments[options.size() + 1] = "r";
    }
    const RunResult result = run_tool(dir, arguments);
    return {result.status, dir.read("out.s2p"), result.printed};
}

// The output lines without their CR LF; fails the test when a line lacks it.
inline std::vector<std::string> output_lines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "line without CR LF";
        if (end == std::string::npos) break;
        lines.push_back(output.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The numbers of an output line, as any reader takes them.
inline std::vector<long double> numbers_of(const std::string& line) {
    std::istringstream in(line);
    std::vector<long double> values;
    long double v;
    while (in >> v) values.push_back(v);
    return values;
}

}  // namespace tavrin::test
