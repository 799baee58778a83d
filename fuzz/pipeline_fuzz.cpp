// The whole command-line run on arbitrary forward and reverse contents, through the same
// calls as the program: the checks and opening of the files, then the header skip, the
// option line and the record loop. The files live in a private folder that is emptied
// after every input and removed when the process ends.
//
// Input: a first line "S <impedance>" (single-file mode) or "T <impedance>" (two-file
// mode), then the forward contents, then optionally "\n@@reverse@@\n" and the reverse
// contents.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "run/driver.hpp"
#include "support/file_slots.hpp"
#include "text/number_text.hpp"
#include "touchstone/line_tokens.hpp"

namespace {

using tavrin::fuzz::count_tokens;
using tavrin::fuzz::require;

class PrivateFolder {
public:
    PrivateFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tavrin-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) tavrin::fuzz::fail("mkdtemp");
        path_ = pattern;
    }
    ~PrivateFolder() { remove(); }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    std::string base(const char* name) const { return (path_ / name).string(); }
    void clear() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(path_, ignored)) {
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
    void remove() const {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

private:
    std::filesystem::path path_;
};

bool is_option_line(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && line[first] == '#';
}

PrivateFolder& folder() {
    static PrivateFolder instance;
    static const bool registered = [] {
        // libFuzzer ends with exit(), which skips nothing registered here.
        std::atexit([] { folder().remove(); });
        return true;
    }();
    (void)registered;
    return instance;
}

void write_file(const std::string& path, std::string_view contents) {
    std::ofstream out(path, std::ios::binary);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) tavrin::fuzz::fail("cannot write an input file");
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// The records a forward file yields, counted with the reading rules written out directly:
// lines up to the option line (the first whose first character other than blanks and tabs is
// '#') are skipped, then records are counted until the end of the file, a drop in frequency,
// a line holding only a frequency or the start of a noise block. -1 for a file with keyword
// lines, whose values this count leaves to the unit tests.
long expected_records(std::string_view contents) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < contents.size()) {
        const std::size_t lf = contents.find('\n', start);
        std::string line(contents.substr(start, lf == std::string_view::npos ? lf : lf - start));
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    std::size_t i = 0;
    while (i < lines.size() && !is_option_line(lines[i])) ++i;
    ++i;
    long records = 0;
    double last = 0.0;
    bool started = false;
    int last_tokens = 0;
    for (; i < lines.size(); ++i) {
        std::string line = lines[i];
        tavrin::clean_line(line);
        if (line.empty()) continue;
        if (line[0] == '[') return -1;
        const double f = tavrin::parse_number(line);
        const std::size_t blank = line.find(' ');
        const bool zero_written = tavrin::is_decimal_number(line.substr(0, blank));
        const int tokens = blank == std::string::npos ? 0 : count_tokens(line.substr(blank));
        if (f == last && !(f == 0.0 && zero_written && !started)) {
            if (started && f == 0.0 && !zero_written) break;
            if (started && tokens == 4 && last_tokens == 8) break;  // a noise block
            continue;
        }
        if (!(f >= last) || blank == std::string::npos) break;
        last = f;
        last_tokens = tokens;
        started = true;
        ++records;
        if (tokens != 4) continue;
        // S12 and S22 alone on the next line belong to this record.
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            std::string next = lines[j];
            tavrin::clean_line(next);
            if (next.empty()) continue;
            if (next[0] != '[' && count_tokens(next) == 4) {
                i = j;
                last_tokens = 8;
            }
            break;
        }
    }
    return records;
}

// Output lines holding S-parameters: eight numbers after the frequency (noise lines hold four).
long s_parameter_lines(const std::string& output) {
    long lines = 0;
    for (std::size_t start = output.find("\r\n") + 2; start < output.size();) {
        const std::size_t end = output.find("\r\n", start);
        if (end == std::string::npos) break;
        const std::string line = output.substr(start, end - start);
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos && count_tokens(line.substr(blank)) == 8) ++lines;
        start = end + 2;
    }
    return lines;
}

bool has_option_line(std::string_view contents) {
    std::size_t start = 0;
    while (start <= contents.size()) {
        const std::size_t lf = contents.find('\n', start);
        if (is_option_line(contents.substr(start, lf == std::string_view::npos ? lf : lf - start))) {
            return true;
        }
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [header, files] = tavrin::fuzz::split_at(tavrin::fuzz::as_text(data, size), "\n");
    if (header.empty() || (header[0] != 'S' && header[0] != 'T')) return -1;
    const bool single_file = header[0] == 'S';
    const std::string impedance(header.substr(std::min<std::size_t>(2, header.size())));
    const auto [forward, reverse] = tavrin::fuzz::split_at(files, "\n@@reverse@@\n");

    const PrivateFolder& dir = folder();
    const std::string forward_name = dir.base("forward");
    const std::string reverse_name = single_file ? forward_name : dir.base("reverse");
    const std::string output_name = dir.base("output");
    write_file(forward_name + ".s2p", forward);
    if (!single_file) write_file(reverse_name + ".s2p", reverse);

    int status = 1;
    bool opened = false;
    bool output_complete = false;
    {
        tavrin::FileSlots slots;
        tavrin::RunInputs run;
        const std::vector<std::string> arguments = {forward_name, reverse_name, output_name,
                                                    impedance};
        if (!tavrin::open_command_line_run(arguments, slots, run)) {
            opened = true;
            tavrin::RunReport report;
            status = tavrin::process_run(run, tavrin::RunOptions{}, slots, report);
            require((status == 0) == !report.failure, "a failure is named exactly when status is 1");
        }
        output_complete = slots.output.close();
    }
    require(output_complete, "the output file was written in full");

    // The inputs are never changed.
    require(read_file(forward_name + ".s2p") == forward, "the forward file is untouched");
    if (!single_file) {
        require(read_file(reverse_name + ".s2p") == reverse, "the reverse file is untouched");
    }
    const double z_new = tavrin::parse_number(impedance);
    require(opened == tavrin::is_usable_impedance(z_new), "only a usable impedance opens a run",
            impedance);
    const bool both_have_option_lines =
        has_option_line(forward) && (single_file || has_option_line(reverse));
    if (opened && !both_have_option_lines) require(status == 1, "no option line: status 1");

    const std::string output = read_file(output_name + ".s2p");
    if (status == 1) {
        require(output.empty(), "a failed run leaves an empty output file", output);
    } else {
        require(status == 0, "the status is 0 or 1");
        require(both_have_option_lines, "a run succeeds only with option lines");
        std::size_t lines = 0;
        for (std::size_t at = output.find('\n'); at != std::string::npos;
             at = output.find('\n', at + 1)) {
            require(at > 0 && output[at - 1] == '\r', "every line ends with CR LF", output);
            ++lines;
        }
        require(!output.empty() && output.back() == '\n', "the last line is ended", output);
        require(output.rfind("# ", 0) == 0 || output.rfind("#", 0) == 0,
                "the option line comes first", output);
        const long records = expected_records(forward);
        require(records < 0 || s_parameter_lines(output) == records,
                "one data line for each record of the forward file", output);
        require(lines >= 1 + static_cast<std::size_t>(s_parameter_lines(output)),
                "the option line, the data lines, then any noise lines", output);
    }
    dir.clear();
    return 0;
}
