// Running the built tool in a scratch folder, for end-to-end tests.
#pragma once

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tavrin::test {

// A fresh folder under the system's temporary directory, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
#ifdef _WIN32
        // No mkdtemp here: try random names until one is new.
        std::random_device random;
        for (int attempt = 0;; ++attempt) {
            path_ = std::filesystem::temp_directory_path() /
                    ("tavrin-" + std::to_string(random()) + "-" + std::to_string(attempt));
            std::error_code error;
            if (std::filesystem::create_directory(path_, error)) break;
            if (attempt == 100) std::abort();
        }
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "tavrin-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
#endif
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    void write(const std::string& name, const std::string& contents) const {
        std::ofstream out(path_ / name, std::ios::binary);
        out << contents;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }
    bool exists(const std::string& name) const {
        return std::filesystem::exists(std::filesystem::symlink_status(path_ / name));
    }

private:
    std::filesystem::path path_;
};

struct RunResult {
    int status = -1;          // exit status, or -1 when the process did not exit normally
    std::string printed;      // everything written to standard output and standard error
};

// The tool under test; TAVRIN_TEST_EXE and TAVRIN_TEST_RUNNER (e.g. wine) override the
// Linux build, so the same tests can check another build of the tool.
inline std::vector<std::string> tool_command() {
    std::vector<std::string> command;
    if (const char* runner = std::getenv("TAVRIN_TEST_RUNNER"); runner != nullptr && *runner) {
        command.emplace_back(runner);
    }
    const char* exe = std::getenv("TAVRIN_TEST_EXE");
    command.emplace_back(exe != nullptr && *exe ? exe : TAVRIN_EXE);
    return command;
}

// True when the tool under test is the Windows build (run under Wine): its names are
// case-blind, permissions Windows' own, and Wine adds messages. Under qemu-user it is not.
inline bool tool_is_windows_build() {
    const std::string exe = tool_command().back();
    return exe.size() >= 4 && exe.compare(exe.size() - 4, 4, ".exe") == 0;
}

#ifndef _WIN32
// Runs the tool in folder with the given arguments and no standard input.
inline RunResult run_tool(const ScratchDir& folder, const std::vector<std::string>& arguments,
                          const std::string& standard_input = {}) {
    std::vector<std::string> command = tool_command();
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::string printed_path = folder.path().string() + ".printed";
    const std::string input_path = folder.path().string() + ".stdin";
    {
        std::ofstream in(input_path, std::ios::binary);
        in << standard_input;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(folder.path().c_str()) != 0) ::_exit(126);
        const int in = ::open(input_path.c_str(), O_RDONLY);
        const int out = ::open(printed_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(word.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    RunResult result;
    int wait_status = 0;
    if (child > 0 && ::waitpid(child, &wait_status, 0) == child && WIFEXITED(wait_status)) {
        result.status = WEXITSTATUS(wait_status);
    }
    std::ifstream printed(printed_path, std::ios::binary);
    std::ostringstream all;
    all << printed.rdbuf();
    result.printed = all.str();
    std::remove(printed_path.c_str());
    std::remove(input_path.c_str());
    return result;
}
#endif  // _WIN32: the Windows build is driven from the Linux one under Wine

// Lines joined with CR LF, each ended by it: how every output line is written.
inline std::string crlf_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace tavrin::test
