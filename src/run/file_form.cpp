#include "run/file_form.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "plot/conversion_picture.hpp"
#include "run/diagnostics.hpp"
#include "run/driver.hpp"
#include "run/file_pool.hpp"
#include "run/nport_run.hpp"
#include "run/output_order.hpp"
#include "run/picture_caption.hpp"
#include "support/file_identity.hpp"
#include "support/removed_on_interrupt.hpp"
#include "support/text.hpp"
#include "touchstone/nport_output.hpp"
#include "touchstone/nport_reader.hpp"

namespace tavrin {

namespace {

constexpr std::string_view standard_stream = "-";

struct Job {
    std::string input;
    std::string output;
    bool from_stdin = false;
    bool mixed_mode_input = false;  // its header holds '[Mixed-Mode Order]' (files only)
    bool to_stdout = false;
    std::string picture;  // --plot: where the picture goes; empty without
};

// A random tag per name, from a generator each thread seeds once from the system's source:
// opened per file, that source is a file or a system call each time on some systems.
unsigned long long random_tag() {
    thread_local std::mt19937_64 generator = [] {
        std::random_device random;
        std::seed_seq seed{random(), random(), random(), random()};
        return std::mt19937_64(seed);
    }();
    return generator();
}

// The name beside the final one that a conversion writes to, so that the final name holds
// either its old contents or a complete new file, never a partial one.
std::string part_name(const std::string& output) {
    const unsigned long long tag = random_tag();
    std::string hex;
    for (int shift = 60; shift >= 0; shift -= 4) hex += "0123456789abcdef"[(tag >> shift) & 15];
    return output + "." + hex + ".tavrin-part";
}

bool is_folder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

Failure output_failure(Cause cause, int system_error = 0, FileRole file = FileRole::output) {
    Failure failure = failure_of(cause, file);
    failure.system_error = system_error;
    return failure;
}

// The output must not be an input of the run, by name or by the file it reaches.
Failure check_output(const Job& job, const std::vector<FileIdentity>& inputs,
                     const std::vector<std::string>& input_names) {
    if (job.to_stdout) return {};
    for (const std::string& name : input_names) {
        if (name == job.output) return output_failure(Cause::output_names_input);
    }
    const FileIdentity output = identity_of_path(job.output);
    for (const FileIdentity& input : inputs) {
        if (output.same_as(input)) return output_failure(Cause::output_reaches_input);
    }
    if (is_folder(job.output)) return output_failure(Cause::cannot_create_output, EISDIR);
    return {};
}

// Nor may the picture be an input, or the output it shows.
Failure check_picture(const Job& job, const std::vector<FileIdentity>& inputs,
                      const std::vector<std::string>& input_names) {
    if (job.picture.empty()) return {};
    const auto refused = [](Cause cause, int error = 0) {
        return output_failure(cause, error, FileRole::picture);
    };
    for (const std::string& name : input_names) {
        if (name == job.picture) return refused(Cause::picture_names_input);
    }
    if (!job.to_stdout && job.picture == job.output) return refused(Cause::picture_is_output);
    const FileIdentity picture = identity_of_path(job.picture);
    for (const FileIdentity& input : inputs) {
        if (picture.same_as(input)) return refused(Cause::picture_reaches_input);
    }
    if (!job.to_stdout && picture.same_as(identity_of_path(job.output))) {
        return refused(Cause::picture_is_output);
    }
    if (is_folder(job.picture)) return refused(Cause::cannot_create_output, EISDIR);
    return {};
}

// What replacing an existing output must keep. A link goes on naming its file, which is the one
// replaced; that file's permissions carry over; and a file the user may not write is refused,
// as the four-argument form refuses it, rather than replaced behind the user's back.
struct OutputPlace {
    std::string path;
    std::optional<std::filesystem::perms> permissions;
};

Failure place_of_output(const std::string& output, OutputPlace& place,
                        FileRole file = FileRole::output) {
    namespace fs = std::filesystem;
    std::error_code error;
    place.path = output;
    if (fs::is_symlink(output, error)) {
        const fs::path target = fs::canonical(output, error);
        if (!error) place.path = target.string();
    }
    const fs::file_status status = fs::status(place.path, error);
    if (error || !fs::is_regular_file(status)) return {};
    std::FILE* probe = std::fopen(place.path.c_str(), "ab");  // appends nothing; tests the right
    if (probe == nullptr) return output_failure(Cause::cannot_create_output, errno, file);
    std::fclose(probe);
    place.permissions = status.permissions();
    return {};
}

// Where the port count comes from before the file is read: --ports and the extension, which
// must agree.
Failure port_count_given(const Job& job, int option_ports, int& ports) {
    const int named = job.from_stdin ? 0 : ports_from_extension(job.input);
    if (option_ports != 0 && named != 0 && option_ports != named) {
        Failure failure = failure_of(Cause::ports_disagree, FileRole::forward, 0,
                                     std::to_string(named));
        failure.other = "--ports " + std::to_string(option_ports);
        return failure;
    }
    ports = option_ports != 0 ? option_ports : named;
    if (ports == 0 && job.from_stdin) return failure_of(Cause::ports_unknown, FileRole::forward);
    return {};
}

bool new_references_differ(const std::vector<double>& to) {
    for (const double z : to) {
        if (z != to.front()) return true;
    }
    return false;
}

// A two-port file by the two-port conversion, which gives the four-argument form's bytes.
Failure convert_two_port(const Job& job, const FileForm& files, const RunOptions& options,
                         bool version_2, FileSlots& slots, RunReport& report,
                         RecordObserver* observer) {
    if (files.to.size() > 2) {
        Failure failure = failure_of(Cause::new_reference_count, FileRole::none, 0, files.to_text);
        failure.other = std::to_string(2);  // a two-port file
        return failure;
    }
    TwoPortPlan plan;
    plan.z_new[0] = files.to.front();
    plan.z_new[1] = files.to.back();
    plan.version_2 = version_2;
    plan.observer = observer;
    RunInputs run{job.input, job.input, job.output, plan.z_new[0], true};
    process_run(run, options, slots, report, &plan);
    if (plan.z_new[0] != plan.z_new[1]) report.z_new_each.assign(plan.z_new, plan.z_new + 2);
    if (report.failure.cause == Cause::ports_not_two) {
        // Said of the file form as a disagreement: the name asked for two ports.
        report.failure.cause = Cause::ports_disagree;
        report.failure.other = "the file name";
    }
    if (report.failure.cause == Cause::mixed_mode) {
        // A file would have been read as mixed-mode data; a stream cannot be read again.
        report.failure.cause = Cause::mixed_mode_from_stream;
        report.failure.line = 0;
    }
    return report.failure;
}

// Whether a text has a '[' before an M (of '[Mixed-Mode Order]', in any case, blanks or tabs
// between): without one it cannot hold the keyword.
bool may_name_mixed_mode(std::string_view text) {
    for (std::size_t at = text.find('['); at != std::string_view::npos; at = text.find('[', at)) {
        ++at;
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        if (at < text.size() && (text[at] == 'M' || text[at] == 'm')) return true;
    }
    return false;
}

// Whether an input's header holds '[Mixed-Mode Order]', which decides its output's form before
// anything is written. Only a regular file can be read for that before it is converted: a
// stream says no here, and is refused later if it does hold mixed-mode data. It is read from
// what the open input has read ahead, which holds any header but one of more than 64 KiB;
// such a file is read once more from its start.
bool holds_mixed_mode_data(InputSlot& input, const Job& job) {
    if (!input.identity().regular) return false;
    bool whole = false;
    const std::string_view block = input.peek(whole);
    // Most files are told so without being parsed.
    if (whole && !may_name_mixed_mode(block)) return false;
    InputSlot ahead;
    ahead.open_memory(block);
    const auto read = [](InputSlot& from, bool& complete) {
        NPortReader reader(from, 0);
        NPortHeader header;
        const bool found = reader.read_header(header);
        // The reader stops at the first record: lines after it mean the header ended before.
        complete = found && !from.at_end();
        return header.modes_line != 0;
    };
    bool complete = false;
    if (read(ahead, complete)) return true;
    if (whole || complete || job.from_stdin) return false;
    InputSlot again;
    return again.open(job.input) && read(again, complete);
}

// Mixed-mode data is always written as a Touchstone 2.0 file, whatever the output's name.
bool writes_mixed_mode(const Job& job, const FileForm& files) {
    return !files.single_ended && (files.pairs || job.mixed_mode_input);
}

// Writes the conversion into slots.output: the whole file, or for version 2 its body; an
// observer, where there is one, is handed what was converted.
Failure convert(const Job& job, const FileForm& files, const RunOptions& options,
                bool version_2, FileSlots& slots, RunReport& report, RecordObserver* observer) {
    InputSlot& input = slots.forward;
    OutputSlot& output = slots.output;
    int ports = 0;
    if (Failure failure = port_count_given(job, files.ports, ports)) return failure;
    // Mixed-mode two-ports take the N-port path: the two-port one knows no modes.
    const bool modes_asked = files.pairs || files.single_ended;
    if (ports == 2 && !modes_asked && !job.mixed_mode_input) {
        return convert_two_port(job, files, options, version_2, slots, report, observer);
    }
    NPortReader reader(input, ports);
    NPortHeader header;
    if (!reader.read_header(header)) return failure_of(Cause::no_option_line, FileRole::forward);
    if (ports == 0) {
        if (header.refusal) {
            header.refusal.file = FileRole::forward;
            return header.refusal;
        }
        ports = header.ports;
        if (ports == 0) return failure_of(Cause::ports_unknown, FileRole::forward);
        if (ports == 2 && !modes_asked && header.modes_line == 0) {
            // Read again from the start, by the two-port reader.
            if (!input.open(job.input)) {
                Failure failure = failure_of(Cause::cannot_open_input, FileRole::forward);
                failure.system_error = input.error();
                return failure;
            }
            return convert_two_port(job, files, options, version_2, slots, report, observer);
        }
    }
    NPortPlan plan;
    plan.ports = ports;
    plan.z_new = files.to;
    plan.waves = options.waves;
    plan.version_2 = version_2;
    plan.modes = {files.pairs ? &*files.pairs : nullptr, files.pairs_text, files.single_ended,
                  files.to_text};
    plan.threads = options.threads;
    plan.observer = observer;
    report.failure = convert_nport_file(reader, header, plan, output, report);
    if (!report.failure && output.failed()) {
        report.failure = output_failure(Cause::write_failed, output.error());
    }
    return report.failure;
}

// A Touchstone 2.0 file from the body a conversion wrote to spool: the header, which counts
// the records and noise lines, then the body, then '[End]'.
bool write_version_2_file(const RunReport& report, const FileForm& files,
                          const std::string& spool, OutputSlot& output) {
    const std::vector<double> references =
        files.to.size() == report.ports ? files.to : std::vector<double>(report.ports, files.to.front());
    const std::string_view modes =
        report.output_modes ? std::string_view(report.output_modes->order_text) : "";
    write_version_2_header(output, {report.option_line, report.ports, report.records,
                                    report.noise_lines, references, modes});
    if (!append_file_contents(spool, output)) return false;
    write_version_2_end(output);
    return true;
}

// A finished part file under its final name, with the permissions of the file it replaces.
Failure move_into_place(const std::string& part, const OutputPlace& place, FileRole file) {
    std::error_code error;
    if (place.permissions) {
        std::filesystem::permissions(part, *place.permissions, error);
        if (error) return output_failure(Cause::cannot_move_output, error.value(), file);
    }
    std::filesystem::rename(part, place.path, error);
    if (error) return output_failure(Cause::cannot_move_output, error.value(), file);
    return {};
}

// The picture of a conversion that succeeded, into its part file.
Failure write_picture(const ConversionPicture& picture, const Job& job, const RunReport& report,
                      OutputSlot& output) {
    const std::string input_name =
        job.from_stdin ? "standard input" : std::filesystem::path(job.input).filename().string();
    picture.write(output, picture_caption(report, input_name));
    if (!output.close()) {
        return output_failure(Cause::write_failed, output.error(), FileRole::picture);
    }
    return {};
}

// One input to one output: opened, converted, and moved into place only when complete. A
// version 2 output is written to a spool file first, since its header counts what follows.
// With --plot the picture is drawn as the records stream and written, like the output, to a
// part file moved into place when complete.
Failure run_job(const Job& given, const FileForm& files, const RunOptions& options,
                const std::vector<FileIdentity>& inputs, RunReport& report) {
    if (Failure failure = check_output(given, inputs, files.inputs)) return failure;
    if (Failure failure = check_picture(given, inputs, files.inputs)) return failure;
    Job job = given;
    const bool plot = !job.picture.empty();
    FileSlots slots;
    InputSlot& input = slots.forward;
    const bool opened = job.from_stdin ? input.open_standard_input() : input.open(job.input);
    if (!opened) {
        Failure failure = failure_of(Cause::cannot_open_input, FileRole::forward);
        failure.system_error = input.error();
        return failure;
    }
    // Asked once, before the output's form is chosen.
    job.mixed_mode_input =
        !files.pairs && !files.single_ended && holds_mixed_mode_data(input, job);
    const bool version_2 = new_references_differ(files.to) ||
                           (!job.to_stdout && names_version_2_file(job.output)) ||
                           writes_mixed_mode(job, files);
    OutputPlace place;
    if (Failure failure = job.to_stdout ? Failure{} : place_of_output(job.output, place)) {
        return failure;
    }
    OutputPlace picture_place;
    if (Failure failure =
            plot ? place_of_output(job.picture, picture_place, FileRole::picture) : Failure{}) {
        return failure;
    }
    const std::string part = job.to_stdout ? std::string() : part_name(place.path);
    const std::string spool = !version_2 ? std::string()
                              : job.to_stdout ? part_name((std::filesystem::temp_directory_path() /
                                                           "tavrin").string())
                                              : part_name(place.path);
    const std::string picture_part = plot ? part_name(picture_place.path) : std::string();
    const RemovedOnInterrupt part_guard(part), spool_guard(spool), picture_guard(picture_part);
    // The conversion writes to slots.output: the final output, or for version 2 the spool.
    OutputSlot version_2_output;
    OutputSlot& output = version_2 ? version_2_output : slots.output;
    OutputSlot& body = slots.output;
    if (!(job.to_stdout ? output.open_standard_output() : output.open(part))) {
        return output_failure(Cause::cannot_create_output, output.error());
    }
    Failure failure;
    OutputSlot picture_output;
    std::optional<ConversionPicture> picture;
    if (plot) picture.emplace();
    if (plot && !picture_output.open(picture_part)) {
        failure = output_failure(Cause::cannot_create_output, picture_output.error(),
                                 FileRole::picture);
    } else if (version_2 && !body.open(spool)) {
        failure = output_failure(Cause::cannot_create_output, body.error());
    } else {
        failure = convert(job, files, options, version_2, slots, report,
                          plot ? &*picture : nullptr);
    }
    if (!failure && input.failed()) {
        failure = failure_of(Cause::read_failed, FileRole::forward);
        failure.system_error = input.error();
    }
    if (version_2) {
        if (!body.close() && !failure) failure = output_failure(Cause::write_failed, body.error());
        if (!failure && !write_version_2_file(report, files, spool, output)) {
            failure = failure_of(Cause::read_failed, FileRole::output);
            failure.system_error = errno;
        }
    }
    const bool closed = output.close();
    if (!failure && !closed) failure = output_failure(Cause::write_failed, output.error());
    std::error_code error;
    if (version_2) std::filesystem::remove(spool, error);
    if (!failure && plot) failure = write_picture(*picture, job, report, picture_output);
    if (!job.to_stdout) {
        if (!failure) failure = move_into_place(part, place, FileRole::output);
        if (failure) std::filesystem::remove(part, error);
    }
    if (plot) {
        // The output is complete whatever becomes of its picture; a picture fails on its own.
        picture_output.close();
        if (!failure) failure = move_into_place(picture_part, picture_place, FileRole::picture);
        if (failure) std::filesystem::remove(picture_part, error);
    }
    return failure;
}

std::string display_name(const std::string& name, bool standard, std::string_view stream) {
    return standard ? std::string(stream) : name;
}

Job job_of(const FileForm& files, const std::string& name) {
    Job job;
    job.input = name;
    job.from_stdin = name == standard_stream;
    job.output = files.out_dir ? output_in_folder(*files.out_dir, name) : files.output;
    job.to_stdout = !files.out_dir && files.output == standard_stream;
    if (files.plot) job.picture = files.plot_file.empty() ? job.output + ".svg" : files.plot_file;
    return job;
}

// The outputs the run has written so far, for the jobs of any thread: two inputs of one file
// name under --out-dir would meet at one output, and the first one written stays.
class WrittenOutputs {
public:
    bool contain(const FileIdentity& output) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return output.known && files_.count({output.volume, output.file}) > 0;
    }
    void add(const FileIdentity& output) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (output.known) files_.insert({output.volume, output.file});
    }

private:
    std::mutex mutex_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> files_;
};

