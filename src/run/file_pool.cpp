#include "run/file_pool.hpp"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "support/worker_thread.hpp"

namespace tavrin {

namespace {

class JobPool {
public:
    JobPool(std::size_t count, const std::vector<JobOrder>& order, unsigned threads,
            const JobWork& work, const JobFinished& finished)
        : order_(order),
          work_(work),
          finished_(finished),
          done_(count, 0),
          budget_(threads),
          job_threads_{threads, records_before_threads, &budget_} {}
    JobPool(const JobPool&) = delete;
    JobPool& operator=(const JobPool&) = delete;

    ~JobPool() {
        for (std::thread& worker : workers_) worker.join();
    }

    // Starts up to `workers` threads, each holding one of the budget's; gives how many started.
    std::size_t start(std::size_t workers) {
        while (workers_.size() < workers && budget_.take()) {
            try {
                workers_.emplace_back([this] { work_on(); });
            } catch (const std::system_error&) {
                budget_.give_back(1);
                break;
            }
        }
        return workers_.size();
    }

    // Returns once every job has been handed to finished.
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        all_reported_.wait(lock, [&] { return reported_ == done_.size(); });
    }

private:
    bool may_start(std::size_t job) const {
        const JobOrder& order = order_[job];
        if (finished_before_ < order.all_before) return false;
        for (const std::size_t earlier : order.after) {
            if (!done_[earlier]) return false;
        }
        return true;
    }

    void work_on() {
        keep_signals_off_this_thread();
        std::unique_lock<std::mutex> lock(mutex_);
        while (next_ < done_.size()) {
            const std::size_t job = next_++;
            changed_.wait(lock, [&] { return may_start(job); });
            lock.unlock();
            work_(job, job_threads_);
            lock.lock();
            done_[job] = 1;
            while (finished_before_ < done_.size() && done_[finished_before_]) ++finished_before_;
            changed_.notify_all();
            report(lock);
        }
        lock.unlock();
        // No job left to take: a file still converting may take this thread up.
        budget_.give_back(1);
    }

    // Hands the jobs finished in turn to finished, one thread at a time: the one that finds
    // none doing it, which goes on while jobs that others finished meanwhile follow. Done by
    // the workers, so that the calling thread is not woken for every job.
    void report(std::unique_lock<std::mutex>& lock) {
        if (reporting_) return;
        reporting_ = true;
        while (reported_ < finished_before_) {
            const std::size_t job = reported_++;
            lock.unlock();
            finished_(job);
            lock.lock();
        }
        reporting_ = false;
        if (reported_ == done_.size()) all_reported_.notify_one();
    }

    const std::vector<JobOrder>& order_;
    const JobWork& work_;
    const JobFinished& finished_;
    std::mutex mutex_;
    std::condition_variable changed_;       // a job finished
    std::condition_variable all_reported_;  // the last job was handed to finished
    std::vector<char> done_;
    std::size_t next_ = 0;             // the next job to start
    std::size_t finished_before_ = 0;  // every job below this one has finished
    std::size_t reported_ = 0;         // every job below this one was handed to finished
    bool reporting_ = false;
    ThreadBudget budget_;
    const LoopThreads job_threads_;
    std::vector<std::thread> workers_;
};

}  // namespace

void run_jobs(std::size_t count, const std::vector<JobOrder>& order, const LoopThreads& threads,
              const JobWork& work, const JobFinished& finished) {
    if (count > 1 && threads.count > 1) {
        JobPool pool(count, order, threads.count, work, finished);
        if (pool.start(threads.count < count ? threads.count : count) > 0) {
            pool.wait();
            return;
        }
    }
    for (std::size_t job = 0; job < count; ++job) {
        work(job, threads);
        finished(job);
    }
}

}  // namespace tavrin
