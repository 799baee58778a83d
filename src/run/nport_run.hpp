// The conversion of a file of any port count but two: its records read by count, renormalised
// by the N-port solve and written row by row.
#pragma once

#include <span>

#include "network/port_renormalise.hpp"
#include "network/record_observer.hpp"
#include "run/driver.hpp"
#include "run/mode_plan.hpp"
#include "run/loop_threads.hpp"
#include "support/file_slots.hpp"
#include "touchstone/nport_reader.hpp"

namespace tavrin {

struct NPortPlan {
    int ports = 0;
    std::span<const double> z_new;  // one value, or one per port
    std::optional<WaveDefinition> waves;  // --waves, over the file's own statement
    // The body of a Touchstone 2.0 output: the records only; the header, which counts them,
    // and '[End]' are the caller's.
    bool version_2 = false;
    ModeRequest modes;
    LoopThreads threads;  // for the record loop
    RecordObserver* observer = nullptr;  // handed every record written, where there is one
};

// Reads the header on from where the reader stands (its read_header done), then every record,
// mixed-mode data too (see settle_modes).
// The failure names the input as FileRole::forward and the output as FileRole::output.
Failure convert_nport_file(NPortReader& reader, NPortHeader& header, const NPortPlan& plan,
                           OutputSlot& output, RunReport& report);

}  // namespace tavrin