struct InputOutcome {
    bool failed = false;
    std::string line;  // what --verbose prints of it
};

// One input of the command line: the checks of a run of several inputs, then its conversion
// with the loop threads it is given.
InputOutcome convert_input(const Job& job, const CommandLine& command,
                           const std::vector<FileIdentity>& inputs, WrittenOutputs& written,
                           const LoopThreads& threads) {
    const FileForm& files = command.files;
    RunOptions options = command.options;
    options.threads = threads;
    RunReport report;
    Failure failure;
    if (files.out_dir && job.from_stdin) {
        // Standard input has no file name of its own to write under.
        failure = failure_of(Cause::cannot_open_input, FileRole::forward);
        failure.subject = "standard input";
    } else if (files.out_dir && !is_folder(*files.out_dir)) {
        failure = output_failure(Cause::cannot_create_output, ENOENT);
    } else if (written.contain(identity_of_path(job.output))) {
        failure = output_failure(Cause::output_written_before);
    } else {
        failure = run_job(job, files, options, inputs, report);
        if (!failure && !job.to_stdout) written.add(identity_of_path(job.output));
    }
    InputOutcome outcome;
    outcome.failed = static_cast<bool>(failure);
    if (!options.verbose) return outcome;
    const RunFileNames names{display_name(job.input, job.from_stdin, "standard input"), "",
                             display_name(job.output, job.to_stdout, "standard output"),
                             job.picture};
    report.failure = failure;
    outcome.line = failure ? describe_failure(failure, names) : describe_success(report, names);
    return outcome;
}

}  // namespace

