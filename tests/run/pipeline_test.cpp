// The record pipeline with a thread budget: no thread beyond what the budget spares, threads
// taken up as they become spare while the file goes on, all of them given back, and the
// blocks written in order whoever converted them.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "run/pipeline.hpp"

namespace tavrin {
namespace {

// Numbered blocks; converting one notes the thread and writes its number.
struct NumberedWork {
    struct Batch {
        int number = 0;
    };
    int blocks = 40;
    int filled = 0;
    std::function<void(int)> on_fill;
    mutable std::mutex mutex;
    mutable std::set<std::thread::id> threads;

    bool fill(Batch& batch, LoopResult&) {
        batch.number = filled < blocks ? ++filled : 0;
        if (on_fill) on_fill(filled);
        return batch.number != 0;
    }
    bool empty(const Batch& batch) const { return batch.number == 0; }
    void convert(Batch& batch, OutputSlot& scratch, PictureState&) const {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            threads.insert(std::this_thread::get_id());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        scratch.write(std::to_string(batch.number) + "\n");
    }
    bool broken(const Batch&, LoopResult&) const { return false; }
};

std::string run_pipeline(NumberedWork& work, ThreadBudget& budget) {
    OutputSlot output;
    output.open_memory();
    {
        Pipeline<NumberedWork> pipeline(work, LoopThreads{3, 0, &budget});
        EXPECT_EQ(pipeline.run(output, LoopResult{}).end, LoopEnd::complete);
    }
    std::string text;
    output.take_memory(text);
    return text;
}

TEST(Pipeline, TakesTheThreadsItsBudgetSparesAndGivesThemBack) {
    std::string expected;
    for (int i = 1; i <= 40; ++i) expected += std::to_string(i) + "\n";
    ThreadBudget budget(0);
    NumberedWork alone;
    EXPECT_EQ(run_pipeline(alone, budget), expected);
    EXPECT_EQ(alone.threads, std::set<std::thread::id>{std::this_thread::get_id()});
    // Two threads become spare once the file has begun: the pipeline takes them up.
    NumberedWork joined;
    joined.on_fill = [&](int filled) {
        if (filled == 5) budget.give_back(2);
    };
    EXPECT_EQ(run_pipeline(joined, budget), expected);
    EXPECT_GE(joined.threads.size(), 2u);
    EXPECT_TRUE(budget.take() && budget.take());
    EXPECT_FALSE(budget.take());
}

}  // namespace
}  // namespace tavrin
