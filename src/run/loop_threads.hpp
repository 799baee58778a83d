// How many threads the per-record work of a file may use, and the budget that the files
// converted at once share, so that a whole run uses about the threads asked for.
#pragma once

#include <atomic>

namespace tavrin {

// The threads a run may still start. The workers of a folder's pool and the record loops of
// the files they convert take from one budget and give back what they no longer use.
class ThreadBudget {
public:
    explicit ThreadBudget(unsigned threads) : spare_(threads) {}
    ThreadBudget(const ThreadBudget&) = delete;
    ThreadBudget& operator=(const ThreadBudget&) = delete;

    // One thread more, if one is spare.
    bool take() {
        unsigned spare = spare_.load();
        while (spare > 0 && !spare_.compare_exchange_weak(spare, spare - 1)) {
        }
        return spare > 0;
    }
    void give_back(unsigned threads) { spare_.fetch_add(threads); }

private:
    std::atomic<unsigned> spare_;
};

// How many threads share the per-record work, and from when. One thread is the plain loop.
struct LoopThreads {
    unsigned count = 1;
    // Records converted on the calling thread before the others start: a small file is done
    // before starting threads would pay off.
    unsigned long long start_after = 0;
    // Where the threads beyond the calling one come from, as they become spare; none: all of
    // them are started at once.
    ThreadBudget* budget = nullptr;
};

// Without TAVRIN_THREADS, and always for the files of a pool, files of up to this many
// records never start a thread.
inline constexpr unsigned long long records_before_threads = 16384;

// TAVRIN_THREADS=N (1 to 64) when set, with threads from the first record; otherwise the
// machine's cores, once a file has shown itself large.
LoopThreads loop_threads_from_environment();

}  // namespace tavrin
