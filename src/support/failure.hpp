// Why a run cannot go on: named where it is found (the input checks, the option line, the
// keyword and record readers, the writer), carried to the driver as a value, and worded in one
// place only when the user asks for it.
#pragma once

#include <string>
#include <utility>

namespace tavrin {

enum class Cause {
    none,
    // The four inputs.
    output_names_input,    // the output name is written as an input's name
    output_reaches_input,  // the output name reaches an input file another way
    cannot_open_input,
    cannot_create_output,
    impedance_not_usable,  // the new impedance is not a finite number above 0
    // What a file states.
    no_option_line,
    other_parameters,        // Y, Z, H or G parameters
    reference_not_usable,    // a stated reference is not a finite number above 0
    too_many_references,     // more than two numbers after "R "
    reference_count,         // '[Reference]' with no value or more than two
    references_conflict,     // a second '[Reference]' differs from the first
    ports_not_two,
    matrix_not_full,
    mixed_mode,
    unknown_pair_order,
    references_unknown,      // "Data is not renormalized" and no reference stated
    // What two files of one measurement must share.
    references_differ,
    per_port_in_two_files,
    per_frequency_in_two_files,
    // Records.
    port_impedance_missing,     // a record without its Port Impedance comment
    port_impedance_unexpected,  // one where the first record had none
    port_impedance_malformed,
    port_impedance_not_usable,  // unusable for the wave definition
    reverse_record_missing,
    reverse_frequency_differs,
    // Files of any port count.
    ports_unknown,           // no extension, '[Number of Ports]' or --ports gives the count
    ports_disagree,          // two of them give different counts
    count_not_usable,        // a port or frequency count that is no whole number in range
    ports_beyond_memory,     // so many ports that one record could not be held
    record_short,            // a record ends before its numbers are complete
    record_long,             // a record holds more numbers than its port count allows
    number_malformed,        // a token among a record's numbers is not a number
    frequency_not_rising,    // a record's frequency is not above the one before
    frequency_count_differs, // '[Number of Frequencies]' against the records read
    network_singular,        // I - Gamma S cannot be solved for a record
    new_reference_count,     // --to with neither one value nor one per port
    output_written_before,   // an earlier input of the run was written to this output
    // Mixed-mode data.
    mode_malformed,          // a '[Mixed-Mode Order]' token that is no mode
    mode_order_conflict,     // a second '[Mixed-Mode Order]' that differs
    mode_port_missing,       // a mode names a port the network does not have
    mode_pair_of_one_port,   // a pair P,N with P = N
    mode_port_twice,         // a port in two pairs, or named twice
    mode_port_left_out,      // a port in no mode
    mode_without_partner,    // a differential mode without its common mode, or the reverse
    pair_references_differ,  // the two lines of a pair at different references
    single_ended_input,      // --single-ended on single-ended data
    mixed_mode_noise,        // noise data, which has no mixed-mode form
    mixed_mode_port_impedances,  // port impedance comments in mixed-mode data
    mixed_mode_from_stream,  // mixed-mode data where the output's form must be known first
    // The picture of --plot.
    picture_names_input,     // its name is written as an input's name
    picture_reaches_input,   // it reaches an input file another way
    picture_is_output,       // it would be the output itself
    // The system.
    read_failed,
    write_failed,
    cannot_move_output,      // the finished output could not take its final name
};

// Which of the run's files a failure is about.
enum class FileRole { none, forward, reverse, output, picture };

struct Failure {
    Cause cause = Cause::none;
    FileRole file = FileRole::none;
    long long line = 0;        // 1-based line of that file; 0 where none applies
    std::string subject;       // what is refused, as written: a value, a keyword, a frequency
    std::string other;         // what it was compared with, where there is such a thing
    long long other_line = 0;  // and where that stands (in the other file, for a pair)
    int system_error = 0;      // the system's error number; 0 where none applies

    explicit operator bool() const { return cause != Cause::none; }
};

inline Failure failure_of(Cause cause, FileRole file = FileRole::none, long long line = 0,
                          std::string subject = {}) {
    Failure failure;
    failure.cause = cause;
    failure.file = file;
    failure.line = line;
    failure.subject = std::move(subject);
    return failure;
}

}  // namespace tavrin
