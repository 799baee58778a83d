#include "run/loop_threads.hpp"

#include <cstdlib>
#include <thread>

namespace tavrin {

namespace {

constexpr unsigned most_threads = 64;

}  // namespace

LoopThreads loop_threads_from_environment() {
    LoopThreads threads;
    const char* const setting = std::getenv("TAVRIN_THREADS");
    if (setting != nullptr && *setting != '\0') {
        char* end = nullptr;
        const unsigned long n = std::strtoul(setting, &end, 10);
        if (*end == '\0' && n >= 1 && n <= most_threads) {
            threads.count = static_cast<unsigned>(n);
            threads.start_after = 0;
            return threads;
        }
    }
    const unsigned cores = std::thread::hardware_concurrency();
    threads.count = cores == 0 ? 1 : (cores > most_threads ? most_threads : cores);
    threads.start_after = records_before_threads;
    return threads;
}

}  // namespace tavrin
