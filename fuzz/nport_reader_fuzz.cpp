// The reader of files of any port count over in-memory data: whatever the bytes, it ends, names
// lines of the file, and gives records the way its rules allow: full matrices of rising
// frequencies written as decimal numbers, mirror images for Lower and Upper, port impedances
// for every record or none. The references read from the header are usable ones or a failure.
//
// Input: one byte for the port count the caller knows (0 to 5), then the file.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "support/file_slots.hpp"
#include "text/number_text.hpp"
#include "touchstone/nport_reader.hpp"
#include "touchstone/option_line.hpp"

namespace {

using tavrin::fuzz::require;

long long count_lines(std::string_view contents) {
    long long lines = 0;
    for (const char c : contents) lines += c == '\n' ? 1 : 0;
    return lines + (!contents.empty() && contents.back() != '\n' ? 1 : 0);
}

void check_failure(const tavrin::Failure& f, long long lines, const char* what) {
    require(f.file == tavrin::FileRole::none, what);
    require(f.line >= 0 && f.line <= lines, what);
    require(f.other_line >= 0 && f.other_line <= lines, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int given = data[0] % 6;
    const std::string_view contents = tavrin::fuzz::as_text(data + 1, size - 1);
    const long long lines = count_lines(contents);

    tavrin::InputSlot input;
    input.open_memory(contents);
    tavrin::NPortReader reader(input, given);
    tavrin::NPortHeader header;
    if (!reader.read_header(header)) return 0;
    require(header.option_line_number >= 1 && header.option_line_number <= lines,
            "the option line is a line of the file");
    check_failure(header.refusal, lines, "a refusal names a line of the file");
    require(header.ports >= 0, "a port count is never negative");
    if (given != 0 && header.ports != 0 && header.ports != given) {
        require(static_cast<bool>(header.refusal),
                "a port count other than the caller's is refused");
    }

    // As the caller would: the file's count, else its own.
    const int ports = header.ports != 0 ? header.ports : (given != 0 ? given : 1);
    reader.begin_records(ports, header);
    const auto n = static_cast<std::size_t>(ports);
    tavrin::NPortRecord record;
    unsigned long long delivered = 0;
    double previous = 0.0;
    long long previous_line = 0;
    while (reader.next_record(record)) {
        ++delivered;
        require(record.s.size() == n * n, "a record holds the whole matrix");
        require(tavrin::is_decimal_number(record.frequency_text),
                "the frequency is written as a decimal number", record.frequency_text);
        require(record.frequency == tavrin::parse_number(record.frequency_text),
                "the frequency is its token's value", record.frequency_text);
        require(delivered == 1 ? record.frequency >= 0.0 : record.frequency > previous,
                "frequencies rise from 0 on", record.frequency_text);
        require(record.line > previous_line && record.line <= lines,
                "each record starts on a later line of the file");
        require(record.impedances.size() == (header.port_impedances ? n : 0),
                "port impedances for every record, or for none");
        if (header.matrix != tavrin::MatrixFormat::full) {
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = 0; j < i; ++j) {
                    const tavrin::Complex& a = record.s[i * n + j];
                    const tavrin::Complex& b = record.s[j * n + i];
                    require(a.re == b.re && a.im == b.im, "a half matrix is mirrored");
                }
            }
        }
        previous = record.frequency;
        previous_line = record.line;
    }
    require(reader.records_read() == delivered, "records_read counts the records given");
    require(!reader.next_record(record), "once ended, the records stay ended");
    check_failure(reader.problem(), lines, "a problem names a line of the file");

    tavrin::NPortReferences references;
    const tavrin::Failure failure = tavrin::read_nport_references(
        tavrin::read_option_line(header.option_line), header, n, references);
    check_failure(failure, lines, "a reference failure names a line of the file");
    if (!failure && references.kind != tavrin::NPortReferences::Kind::per_frequency) {
        require(references.values.size() == n, "one reference per port");
        for (const double z : references.values) {
            require(std::isfinite(z) && z > 0.0, "references are finite and above 0");
        }
    }
    return 0;
}
