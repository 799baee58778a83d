// Runs a command several times and reports its best wall-clock time, the CPU time of that run
// and the largest peak resident set size of all runs, measured by the kernel for the child.
//
//   measure [--runs N] [--stdout FILE] [--cwd DIR] -- COMMAND [ARGUMENTS...]
//
// Prints one line: wall_seconds user_seconds system_seconds peak_rss_kib. Exits 1 when any
// run of the command failed.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace {

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; }

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    const char* out_path = nullptr;
    const char* directory = nullptr;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (a == "--stdout" && i + 1 < argc) {
            out_path = argv[++i];
        } else if (a == "--cwd" && i + 1 < argc) {
            directory = argv[++i];
        } else if (a == "--") {
            ++i;
            break;
        } else {
            break;
        }
    }
    if (i >= argc || runs < 1) {
        std::fprintf(stderr, "usage: measure [--runs N] [--stdout FILE] [--cwd DIR] -- COMMAND...\n");
        return 2;
    }
    double best_wall = 0.0;
    double best_user = 0.0;
    double best_system = 0.0;
    long peak_kib = 0;
    for (int run = 0; run < runs; ++run) {
        const double started = now();
        const pid_t child = fork();
        if (child < 0) return 2;
        if (child == 0) {
            if (directory != nullptr && chdir(directory) != 0) _exit(127);
            if (out_path != nullptr) {
                const int fd = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0 || dup2(fd, 1) < 0) _exit(127);
                close(fd);
            }
            execvp(argv[i], argv + i);
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        if (wait4(child, &status, 0, &usage) != child) return 2;
        const double wall = now() - started;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "measure: %s failed\n", argv[i]);
            return 1;
        }
        if (run == 0 || wall < best_wall) {
            best_wall = wall;
            best_user = seconds(usage.ru_utime);
            best_system = seconds(usage.ru_stime);
        }
        if (usage.ru_maxrss > peak_kib) peak_kib = usage.ru_maxrss;
    }
    std::printf("%.6f %.6f %.6f %ld\n", best_wall, best_user, best_system, peak_kib);
    return 0;
}
