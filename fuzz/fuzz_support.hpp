// Helpers shared by the fuzz targets: property checks that stop the fuzzer with a message,
// and an output slot whose bytes land in memory instead of a file.
#pragma once

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "support/file_slots.hpp"

namespace tavrin::fuzz {

// A failed property is a crash for the fuzzer: it keeps the input and reports it.
[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "property violated: %s\n", what);
    if (!detail.empty()) {
        std::fprintf(stderr, "detail: '");
        for (const char c : detail) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 32 && u < 127) {
                std::fputc(c, stderr);
            } else {
                std::fprintf(stderr, "\\x%02x", u);
            }
        }
        std::fprintf(stderr, "'\n");
    }
    std::abort();
}

inline void require(bool condition, const char* what, std::string_view detail = {}) {
    if (!condition) fail(what, detail);
}

// An OutputSlot over an anonymous in-memory file: nothing is left behind on disk, and the
// slot's own open/write/close code is what the target exercises.
class MemoryOutput {
public:
    MemoryOutput() {
        fd_ = ::memfd_create("tavrin-fuzz-output", MFD_CLOEXEC);
        if (fd_ < 0) fail("memfd_create");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryOutput() { ::close(fd_); }
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;

    // Opens slot on the in-memory file, emptied.
    void open(OutputSlot& slot) const {
        if (!slot.open(path_)) fail("cannot open the in-memory output");
    }
    // Everything written so far; the slot must have been closed (flushed) first.
    std::string contents() const {
        struct stat info {};
        if (::fstat(fd_, &info) != 0) fail("fstat of the in-memory output");
        std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::pread(fd_, bytes.data() + done, bytes.size() - done,
                                        static_cast<off_t>(done));
            if (got <= 0) fail("pread of the in-memory output");
            done += static_cast<std::size_t>(got);
        }
        return bytes;
    }

private:
    int fd_ = -1;
    std::string path_;
};

// Splits the input at the first occurrence of mark: before, after (empty when absent).
inline std::pair<std::string_view, std::string_view> split_at(std::string_view all,
                                                              std::string_view mark) {
    const std::size_t at = all.find(mark);
    if (at == std::string_view::npos) return {all, {}};
    return {all.substr(0, at), all.substr(at + mark.size())};
}

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Blank-separated tokens of a cleaned text.
inline int count_tokens(std::string_view text) {
    int count = 0;
    bool in_token = false;
    for (const char c : text) {
        if (c != ' ' && !in_token) ++count;
        in_token = c != ' ';
    }
    return count;
}

}  // namespace tavrin::fuzz
