#include "run/record_loop.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "run/pipeline.hpp"
#include "touchstone/output_record.hpp"

namespace tavrin {

namespace {

// A block holds this many records at most, or about this many bytes of their texts: small
// enough that the blocks in flight stay a few megabytes, large enough to make the hand-over
// between threads rare.
constexpr std::size_t records_per_block = 1024;
constexpr std::size_t text_bytes_per_block = 256 * 1024;

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

// What an observer is handed of each two-port: the elements it asked for, from S11, S21, S12
// and S22 as read and as written.
class TwoPortWatch {
public:
    explicit TwoPortWatch(RecordObserver& observer) : observer_(observer) {
        // Row-major, as the observer counts them: S11, S12, S21, S22.
        constexpr Complex TwoPort::*elements[4] = {&TwoPort::s11, &TwoPort::s12, &TwoPort::s21,
                                                  &TwoPort::s22};
        for (const std::size_t element : observer.begin(2, nullptr)) {
            if (element < 4 && count_ < 4) watched_[count_++] = elements[element];
        }
    }

    void deliver(double frequency, const TwoPort& read, const TwoPort& written) {
        for (std::size_t k = 0; k < count_; ++k) {
            values_[k] = read.*watched_[k];
            values_[count_ + k] = written.*watched_[k];
        }
        observer_.record(frequency, values_);
    }

private:
    RecordObserver& observer_;
    Complex TwoPort::*watched_[4] = {};
    std::size_t count_ = 0;
    Complex values_[8];  // as read, then as written
};

// A two-port kept for an observer, from the thread that converted it to the one that writes.
struct KeptTwoPort {
    double frequency = 0.0;
    TwoPort read;
    TwoPort written;
};

// One record converted and written; with an observer, what it is handed is kept (its
// frequency is the reader's, kept when the record was read).
template <bool watched>
bool convert_record(const RecordConversion& conversion, const TwoPortText& text,
                    OutputSlot& output, PictureState& pictures, BrokenTwoPort& broken,
                    KeptTwoPort* kept) {
    if constexpr (watched) {
        return conversion.convert(text, output, pictures, broken, kept->read, kept->written);
    } else {
        (void)kept;
        return conversion.convert(text, output, pictures, broken);
    }
}

// The two-port loop's share of the pipeline: blocks of consecutive two-ports, their texts as
// the reader chose them.
template <bool watched>
class TwoPortWork {
public:
    struct Batch {
        struct Entry {
            std::size_t frequency_at, frequency_size;
            std::size_t forward_at, forward_size;
            std::size_t reverse_at, reverse_size;
            PortImpedances impedances;
            long long forward_line, reverse_line;
        };
        std::string texts;
        std::vector<Entry> entries;
        std::vector<KeptTwoPort> kept;  // with an observer: one per entry
        // The first record of the block that could not be converted; the output ends before it.
        std::size_t broken_at = no_broken_record;
        BrokenTwoPort broken;

        static constexpr std::size_t no_broken_record = static_cast<std::size_t>(-1);

        TwoPortText text_of(const Entry& e) const {
            const std::string_view all = texts;
            return {all.substr(e.frequency_at, e.frequency_size),
                    all.substr(e.forward_at, e.forward_size),
                    all.substr(e.reverse_at, e.reverse_size), e.impedances, e.forward_line,
                    e.reverse_line};
        }
    };

    TwoPortWork(TwoPortReader& reader, const RecordConversion& conversion, TwoPortWatch* watch)
        : reader_(reader), conversion_(conversion), watch_(watch) {}

    bool fill(Batch& batch, LoopResult& result) {
        batch.texts.clear();
        batch.entries.clear();
        if constexpr (watched) batch.kept.clear();
        batch.broken_at = Batch::no_broken_record;
        TwoPortText text;
        while (batch.entries.size() < records_per_block &&
               batch.texts.size() < text_bytes_per_block) {
            if (!take_next(reader_, conversion_, text, result)) return false;
            typename Batch::Entry e;
            e.frequency_size = text.frequency_text.size();
            e.frequency_at = append(batch.texts, text.frequency_text);
            e.forward_size = text.forward.size();
            e.forward_at = append(batch.texts, text.forward);
            e.reverse_size = text.reverse.size();
            e.reverse_at = append(batch.texts, text.reverse);
            e.impedances = text.impedances;
            e.forward_line = text.forward_line;
            e.reverse_line = text.reverse_line;
            batch.entries.push_back(e);
            if constexpr (watched) batch.kept.push_back({reader_.frequency(), {}, {}});
        }
        return true;
    }

