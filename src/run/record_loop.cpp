#include "run/record_loop.hpp"

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "support/worker_thread.hpp"
#include "touchstone/output_record.hpp"

namespace tavrin {

namespace {

// A block holds this many records at most, or about this many bytes of their texts: small
// enough that the blocks in flight stay a few megabytes, large enough to make the hand-over
// between threads rare.
constexpr std::size_t records_per_block = 1024;
constexpr std::size_t text_bytes_per_block = 256 * 1024;
// Without TAVRIN_THREADS, files of up to this many records never start a thread.
constexpr unsigned long long records_before_threads = 16384;
constexpr unsigned most_threads = 64;

// A run of consecutive two-ports: their texts as the reader chose them, then their output.
struct Block {
    struct Entry {
        std::size_t frequency_at, frequency_size;
        std::size_t forward_at, forward_size;
        std::size_t reverse_at, reverse_size;
        PortImpedances impedances;
        long long forward_line, reverse_line;
    };
    enum class State { free, filled, computing, done };

    std::string texts;
    std::vector<Entry> entries;
    std::string output;
    State state = State::free;
    // The first record of the block that could not be converted; the output ends before it.
    std::size_t broken_at = no_broken_record;
    BrokenTwoPort broken;

    static constexpr std::size_t no_broken_record = static_cast<std::size_t>(-1);

    TwoPortText text_of(const Entry& e) const {
        const std::string_view all = texts;
        return {all.substr(e.frequency_at, e.frequency_size),
                all.substr(e.forward_at, e.forward_size), all.substr(e.reverse_at, e.reverse_size),
                e.impedances, e.forward_line, e.reverse_line};
    }
};

// The next two-port the loop may convert, counted; false at the end of the input or where a
// record ends the loop (result.end then says why).
bool take_next(TwoPortReader& reader, const RecordConversion& conversion, TwoPortText& text,
               LoopResult& result) {
    if (!reader.next_two_port_text(text)) {
        if (reader.problem()) result.end = LoopEnd::input_problem;
        return false;
    }
    if (!conversion.change.accepts(text.impedances)) {
        result.end = LoopEnd::reference_refused;
        return false;
    }
    ++result.records;
    return true;
}

std::size_t append(std::string& texts, std::string_view text) {
    const std::size_t at = texts.size();
    texts.append(text);
    return at;
}

// The per-record work of a large file spread over threads; reading, the choice of records
// and writing stay on the calling thread, in file order. The calling thread converts blocks
// too while it would otherwise wait.
class Pipeline {
public:
    Pipeline(const RecordConversion& conversion, unsigned threads)
        : conversion_(conversion), blocks_(2 * threads + 2) {
        for (auto& block : blocks_) block = std::make_unique<Block>();
        for (unsigned i = 1; i < threads; ++i) {
            try {
                workers_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;  // no more threads to be had: the calling thread converts the rest
            }
        }
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
    }

    LoopResult run(TwoPortReader& reader, OutputSlot& output, LoopResult result);

private:
    Block& block(unsigned long long sequence) { return *blocks_[sequence % blocks_.size()]; }

    // Reads the next records into the block; false once the reader has no more or a record
    // ends the loop (end is then set).
    bool fill(Block& block, TwoPortReader& reader, LoopResult& result) const;
    void convert(Block& block, OutputSlot& scratch, PictureState& pictures) const;
    // Takes the oldest filled block off the queue and converts it with the lock released.
    void convert_oldest(std::unique_lock<std::mutex>& lock, OutputSlot& scratch,
                        PictureState& pictures);
    void work();

