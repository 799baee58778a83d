#include "run/nport_run.hpp"

#include <algorithm>
#include <vector>

#include "network/mixed_mode.hpp"
#include "network/nport_renormalise.hpp"
#include "run/pipeline.hpp"
#include "run/record_loop.hpp"
#include "text/number_text.hpp"
#include "touchstone/nport_output.hpp"
#include "touchstone/option_line.hpp"

namespace tavrin {

namespace {

Failure in_input(Failure failure) {
    if (failure.file == FileRole::none) failure.file = FileRole::forward;
    return failure;
}

Failure record_failure(Cause cause, const NPortRecord& record) {
    return failure_of(cause, FileRole::forward, record.line, record.frequency_text);
}

std::string impedances_text(const std::vector<Complex>& z) {
    std::string text;
    for (const Complex& value : z) {
        if (!text.empty()) text += ", ";
        text += canonical_number_text(value.re) + (value.im < 0 ? "-j" : "+j") +
                canonical_number_text(value.im < 0 ? -value.im : value.im);
    }
    return text;
}

void apply_format(void (*convert)(Complex&), std::vector<Complex>& s) {
    if (convert == nullptr) return;
    for (Complex& pair : s) convert(pair);
}

// What each record of a file goes through: its references (fixed, or the record's own), the
// solve with the changes of basis of mixed-mode data around it, and the output line. Shared,
// read only, by the threads of the pipeline.
struct NPortConversion {
    const FormatDescriptor& format;
    std::size_t ports;
    WaveDefinition waves;
    std::vector<double> z_new;
    bool per_record = false;
    NPortRenormalisation fixed;  // where the references are the file's
    ModeChange modes;
    // What is watched of it: the modes written (none where single-ended), and the change that
    // shows the records as read in those modes (none where they are read in them).
    std::optional<ModeOrder> written_modes;
    ModeChange shown_as_written;
};

// The N-port loop's share of the pipeline: blocks of consecutive records, read and parsed on
// the calling thread, renormalised and written out on any. Watched, each block also keeps what
// the observer is handed of its records, which the calling thread delivers once it is written.
template <bool watched>
class NPortWork {
public:
    struct Batch {
        std::vector<NPortRecord> records;  // reused with their storage, record by record
        std::size_t count = 0;
        std::size_t broken_at = 0;  // count when none is
        Failure failure;
        // Each block converts with its own storage, whichever thread takes it.
        NPortRenormalisation change;
        ModeWorkspace workspace;
        std::vector<Complex> result;
        // Watched: each record's frequency, and its watched elements as read then as written.
        std::vector<double> kept_frequencies;
        std::vector<Complex> kept;
        std::vector<Complex> read_as_written;  // a record as read, in the modes written
    };

    NPortWork(NPortReader& reader, const NPortConversion& conversion, RecordObserver* observer)
        : reader_(reader), conversion_(conversion), observer_(observer) {
        if constexpr (watched) {
            const std::size_t elements = conversion.ports * conversion.ports;
            const ModeOrder* const modes =
                conversion.written_modes ? &*conversion.written_modes : nullptr;
            for (const std::size_t element : observer->begin(conversion.ports, modes)) {
                if (element < elements) watched_.push_back(element);
            }
        }
        // Blocks of about this many matrix elements, a few megabytes in flight at most.
        constexpr std::size_t elements_per_block = 16384;
        const std::size_t elements = conversion.ports * conversion.ports;
        records_per_block_ = elements >= elements_per_block ? 1 : elements_per_block / elements;
        if (records_per_block_ > 1024) records_per_block_ = 1024;
    }

    bool fill(Batch& batch, LoopResult& result) {
        if (batch.records.size() < records_per_block_) batch.records.resize(records_per_block_);
        batch.count = 0;
        batch.broken_at = records_per_block_;
        while (batch.count < records_per_block_) {
            if (!reader_.next_record(batch.records[batch.count])) {
                if (reader_.problem()) result.end = LoopEnd::input_problem;
                return false;
            }
            ++batch.count;
            ++result.records;
        }
        return true;
    }