    bool empty(const Batch& batch) const { return batch.entries.empty(); }

    void convert(Batch& batch, OutputSlot& scratch, PictureState& pictures) const {
        for (std::size_t i = 0; i < batch.entries.size(); ++i) {
            if (!convert_record<watched>(conversion_, batch.text_of(batch.entries[i]), scratch,
                                         pictures, batch.broken,
                                         watched ? &batch.kept[i] : nullptr)) {
                batch.broken_at = i;
                break;
            }
        }
    }

    // On the calling thread, once the block is written.
    void deliver(const Batch& batch) const {
        if constexpr (watched) {
            const std::size_t end = std::min(batch.entries.size(), batch.broken_at);
            for (std::size_t i = 0; i < end; ++i) {
                const KeptTwoPort& kept = batch.kept[i];
                watch_->deliver(kept.frequency, kept.read, kept.written);
            }
        } else {
            (void)batch;
        }
    }

    bool broken(const Batch& batch, LoopResult& result) const {
        if (batch.broken_at == Batch::no_broken_record) return false;
        result.end = LoopEnd::record_broken;
        result.broken = broken_record(batch.text_of(batch.entries[batch.broken_at]), batch.broken);
        return true;
    }

private:
    TwoPortReader& reader_;
    const RecordConversion& conversion_;
    TwoPortWatch* watch_;
};

// The record loop, for a conversion watched or not: on the calling thread alone for a small
// file, then spread over the threads.
template <bool watched>
LoopResult run_loop(TwoPortReader& reader, const RecordConversion& conversion,
                    OutputSlot& output, const LoopThreads& threads, TwoPortWatch* watch) {
    PictureState pictures;
    LoopResult result;
    TwoPortText text;
    KeptTwoPort kept;
    while (threads.count <= 1 || result.records < threads.start_after) {
        if (!take_next(reader, conversion, text, result)) return result;
        if constexpr (watched) kept.frequency = reader.frequency();
        BrokenTwoPort broken;
        if (!convert_record<watched>(conversion, text, output, pictures, broken,
                                     watched ? &kept : nullptr)) {
            result.end = LoopEnd::record_broken;
            result.broken = broken_record(text, broken);
            return result;
        }
        if constexpr (watched) watch->deliver(kept.frequency, kept.read, kept.written);
        // Stop at once on a full disk rather than compute what cannot be written.
        if (output.failed()) {
            result.end = LoopEnd::write_failed;
            return result;
        }
    }
    TwoPortWork<watched> work(reader, conversion, watched ? watch : nullptr);
    Pipeline<TwoPortWork<watched>> pipeline(work, threads);
    return pipeline.run(output, result);
}

// Both conversions of a record; keep sees the two-port as read and as written, in
// real/imaginary form.
template <class Keep>
bool convert_and_keep(const RecordConversion& c, const TwoPortText& text, OutputSlot& output,
                      PictureState& pictures, BrokenTwoPort& broken, Keep keep) {
    TwoPort s;
    if (!take_two_port(text, c.layout, s, broken)) return false;
    c.format.to_ri(s);
    TwoPort result;
    if (!c.change.apply(s, text.impedances, result)) {
        broken = {FileRole::forward, -1};
        return false;
    }
    keep(s, result);
    c.format.from_ri(result);
    write_data_record(output, pictures, text.frequency_text, c.format, result);
    return true;
}

}  // namespace

bool RecordConversion::convert(const TwoPortText& text, OutputSlot& output,
                               PictureState& pictures, BrokenTwoPort& broken) const {
    return convert_and_keep(*this, text, output, pictures, broken,
                            [](const TwoPort&, const TwoPort&) {});
}

bool RecordConversion::convert(const TwoPortText& text, OutputSlot& output,
                               PictureState& pictures, BrokenTwoPort& broken, TwoPort& read,
                               TwoPort& written) const {
    return convert_and_keep(*this, text, output, pictures, broken,
                            [&](const TwoPort& s, const TwoPort& result) {
                                read = s;
                                written = result;
                            });
}

LoopResult run_record_loop(TwoPortReader& reader, const RecordConversion& conversion,
                           OutputSlot& output, const LoopThreads& threads,
                           RecordObserver* observer) {
    // Unwatched, the loop keeps nothing and does nothing more per record than it always has.
    if (observer == nullptr) return run_loop<false>(reader, conversion, output, threads, nullptr);
    TwoPortWatch watch(*observer);
    return run_loop<true>(reader, conversion, output, threads, &watch);
}

}  // namespace tavrin
