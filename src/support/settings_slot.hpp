// The settings file slot: bytes read and written at positions.
#pragma once

#include <cstddef>
#include <string>

namespace tavrin {

// Its write is safe to call from a signal handler or a control-event thread: one system
// call on a descriptor that stays open, no stdio and no allocation.
class SettingsSlot {
public:
    SettingsSlot() = default;
    SettingsSlot(const SettingsSlot&) = delete;
    SettingsSlot& operator=(const SettingsSlot&) = delete;
    ~SettingsSlot() { close(); }

    // An existing file read/write without emptying it; else created empty; else read-only.
    bool open(const std::string& path);
    bool is_open() const;
    // Reads up to size bytes at position; returns how many were read.
    std::size_t read_at(std::size_t position, unsigned char* bytes, std::size_t size);
    // Writes size bytes at position; false when not open, read-only or the write failed.
    bool write_at(std::size_t position, const unsigned char* bytes, std::size_t size);
    void close();

private:
    long long handle_ = -1;  // a file descriptor, or a Windows HANDLE value
    bool writable_ = false;
};

}  // namespace tavrin