    bool empty(const Batch& batch) const { return batch.count == 0; }

    void convert(Batch& batch, OutputSlot& output, PictureState& pictures) const {
        const NPortConversion& c = conversion_;
        // Sized by the records read, never by the port count alone.
        if (batch.count == 0) return;
        batch.result.resize(c.ports * c.ports);
        if constexpr (watched) {
            batch.kept_frequencies.resize(batch.count);
            batch.kept.resize(batch.count * 2 * watched_.size());
        }
        for (std::size_t i = 0; i < batch.count; ++i) {
            NPortRecord& record = batch.records[i];
            if (c.per_record) {
                if (!nport_references_usable(record.impedances, c.waves, c.z_new)) {
                    batch.failure = record_failure(Cause::port_impedance_not_usable, record);
                    batch.failure.subject = impedances_text(record.impedances);
                    batch.failure.other = std::string(wave_definition_name(c.waves));
                    batch.broken_at = i;
                    return;
                }
                prepare_nport_renormalisation(record.impedances, c.waves, c.z_new, batch.change);
            }
            apply_format(c.format.pair_to_ri, record.s);
            if (!renormalise_with_modes(record.s.data(), c.modes,
                                        c.per_record ? batch.change : c.fixed, batch.workspace,
                                        batch.result.data())) {
                batch.failure = record_failure(Cause::network_singular, record);
                batch.broken_at = i;
                return;
            }
            if constexpr (watched) keep(batch, i, record);
            apply_format(c.format.pair_from_ri, batch.result);
            write_nport_record(output, pictures, record.frequency_text, c.format,
                               batch.result.data(), c.ports);
        }
    }

    bool broken(const Batch& batch, LoopResult& result) const {
        if (batch.broken_at >= batch.count) return false;
        result.end = LoopEnd::record_broken;
        result.broken = batch.failure;
        return true;
    }

    // On the calling thread, once the block is written.
    void deliver(const Batch& batch) const {
        if constexpr (watched) {
            const std::size_t count = watched_.size();
            const std::size_t end = std::min(batch.count, batch.broken_at);
            for (std::size_t i = 0; i < end; ++i) {
                observer_->record(batch.kept_frequencies[i], batch.kept.data() + i * 2 * count);
            }
        } else {
            (void)batch;
        }
    }

private:
    // The record's watched elements, in real/imaginary form, as read and as written.
    void keep(Batch& batch, std::size_t i, const NPortRecord& record) const {
        const std::size_t count = watched_.size();
        Complex* const read = batch.kept.data() + i * 2 * count;
        const ModeChange& shown = conversion_.shown_as_written;
        const Complex* as_read = record.s.data();
        if (shown.from_modes || shown.to_modes) {
            batch.read_as_written.resize(record.s.size());
            change_modes(record.s.data(), conversion_.ports, shown, batch.workspace,
                         batch.read_as_written.data());
            as_read = batch.read_as_written.data();
        }
        for (std::size_t k = 0; k < count; ++k) {
            read[k] = as_read[watched_[k]];
            read[count + k] = batch.result[watched_[k]];
        }
        batch.kept_frequencies[i] = record.frequency;
    }