    const RecordConversion& conversion_;
    std::vector<std::unique_ptr<Block>> blocks_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable work_ready_;  // a block was filled, or the work ends
    std::condition_variable block_done_;  // a block was converted
    std::vector<Block*> queue_;           // filled blocks, oldest first
    std::size_t queue_front_ = 0;
    bool stop_ = false;
};

bool Pipeline::fill(Block& block, TwoPortReader& reader, LoopResult& result) const {
    block.texts.clear();
    block.entries.clear();
    block.output.clear();
    block.broken_at = Block::no_broken_record;
    TwoPortText text;
    while (block.entries.size() < records_per_block && block.texts.size() < text_bytes_per_block) {
        if (!take_next(reader, conversion_, text, result)) return false;
        Block::Entry e;
        e.frequency_size = text.frequency_text.size();
        e.frequency_at = append(block.texts, text.frequency_text);
        e.forward_size = text.forward.size();
        e.forward_at = append(block.texts, text.forward);
        e.reverse_size = text.reverse.size();
        e.reverse_at = append(block.texts, text.reverse);
        e.impedances = text.impedances;
        e.forward_line = text.forward_line;
        e.reverse_line = text.reverse_line;
        block.entries.push_back(e);
    }
    return true;
}

void Pipeline::convert(Block& block, OutputSlot& scratch, PictureState& pictures) const {
    for (std::size_t i = 0; i < block.entries.size(); ++i) {
        if (!conversion_.convert(block.text_of(block.entries[i]), scratch, pictures, block.broken)) {
            block.broken_at = i;
            break;
        }
    }
    scratch.take_memory(block.output);
}

void Pipeline::work() {
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

void Pipeline::convert_oldest(std::unique_lock<std::mutex>& lock, OutputSlot& scratch,
                              PictureState& pictures) {
    Block* const block = queue_[queue_front_++];
    block->state = Block::State::computing;
    lock.unlock();
    convert(*block, scratch, pictures);
    lock.lock();
    block->state = Block::State::done;
    block_done_.notify_one();
}

LoopResult Pipeline::run(TwoPortReader& reader, OutputSlot& output, LoopResult result) {
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
            lock.lock();
            if (next.broken_at != Block::no_broken_record) {
                result.end = LoopEnd::record_broken;
                result.broken =
                    broken_record(next.text_of(next.entries[next.broken_at]), next.broken);
                return result;
            }
            next.state = Block::State::free;
            ++written;
            // Stop at once on a full disk rather than compute what cannot be written.
            if (output.failed()) {
                result.end = LoopEnd::write_failed;
                return result;
            }
        }
        if (!input_ended && block(filled).state == Block::State::free) {
            Block& next = block(filled);
            lock.unlock();
            input_ended = !fill(next, reader, result);
            lock.lock();
            // What is left unwritten would make the file look complete: stop here.
            if (result.end != LoopEnd::complete) return result;
            if (next.entries.empty()) continue;
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

}  // namespace

bool RecordConversion::convert(const TwoPortText& text, OutputSlot& output,
                               PictureState& pictures, BrokenTwoPort& broken) const {
    TwoPort s;
    if (!take_two_port(text, layout, s, broken)) return false;
    format.to_ri(s);
    TwoPort result;
    if (!change.apply(s, text.impedances, result)) {
        broken = {FileRole::forward, -1};
        return false;
    }
    format.from_ri(result);
    write_data_record(output, pictures, text.frequency_text, format, result);
    return true;
}

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

LoopResult run_record_loop(TwoPortReader& reader, const RecordConversion& conversion,
                           OutputSlot& output, const LoopThreads& threads) {
    PictureState pictures;
    LoopResult result;
    TwoPortText text;
    while (threads.count <= 1 || result.records < threads.start_after) {
        if (!take_next(reader, conversion, text, result)) return result;
        BrokenTwoPort broken;
        if (!conversion.convert(text, output, pictures, broken)) {
            result.end = LoopEnd::record_broken;
            result.broken = broken_record(text, broken);
            return result;
        }
        // Stop at once on a full disk rather than compute what cannot be written.
        if (output.failed()) {
            result.end = LoopEnd::write_failed;
            return result;
        }
    }
    Pipeline pipeline(conversion, threads.count);
    return pipeline.run(reader, output, result);
}

}  // namespace tavrin