int ports_from_extension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return 0;
    const std::string_view extension = name.substr(dot + 1);
    if (extension.size() < 3 || extension.size() > 5) return 0;
    if (upper_case_ascii(extension.front()) != 'S' || upper_case_ascii(extension.back()) != 'P') {
        return 0;
    }
    const std::string_view digits = extension.substr(1, extension.size() - 2);
    if (digits.front() == '0') return 0;
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::string output_in_folder(const std::string& folder, const std::string& input) {
    const std::filesystem::path name = std::filesystem::path(input).filename();
    return (std::filesystem::path(folder) / name).string();
}

int run_file_form(const CommandLine& command, std::FILE* messages) {
    const FileForm& files = command.files;
    std::vector<FileIdentity> inputs;
    for (const std::string& name : files.inputs) inputs.push_back(identity_of_path(name));
    std::vector<Job> jobs;
    std::vector<std::string> outputs;
    for (const std::string& name : files.inputs) {
        jobs.push_back(job_of(files, name));
        outputs.push_back(jobs.back().output);
    }
    // Only jobs run at once need an order between them.
    const bool at_once = jobs.size() > 1 && command.options.threads.count > 1;
    const std::vector<JobOrder> order =
        at_once ? order_of_outputs(outputs) : std::vector<JobOrder>(jobs.size());
    WrittenOutputs written;
    std::vector<InputOutcome> outcomes(jobs.size());
    int status = 0;
    run_jobs(
        jobs.size(), order, command.options.threads,
        [&](std::size_t i, const LoopThreads& threads) {
            outcomes[i] = convert_input(jobs[i], command, inputs, written, threads);
        },
        [&](std::size_t i) {
            if (outcomes[i].failed) status = 1;
            std::fputs(outcomes[i].line.c_str(), messages);
            std::string().swap(outcomes[i].line);
        });
    return status;
}

}  // namespace tavrin
