// The record loop: every two-port of the input, converted and written in file order, on one
// thread or spread over several.
#pragma once

#include "network/renormalise.hpp"
#include "support/file_slots.hpp"
#include "text/picture.hpp"
#include "touchstone/data_format.hpp"
#include "touchstone/record_reader.hpp"

namespace tavrin {

// One two-port from its texts to its output line: read the numbers, to real/imaginary form,
// renormalise, back to the file's format, write.
struct RecordConversion {
    const FormatDescriptor& format;
    Complex gamma;
    TwoPortLayout layout;

    void convert(const TwoPortText& text, OutputSlot& output, PictureState& pictures) const;
};

// How many threads share the per-record work, and from when. One thread is the plain loop.
struct LoopThreads {
    unsigned count = 1;
    // Records converted on the calling thread before the others start: a small file is done
    // before starting threads would pay off.
    unsigned long long start_after = 0;
};

// TAVRIN_THREADS=N (1 to 64) when set, with threads from the first record; otherwise the
// machine's cores, once a file has shown itself large.
LoopThreads loop_threads_from_environment();

enum class LoopEnd {
    complete,    // the forward data ended
    mismatched,  // two-file mode: the reverse file lacks the forward record's frequency
    write_failed,
};

// Converts and writes every two-port the reader gives, in file order; stops at once when the
// output cannot be written. The bytes written are the same whatever the thread count.
LoopEnd run_record_loop(TwoPortReader& reader, const RecordConversion& conversion,
                        OutputSlot& output, const LoopThreads& threads);

}  // namespace tavrin
