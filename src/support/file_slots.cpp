#include "support/file_slots.hpp"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tavrin {

namespace {

constexpr std::size_t input_block = 1u << 16;
constexpr std::size_t output_block = 1u << 16;

}  // namespace

bool InputSlot::open(const std::string& path) {
    close();
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error_ = errno;
        return false;
    }
    if (!is_readable_kind(file)) {
        std::fclose(file);
        error_ = EISDIR;  // the one kind a name commonly reaches that holds no lines
        return false;
    }
    adopt(file);
    return true;
}

bool InputSlot::open_standard_input() {
    close();
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    adopt(stdin);
    return true;
}

void InputSlot::adopt(std::FILE* file) {
    // Our own block buffer does the buffering.
    std::setvbuf(file, nullptr, _IONBF, 0);
    file_ = file;
    identity_ = identity_of_file(file);
    capacity_ = input_block;
    buffer_ = std::make_unique<char[]>(capacity_);
    begin_ = end_ = 0;
    end_of_file_ = false;
    failed_ = false;
    error_ = 0;
    lines_read_ = 0;
}

void InputSlot::open_memory(std::string_view contents) {
    close();
    memory_ = true;
    capacity_ = contents.size();
    buffer_ = std::make_unique<char[]>(capacity_ == 0 ? 1 : capacity_);
    // An empty view may carry a null pointer, which memcpy must never be given.
    if (!contents.empty()) std::memcpy(buffer_.get(), contents.data(), contents.size());
    begin_ = 0;
    end_ = contents.size();
    end_of_file_ = true;
    failed_ = false;
    error_ = 0;
    lines_read_ = 0;
}

void InputSlot::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    memory_ = false;
    buffer_.reset();
    capacity_ = begin_ = end_ = 0;
    end_of_file_ = false;
    identity_ = FileIdentity{};
}

// Moves what is left to the front and reads more behind it; false when nothing new came.
bool InputSlot::fill() {
    if (end_of_file_ || file_ == nullptr) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == capacity_) {
        return false;
    }
    const std::size_t got = std::fread(buffer_.get() + end_, 1, capacity_ - end_, file_);
    end_ += got;
    if (got == 0) {
        end_of_file_ = true;
        if (std::ferror(file_)) {
            failed_ = true;
            error_ = errno;
        }
        return false;
    }
    return true;
}

std::string_view InputSlot::peek(bool& whole) {
    if (begin_ == end_) fill();
    // A read of a block that came back short met the end of the input.
    whole = memory_ || end_of_file_ || end_ < capacity_;
    return {buffer_.get() + begin_, end_ - begin_};
}

bool InputSlot::at_end() {
    if (begin_ < end_) return false;
    fill();
    return begin_ >= end_;
}

bool InputSlot::read_line(std::string& line) {
    line.clear();
    if (at_end()) return false;
    ++lines_read_;
    bool terminated = false;
    for (;;) {
        const char* start = buffer_.get() + begin_;
        const std::size_t available = end_ - begin_;
        const void* lf = std::memchr(start, '\n', available);
        if (lf != nullptr) {
            const std::size_t length = static_cast<const char*>(lf) - start;
            line.append(start, length);
            begin_ += length + 1;
            terminated = true;
            break;
        }
        // No terminator in the buffer: keep what we have and read on, so lines of any
        // length work while the buffer stays one block.
        line.append(start, available);
        begin_ = end_;
        if (!fill()) break;
    }
    // Only a CR right before the LF is part of the terminator.
    if (terminated && !line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool OutputSlot::open(const std::string& path) {
    close();
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error_ = errno;
        return false;
    }
    adopt(file);
    return true;
}

bool OutputSlot::open_standard_output() {
    close();
#if defined(_WIN32)
    // Lines end in CR LF already: nothing may be translated.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::fflush(stdout);
    adopt(stdout);
    return true;
}

void OutputSlot::adopt(std::FILE* file) {
    std::setvbuf(file, nullptr, _IONBF, 0);
    file_ = file;
    capacity_ = output_block;
    buffer_ = std::make_unique<char[]>(capacity_);
    used_ = 0;
    failed_ = false;
    error_ = 0;
}

void OutputSlot::open_memory() {
    close();
    memory_ = true;
    collected_.clear();
    capacity_ = output_block;
    buffer_ = std::make_unique<char[]>(capacity_);
    used_ = 0;
    failed_ = false;
}

void OutputSlot::take_memory(std::string& text) {
    flush_buffer();
    if (text.empty()) {
        text.swap(collected_);  // no copy: the two trade their storage
    } else {
        text.append(collected_);
    }
    collected_.clear();
}

void OutputSlot::flush_buffer() {
    if (used_ == 0) return;
    if (memory_) {
        collected_.append(buffer_.get(), used_);
    } else if (file_ == nullptr || std::fwrite(buffer_.get(), 1, used_, file_) != used_) {
        note_write_failure();
    }
    used_ = 0;
}

void OutputSlot::write_slow(std::string_view text) {
    if (!is_open()) {
        failed_ = true;
        return;
    }
    flush_buffer();
    if (text.size() <= capacity_) {
        std::memcpy(buffer_.get(), text.data(), text.size());
        used_ = text.size();
    } else if (memory_) {
        collected_.append(text);
    } else if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        note_write_failure();
    }
}

char* OutputSlot::reserve_slow(std::size_t n) {
    if (!is_open() || n > capacity_) return nullptr;
    flush_buffer();
    return buffer_.get();
}

void OutputSlot::note_write_failure() {
    // The first cause is the one worth telling; later ones follow from it.
    if (!failed_) error_ = errno;
    failed_ = true;
}

bool OutputSlot::discard() {
    used_ = 0;
    if (file_ == nullptr) return false;
#if defined(_WIN32)
    const bool emptied = _chsize_s(_fileno(file_), 0) == 0;
#else
    const bool emptied = ftruncate(fileno(file_), 0) == 0;
#endif
    if (!emptied || std::fseek(file_, 0, SEEK_SET) != 0) failed_ = true;
    return emptied;
}

bool OutputSlot::close() {
    if (memory_) {
        memory_ = false;
        collected_.clear();
        buffer_.reset();
        capacity_ = used_ = 0;
        return !failed_;
    }
    if (file_ == nullptr) return !failed_;
    flush_buffer();
    if (std::fflush(file_) != 0) note_write_failure();
    if (std::fclose(file_) != 0) note_write_failure();
    file_ = nullptr;
    buffer_.reset();
    capacity_ = used_ = 0;
    return !failed_;
}

bool append_file_contents(const std::string& path, OutputSlot& output) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    const std::unique_ptr<char[]> block = std::make_unique<char[]>(input_block);
    std::size_t got = 0;
    while ((got = std::fread(block.get(), 1, input_block, file)) > 0) {
        output.write(std::string_view(block.get(), got));
    }
    const bool read = std::ferror(file) == 0;
    std::fclose(file);
    return read;
}

int FileSlots::close_all(int status) {
    if (!output.close()) status = 1;
    if (forward.failed() || reverse.failed()) status = 1;
    forward.close();
    reverse.close();
    settings.close();
    return status;
}

}  // namespace tavrin
