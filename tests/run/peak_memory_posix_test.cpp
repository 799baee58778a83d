// End-to-end: a run streams, so its peak resident size does not grow with the number of
// records. The tool's peak is taken from the kernel's accounting of the finished child.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

using test::ScratchDir;

struct PeakRun {
    int status = -1;
    long peak_kilobytes = -1;
};

// Runs the tool in folder and reports its exit status and peak resident size.
PeakRun run_measured(const ScratchDir& folder, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = test::tool_command();
    command.insert(command.end(), arguments.begin(), arguments.end());
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::chdir(folder.path().c_str()) != 0) ::_exit(126);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(word.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    PeakRun run;
    int wait_status = 0;
    rusage usage {};
    if (child > 0 && ::wait4(child, &wait_status, 0, &usage) == child && WIFEXITED(wait_status)) {
        run.status = WEXITSTATUS(wait_status);
        run.peak_kilobytes = usage.ru_maxrss;
    }
    return run;
}

// A magnitude/angle file of count records with rising frequencies and varied numbers, so
// every record goes through the conversions, the renormalisation and the picture. Written
// line by line: the test process's own size counts in the child's peak (the kernel carries
// it over the exec), so it must stay small.
void write_generated_file(const std::string& path, int count) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("! generated\n# MHz S MA R 50\n", file);
    for (int i = 1; i <= count; ++i) {
        const int k = i % 997;
        std::fprintf(file, "%d 0.%d %d 0.9 -%d,5 0.05 10 0.%d -60 ! note\n", i, k, k, k, k);
    }
    ASSERT_EQ(std::fclose(file), 0);
}

std::size_t count_lines(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 0;
    char piece[4096];
    std::size_t lines = 0;
    for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, file)) > 0;) {
        for (std::size_t i = 0; i < got; ++i) lines += piece[i] == '\n' ? 1 : 0;
    }
    std::fclose(file);
    return lines;
}

// The peak that a child shows before it does anything: the test process's size at the fork.
long baseline_kilobytes() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int wait_status = 0;
    rusage usage {};
    if (child < 0 || ::wait4(child, &wait_status, 0, &usage) != child) return -1;
    return usage.ru_maxrss;
}

TEST(PeakMemory, DoesNotGrowWithTheNumberOfRecords) {
    if (std::getenv("TAVRIN_TEST_RUNNER") != nullptr) {
        GTEST_SKIP() << "the peak of a process under a runner is the runner's";
    }
    ScratchDir dir;
    // Enough records that every block of the threaded loop is in use in both files.
    write_generated_file(dir.file("small.s2p"), 20000);
    write_generated_file(dir.file("large.s2p"), 200000);
    const long baseline = baseline_kilobytes();

    // One thread, and threads from the first record: the blocks in flight are bounded too.
    for (const char* threads : {"1", "2", "4"}) {
        ::setenv("TAVRIN_THREADS", threads, 1);
        const PeakRun small = run_measured(dir, {"small", "small", "small_out", "75"});
        const PeakRun large = run_measured(dir, {"large", "large", "large_out", "75"});
        ::unsetenv("TAVRIN_THREADS");
        ASSERT_EQ(small.status, 0) << threads;
        ASSERT_EQ(large.status, 0) << threads;
        // Every record was written: the option line and one line per record. Counted a
        // piece at a time: this process's own size would count in the next child's peak.
        EXPECT_EQ(count_lines(dir.file("large_out.s2p")), 200001u) << threads;

        // Below the size a child has at the fork, growth could not be seen.
        ASSERT_GT(small.peak_kilobytes, baseline);
        const long margin_kilobytes = 1024;
        EXPECT_LE(large.peak_kilobytes, small.peak_kilobytes + margin_kilobytes)
            << threads << " threads: peak with 20,000 records: " << small.peak_kilobytes
            << " kB, with 200,000: " << large.peak_kilobytes
            << " kB (a child's peak before exec: " << baseline << " kB)";
#ifndef TAVRIN_SANITIZED
        // The sanitizers' shadow memory is theirs: the absolute bounds hold for a plain build.
        EXPECT_LE(large.peak_kilobytes, std::string(threads) == "1" ? 8192 : 16384) << threads;
#endif
    }
}

TEST(PeakMemory, IsSetByTheNumbersAFileHoldsNotByTheCountsItStates) {
    if (std::getenv("TAVRIN_TEST_RUNNER") != nullptr) {
        GTEST_SKIP() << "the peak of a process under a runner is the runner's";
    }
    ScratchDir dir;
    dir.write("small.s1p", "# GHz S RI R 50\n1 0.1 0.2\n");
    const PeakRun small = run_measured(dir, {"--to", "75", "small.s1p", "small75.s1p"});
    ASSERT_EQ(small.status, 0);
    // 5792 ports is the most whose matrix fits in 1 GiB; a record of them would be 67 million
    // numbers, and a claim of 10,000 is refused before any record is read.
    for (const char* ports : {"5792", "10000"}) {
        dir.write("claim.ts", std::string("[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] ") +
                                  ports + "\n[Network Data]\n1 0.1 0.2\n");
        const PeakRun claim = run_measured(dir, {"--to", "75", "claim.ts", "claim75.ts"});
        EXPECT_EQ(claim.status, 1) << ports;
        EXPECT_LE(claim.peak_kilobytes, small.peak_kilobytes + 20 * 1024) << ports;
    }
}

}  // namespace
}  // namespace tavrin
