// The reference impedances a file states for its data: on its option line, in '[Reference]',
// in port impedance comments after each record, or nowhere at all.
#pragma once

#include "support/failure.hpp"
#include "touchstone/option_line.hpp"
#include "touchstone/record_reader.hpp"

namespace tavrin {

struct StatedReferences {
    enum class Kind {
        one,            // one real reference for both ports
        per_port,       // a real reference for each port
        per_frequency,  // port impedance comments with every record
    };
    Kind kind = Kind::one;
    double values[2] = {50.0, 50.0};  // for one and per_port
    // The real reference the noise parameters are given for: port 1's, as '[Reference]' or
    // the option line states it, 50 when neither does.
    double noise_reference = 50.0;
};

// Which statement decides: port impedance comments over '[Reference]' over the option line's
// "R " (the value written there counts only then), and 50 ohms when a file states nothing,
// except that a file saying its data is not renormalised must state its references. Each real
// value that decides must be a finite number above 0. The failure names the file's line; its
// file role is the caller's to set.
Failure read_stated_references(const OptionLine& option, const FileHeader& header,
                               StatedReferences& stated);

}  // namespace tavrin
