// The record loop: every two-port of the input, converted and written in file order, on one
// thread or spread over several.
#pragma once

#include "network/record_observer.hpp"
#include "network/reference_change.hpp"
#include "network/renormalise.hpp"
#include "run/loop_threads.hpp"
#include "support/file_slots.hpp"
#include "text/picture.hpp"
#include "touchstone/data_format.hpp"
#include "touchstone/record_reader.hpp"

namespace tavrin {

// One two-port from its texts to its output line: read the numbers, to real/imaginary form,
// renormalise, back to the file's format, write.
struct RecordConversion {
    const FormatDescriptor& format;
    ReferenceChange change;
    TwoPortLayout layout;

    // False, writing nothing, for a record whose numbers no two-port line holds.
    bool convert(const TwoPortText& text, OutputSlot& output, PictureState& pictures,
                 BrokenTwoPort& broken) const;
    // The same, also giving the two-port in real/imaginary form as read and as written.
    bool convert(const TwoPortText& text, OutputSlot& output, PictureState& pictures,
                 BrokenTwoPort& broken, TwoPort& read, TwoPort& written) const;
};

enum class LoopEnd {
    complete,           // the forward data ended
    input_problem,      // the reader's problem(): a reverse record missing, a comment...
    reference_refused,  // a record's own references cannot define the waves
    record_broken,      // a record holds a count of numbers no two-port line has
    write_failed,
};

struct LoopResult {
    LoopEnd end = LoopEnd::complete;
    unsigned long long records = 0;  // two-ports read (and, when complete, written)
    Failure broken;                  // the broken record, where end says so
};

// Converts and writes every two-port the reader gives, in file order; stops at once when the
// output cannot be written. The bytes written are the same whatever the thread count. An
// observer, where there is one, is handed each record written, in file order, on the calling
// thread.
LoopResult run_record_loop(TwoPortReader& reader, const RecordConversion& conversion,
                           OutputSlot& output, const LoopThreads& threads,
                           RecordObserver* observer = nullptr);

}  // namespace tavrin
