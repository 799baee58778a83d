// The pool's promises: no more jobs at once than its threads, a job only after those it must
// follow, each handed on in turn as soon as it and all before it are done.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "run/file_pool.hpp"

namespace tavrin {
namespace {

TEST(JobPool, KeepsItsPromisesAtEveryThreadCount) {
    constexpr std::size_t count = 40;
    std::vector<JobOrder> order(count);
    order[7].after = {3};  // job 3 is the slowest
    order[20].all_before = 20;
    for (const unsigned threads : {1u, 2u, 4u}) {
        std::mutex mutex;
        std::vector<long> events;  // job + 1 as it starts, -(job + 1) as it ends
        std::vector<std::size_t> reported;
        std::atomic<int> running{0}, most_running{0}, reporting{0};
        std::atomic<bool> first_reported{false}, waited_in_vain{false};
        const auto note = [&](long event) {
            const std::lock_guard<std::mutex> lock(mutex);
            events.push_back(event);
        };
        run_jobs(
            count, order, LoopThreads{threads},
            [&](std::size_t job, const LoopThreads&) {
                const int now = ++running;
                for (int most = most_running;
                     most < now && !most_running.compare_exchange_weak(most, now);) {
                }
                note(static_cast<long>(job) + 1);
                if (job == 3) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                // The first job is handed on while the others still run, not at the end.
                for (int wait = 0; job == count - 1 && !first_reported && wait < 5000; ++wait) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                if (job == count - 1 && !first_reported) waited_in_vain = true;
                note(-static_cast<long>(job) - 1);
                --running;
            },
            [&](std::size_t job) {
                EXPECT_EQ(++reporting, 1) << "two at once";
                reported.push_back(job);
                first_reported = true;
                --reporting;
            });
        SCOPED_TRACE(threads);
        EXPECT_LE(most_running, static_cast<int>(threads));
        EXPECT_FALSE(waited_in_vain);
        ASSERT_EQ(reported.size(), count);
        for (std::size_t job = 0; job < count; ++job) EXPECT_EQ(reported[job], job);
        const auto at = [&](long event) { return std::find(events.begin(), events.end(), event); };
        EXPECT_GT(at(8), at(-4));  // job 7 after job 3
        for (long job = 0; job < 20; ++job) EXPECT_GT(at(21), at(-job - 1)) << job;
    }
}

}  // namespace
}  // namespace tavrin
