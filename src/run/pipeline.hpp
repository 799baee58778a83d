// The per-record work of a large file spread over threads. Reading, the choice of records and
// writing stay on the calling thread, in file order; the calling thread converts blocks too
// while it would otherwise wait. The threads beyond it are started at once, or taken from the
// loop's budget as it spares them. What a block holds and how it is converted is the Work's:
//
//   struct Work {
//       struct Batch { ... };                        // one block's records, reused
//       bool fill(Batch&, LoopResult&);              // reads the next records; false at the end
//                                                    // or where a record ends the loop
//       bool empty(const Batch&) const;
//       void convert(Batch&, OutputSlot& scratch, PictureState&) const;  // on any thread
//       void deliver(const Batch&) const;          // once written, to the loop's observer
//       bool broken(const Batch&, LoopResult&) const;  // after converting: a record that could
//                                                      // not be, which ends the loop
//   };
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "run/loop_threads.hpp"
#include "run/record_loop.hpp"
#include "support/file_slots.hpp"
#include "support/worker_thread.hpp"
#include "text/picture.hpp"

namespace tavrin {

template <class Work>
class Pipeline {
public:
    Pipeline(Work& work, const LoopThreads& threads)
        : work_(work),
          count_(threads.count > 1 ? threads.count : 1),
          budget_(threads.budget),
          blocks_(2 * count_ + 2) {
        for (auto& block : blocks_) block = std::make_unique<Block>();
        add_helpers();
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    ~Pipeline() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        work_ready_.notify_all();
        for (std::thread& worker : workers_) worker.join();
        if (budget_ != nullptr) budget_->give_back(static_cast<unsigned>(workers_.size()));
    }

    LoopResult run(OutputSlot& output, LoopResult result);

private:
    struct Block {
        enum class State { free, filled, computing, done };
        typename Work::Batch batch;
        std::string output;
        State state = State::free;
    };

    Block& block(unsigned long long sequence) { return *blocks_[sequence % blocks_.size()]; }

    // Helper threads up to the count asked for, as many as the budget spares now; called
    // again as the file goes on, so that threads other files give back are taken up.
    void add_helpers() {
        while (workers_.size() + 1 < count_) {
            if (budget_ != nullptr && !budget_->take()) return;
            try {
                workers_.emplace_back([this] { work_on(); });
            } catch (const std::system_error&) {
                // No more threads to be had: the calling thread converts the rest.
                if (budget_ != nullptr) budget_->give_back(1);
                count_ = static_cast<unsigned>(workers_.size()) + 1;
                return;
            }
        }
    }

    // Blocks filled but not yet written: two for each thread converting, so that memory
    // follows the threads actually running.
    unsigned long long most_in_flight() const { return 2 * (workers_.size() + 1) + 2; }

    void convert(Block& block, OutputSlot& scratch, PictureState& pictures) const {
        work_.convert(block.batch, scratch, pictures);
        scratch.take_memory(block.output);
    }

    // Takes the oldest filled block off the queue and converts it with the lock released.
    void convert_oldest(std::unique_lock<std::mutex>& lock, OutputSlot& scratch,
                        PictureState& pictures) {
        Block* const block = queue_[queue_front_++];
        block->state = Block::State::computing;
        lock.unlock();
        convert(*block, scratch, pictures);
        lock.lock();
        block->state = Block::State::done;
        block_done_.notify_one();
    }

    void work_on() {
        keep_signals_off_this_thread();
        OutputSlot scratch;
        scratch.open_memory();
        PictureState pictures;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            work_ready_.wait(lock, [this] { return stop_ || queue_front_ < queue_.size(); });
            if (stop_) return;
            convert_oldest(lock, scratch, pictures);
        }
    }

    Work& work_;
    unsigned count_;
    ThreadBudget* budget_;
    std::vector<std::unique_ptr<Block>> blocks_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable work_ready_;  // a block was filled, or the work ends
    std::condition_variable block_done_;  // a block was converted
    std::vector<Block*> queue_;           // filled blocks, oldest first
    std::size_t queue_front_ = 0;
    bool stop_ = false;
};

template <class Work>
LoopResult Pipeline<Work>::run(OutputSlot& output, LoopResult result) {
    OutputSlot scratch;
    scratch.open_memory();
    PictureState pictures;
    unsigned long long filled = 0;   // blocks handed out so far
    unsigned long long written = 0;  // blocks written so far
    bool input_ended = false;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Converted blocks go out in file order.
        while (written < filled && block(written).state == Block::State::done) {
            Block& next = block(written);
            lock.unlock();
            output.write(next.output);
            work_.deliver(next.batch);
            lock.lock();
            // What is left unwritten would make the file look complete: stop here.
            if (work_.broken(next.batch, result)) return result;
            next.state = Block::State::free;
            ++written;
            // Stop at once on a full disk rather than compute what cannot be written.
            if (output.failed()) {
                result.end = LoopEnd::write_failed;
                return result;
            }
        }
        if (!input_ended && filled - written < most_in_flight() &&
            block(filled).state == Block::State::free) {
            Block& next = block(filled);
            lock.unlock();
            add_helpers();
            next.output.clear();
            input_ended = !work_.fill(next.batch, result);
            lock.lock();
            if (result.end != LoopEnd::complete) return result;
            if (work_.empty(next.batch)) continue;
            next.state = Block::State::filled;
            if (queue_front_ == queue_.size()) {
                queue_.clear();
                queue_front_ = 0;
            }
            queue_.push_back(&next);
            ++filled;
            work_ready_.notify_one();
            continue;
        }
        if (queue_front_ < queue_.size()) {
            // Every block is in flight: convert the oldest here instead of waiting.
            convert_oldest(lock, scratch, pictures);
            continue;
        }
        if (input_ended && written == filled) return result;
        block_done_.wait(lock);
    }
}

}  // namespace tavrin
