// The jobs of a run (the inputs of --out-dir) converted several at once, each whole on one
// thread, and told of as a run converting one after the other would tell of them.
//
// What run_jobs guarantees:
// - Jobs start in the order of their numbers, at most threads.count at once.
// - A job starts only once every job its JobOrder names has finished.
// - finished(i) runs for each job in turn, never two at once, as soon as job i and every job
//   before it have finished (on a worker, so that the calling thread is not woken for each);
//   run_jobs returns after the last.
// - The whole run uses about threads.count threads: the pool's workers and the record loops
//   of the files they convert share one budget. A job is handed the loop threads it may use:
//   up to threads.count once its file has shown itself large, as the budget spares them, so
//   that a small file never starts a thread and a long one among small ones still spreads.
// - The workers keep signals off: they arrive at the calling thread, which only waits.
// - With one job or one thread, or where no thread can be started, each job runs on the
//   calling thread in turn with threads as given, followed by its finished(): the plain loop.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "run/loop_threads.hpp"

namespace tavrin {

// What must have finished before a job starts: every job numbered below all_before, and
// each job of after (all numbered below this one).
struct JobOrder {
    std::size_t all_before = 0;
    std::vector<std::size_t> after;
};

using JobWork = std::function<void(std::size_t job, const LoopThreads& threads)>;
using JobFinished = std::function<void(std::size_t job)>;

// Runs jobs 0 to count - 1; order holds one entry per job.
void run_jobs(std::size_t count, const std::vector<JobOrder>& order, const LoopThreads& threads,
              const JobWork& work, const JobFinished& finished);

}  // namespace tavrin
