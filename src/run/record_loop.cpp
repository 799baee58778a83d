#include "run/record_loop.hpp"

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

// The two-port loop's share of the pipeline: blocks of consecutive two-ports, their texts as
// the reader chose them.
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

    TwoPortWork(TwoPortReader& reader, const RecordConversion& conversion)
        : reader_(reader), conversion_(conversion) {}

    bool fill(Batch& batch, LoopResult& result) {
        batch.texts.clear();
        batch.entries.clear();
        batch.broken_at = Batch::no_broken_record;
        TwoPortText text;
        while (batch.entries.size() < records_per_block &&
               batch.texts.size() < text_bytes_per_block) {
            if (!take_next(reader_, conversion_, text, result)) return false;
            Batch::Entry e;
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
        }
        return true;
    }

    bool empty(const Batch& batch) const { return batch.entries.empty(); }

    void convert(Batch& batch, OutputSlot& scratch, PictureState& pictures) const {
        for (std::size_t i = 0; i < batch.entries.size(); ++i) {
            if (!conversion_.convert(batch.text_of(batch.entries[i]), scratch, pictures,
                                     batch.broken)) {
                batch.broken_at = i;
                break;
            }
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
};

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
    TwoPortWork work(reader, conversion);
    Pipeline<TwoPortWork> pipeline(work, threads);
    return pipeline.run(output, result);
}

}  // namespace tavrin
