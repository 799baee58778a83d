// What an argument list asks for: options before the four arguments, and lists without
// options meaning what they always have.
#include "run/command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

CommandLine parsed(std::vector<std::string> arguments) {
    std::vector<const char*> argv = {"tavrin"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return parse_command_line(static_cast<int>(argv.size()), argv.data());
}

TEST(ParseCommandLine, TakesOptionsBeforeTheFourArguments) {
    using Mode = CommandLine::Mode;
    struct Case {
        std::vector<std::string> arguments;
        Mode mode;
        bool verbose;
        std::optional<WaveDefinition> waves;
        std::vector<std::string> four;
        const char* problem;  // a word of it
    };
    const std::vector<std::string> four = {"a", "b", "c", "75"};
    const std::vector<Case> cases = {
        {{"a", "b", "c", "75"}, Mode::run, false, std::nullopt, four, ""},
        {{"-v", "a", "b", "c", "75"}, Mode::run, true, std::nullopt, four, ""},
        {{"--verbose", "--waves=power", "a", "b", "c", "75"}, Mode::run, true,
         WaveDefinition::power, four, ""},
        {{"--waves=pseudo", "--waves=traveling", "a", "b", "c", "75"}, Mode::run, false,
         WaveDefinition::traveling, four, ""},
        {{"--", "-x", "-x", "out", "50"}, Mode::run, false, std::nullopt, {"-x", "-x", "out", "50"}, ""},
        {{"-v", "--", "-", "b", "c", "-5"}, Mode::run, true, std::nullopt, {"-", "b", "c", "-5"}, ""},
        {{"-", "b", "c", "75"}, Mode::run, false, std::nullopt, {"-", "b", "c", "75"}, ""},
        {{"a", "b", "c", "-75"}, Mode::run, false, std::nullopt, {"a", "b", "c", "-75"}, ""},
        {{}, Mode::dialogue, false, std::nullopt, {}, ""},
        {{"a", "b", "c"}, Mode::dialogue, false, std::nullopt, {"a", "b", "c"}, ""},
        {{"a", "b", "c", "75", "-v"}, Mode::dialogue, false, std::nullopt, {"a", "b", "c", "75", "-v"}, ""},
        {{"--help"}, Mode::help, false, std::nullopt, {}, ""},
        {{"-v", "-h", "a"}, Mode::help, true, std::nullopt, {}, ""},
        {{"-V"}, Mode::version, false, std::nullopt, {}, ""},
        {{"-x", "a", "b", "c", "75"}, Mode::refused, false, std::nullopt, {}, "'-x'"},
        {{"--waves=kurokawa", "a", "b", "c", "75"}, Mode::refused, false, std::nullopt, {},
         "wave definition"},
        {{"--waves", "a", "b", "c", "75"}, Mode::refused, false, std::nullopt, {}, "'--waves'"},
        {{"-v", "a", "b", "c"}, Mode::refused, true, std::nullopt, {}, "got 3 arguments"},
        {{"-v", "a", "b", "c", "75", "x"}, Mode::refused, true, std::nullopt, {}, "got 5 arguments"},
        {{"-v"}, Mode::refused, true, std::nullopt, {}, "got 0 arguments"},
        {{"--"}, Mode::refused, false, std::nullopt, {}, "got 0 arguments"},
    };
    for (const Case& c : cases) {
        const CommandLine command = parsed(c.arguments);
        const std::string name = c.arguments.empty() ? "(none)" : c.arguments.front();
        EXPECT_EQ(command.mode, c.mode) << name;
        EXPECT_EQ(command.options.verbose, c.verbose) << name;
        EXPECT_EQ(command.options.waves, c.waves) << name;
        if (c.mode == Mode::run || c.mode == Mode::dialogue) {
            EXPECT_EQ(command.arguments, c.four) << name;
        }
        EXPECT_NE(command.problem.find(c.problem), std::string::npos) << name << ": " << command.problem;
        EXPECT_EQ(command.problem.empty(), c.mode != Mode::refused) << name;
    }
}

}  // namespace
}  // namespace tavrin