    NPortReader& reader_;
    const NPortConversion& conversion_;
    RecordObserver* observer_;
    std::vector<std::size_t> watched_;
    std::size_t records_per_block_ = 1;
};

// Every record, in file order: on the calling thread alone for a small file, then spread over
// the threads, to the same bytes.
template <bool watched>
LoopResult run_nport_loop(NPortWork<watched>& work, OutputSlot& output,
                          const LoopThreads& threads) {
    LoopResult result;
    typename NPortWork<watched>::Batch batch;
    PictureState pictures;
    while (threads.count <= 1 || result.records < threads.start_after) {
        const bool more = work.fill(batch, result);
        work.convert(batch, output, pictures);
        work.deliver(batch);
        if (work.broken(batch, result)) return result;
        if (output.failed()) {
            result.end = LoopEnd::write_failed;
            return result;
        }
        if (!more) return result;
    }
    Pipeline<NPortWork<watched>> pipeline(work, threads);
    return pipeline.run(output, result);
}

}  // namespace

Failure convert_nport_file(NPortReader& reader, NPortHeader& header, const NPortPlan& plan,
                           OutputSlot& output, RunReport& report) {
    const std::size_t ports = static_cast<std::size_t>(plan.ports);
    report.ports = ports;
    if (header.refusal) return in_input(header.refusal);
    const OptionLine option = read_option_line(header.option_line);
    if (option.other_parameters) {
        return failure_of(Cause::other_parameters, FileRole::forward, header.option_line_number,
                          option.text);
    }
    reader.begin_records(plan.ports, header);
    NPortReferences references;
    if (Failure failure = read_nport_references(option, header, ports, references)) {
        return in_input(failure);
    }
    std::vector<double> z_new(ports, plan.z_new.front());
    if (plan.z_new.size() == ports) {
        z_new.assign(plan.z_new.begin(), plan.z_new.end());
    } else if (plan.z_new.size() != 1) {
        Failure failure = failure_of(Cause::new_reference_count);
        failure.subject.clear();
        for (const double z : plan.z_new) {
            if (!failure.subject.empty()) failure.subject += ',';
            failure.subject += canonical_number_text(z);
        }
        failure.other = std::to_string(ports);
        return failure;
    }
    const WaveDefinition waves =
        plan.waves.value_or(header.waves.value_or(WaveDefinition::traveling));
    const bool per_record = references.kind == NPortReferences::Kind::per_frequency;
    report.format_name = option.format != nullptr ? option.format->name : "";
    report.waves = waves;
    report.z_new = z_new.front();
    report.references.kind = per_record ? StatedReferences::Kind::per_frequency
                                        : StatedReferences::Kind::one;
    if (!per_record) {
        report.from_each = references.values;
        report.references.values[0] = references.values.front();
    }
    for (const double z : z_new) {
        if (z != z_new.front()) report.z_new_each = z_new;
    }

    NPortConversion conversion{*option.format, ports, waves, z_new, per_record, {}, {}, {}, {}};
    if (Failure failure = settle_modes(header, plan.modes, plan.version_2, references, z_new,
                                       conversion.modes, report)) {
        return failure;
    }
    if (report.output_modes) conversion.written_modes = report.output_modes->order;
    // Read in other modes than written (or single-ended), the records are shown in the modes
    // written; read in the very modes written, as they are.
    const bool same_modes = report.input_modes && report.output_modes &&
                            report.input_modes->order == report.output_modes->order;
    if (!same_modes) conversion.shown_as_written = conversion.modes;
    if (!per_record) {
        std::vector<Complex> z_old(ports);
        for (std::size_t i = 0; i < ports; ++i) z_old[i] = {references.values[i], 0.0};
        prepare_nport_renormalisation(z_old, waves, z_new, conversion.fixed);
    }
    // The option line's value is replaced whatever it is when port impedances decide.
    const double replaced = per_record ? option.z_old : references.values.front();
    const std::string option_line = rewrite_option_line(option, replaced, z_new.front());
    report.option_line = option_line;
    if (!plan.version_2) {
        output.write(option_line);
        output.write_line_end();
    }

    LoopResult loop;
    if (plan.observer == nullptr) {
        NPortWork<false> work(reader, conversion, nullptr);
        loop = run_nport_loop(work, output, plan.threads);
    } else {
        NPortWork<true> work(reader, conversion, plan.observer);
        loop = run_nport_loop(work, output, plan.threads);
    }
    report.records = loop.records;
    if (loop.end == LoopEnd::record_broken) return loop.broken;
    if (reader.problem()) return in_input(reader.problem());
    return refuse_noise_with_modes(reader, report);
}

}  // namespace tavrin
