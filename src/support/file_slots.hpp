// Numbered file slots through which every file access of a run goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "support/file_identity.hpp"
#include "support/settings_slot.hpp"

namespace tavrin {


// A text input: lines end at LF or CR LF, may be of any length, and a last line without
// a terminator still counts. Read in large blocks so that scanning stays cheap.
class InputSlot {
public:
    InputSlot() = default;
    InputSlot(const InputSlot&) = delete;
    InputSlot& operator=(const InputSlot&) = delete;
    ~InputSlot() { close(); }

    // Refuses anything that is not a readable regular file, device or pipe (a directory, say).
    bool open(const std::string& path);
    // Reads the process's standard input, in binary mode.
    bool open_standard_input();
    // Reads the whole of an in-memory text instead of a file (tests and fuzzing).
    void open_memory(std::string_view contents);
    bool is_open() const { return file_ != nullptr || memory_; }
    // True when no character is left to read.
    bool at_end();
    // What the next reads will give, as far as the slot has read ahead (a block at most: at the
    // start of a file, its first 64 KiB), reading that block first where nothing is read
    // ahead; nothing is taken. whole tells whether it is all there is.
    std::string_view peek(bool& whole);
    // Replaces line with the next line, terminator dropped; false when nothing was left.
    bool read_line(std::string& line);
    // True once a read failed for a reason other than the end of the file.
    bool failed() const { return failed_; }
    // The system's error number of a failed open or read; 0 when there was none.
    int error() const { return error_; }
    // Lines read so far: the 1-based number of the line read last.
    long long lines_read() const { return lines_read_; }
    const FileIdentity& identity() const { return identity_; }
    void close();

private:
    void adopt(std::FILE* file);
    bool fill();

    std::FILE* file_ = nullptr;
    bool memory_ = false;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool end_of_file_ = false;
    bool failed_ = false;
    int error_ = 0;
    long long lines_read_ = 0;
    FileIdentity identity_;
};

// An output file, created or emptied, every byte written unchanged (no newline translation).
class OutputSlot {
public:
    OutputSlot() = default;
    OutputSlot(const OutputSlot&) = delete;
    OutputSlot& operator=(const OutputSlot&) = delete;
    ~OutputSlot() { close(); }

    bool open(const std::string& path);
    // Writes to the process's standard output, in binary mode.
    bool open_standard_output();
    // Collects what is written in memory instead of a file (a block of lines made on another
    // thread); take_memory hands it over.
    void open_memory();
    // Appends everything written since open_memory or the last take_memory to text.
    void take_memory(std::string& text);
    bool is_open() const { return file_ != nullptr || memory_; }
    void write(std::string_view text) {
        if (text.size() <= capacity_ - used_) {
            // An empty text may come with a null pointer, which memcpy must not be given.
            if (!text.empty()) std::memcpy(buffer_.get() + used_, text.data(), text.size());
            used_ += text.size();
        } else {
            write_slow(text);
        }
    }
    void write_line_end() { write("\r\n"); }
    // Room for n more bytes in the slot's own buffer, flushing it first if needed, so that a
    // caller can compose text in place and then commit what it wrote. Null when n does not
    // fit in the buffer or the slot is not open: then write() is the way.
    char* reserve(std::size_t n) {
        if (n <= capacity_ - used_) return buffer_.get() + used_;
        return reserve_slow(n);
    }
    // Counts the first n of the reserved bytes as written.
    void commit(std::size_t n) { used_ += n; }
    // True once any byte could not be written.
    bool failed() const { return failed_; }
    // The system's error number of a failed open or write; 0 when there was none.
    int error() const { return error_; }
    // Drops what was written so far and empties the file, for a run that must not leave a
    // plausible-looking partial result behind; false when the file could not be emptied.
    bool discard();
    // Flushes and closes; false when the file could not be written in full.
    bool close();

private:
    void adopt(std::FILE* file);
    void flush_buffer();
    void note_write_failure();
    void write_slow(std::string_view text);
    char* reserve_slow(std::size_t n);

    std::FILE* file_ = nullptr;
    bool memory_ = false;
    std::string collected_;  // memory mode: what left the buffer
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    bool failed_ = false;
    int error_ = 0;
};

// Writes the bytes of the file at path to output as they are; false when it cannot be read.
bool append_file_contents(const std::string& path, OutputSlot& output);

// The files of a run; they stay open until the run ends.
struct FileSlots {
    InputSlot forward;   // slot 1
    InputSlot reverse;   // slot 2
    OutputSlot output;   // slot 3
    SettingsSlot settings;  // slot 4

    // Flushes and closes every slot and gives the run's final status: an output that could
    // not be written in full, or an input that could not be read, turns 0 into 1, so success
    // is never reported for a partial file.
    int close_all(int status);
};

}  // namespace tavrin
