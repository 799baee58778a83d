#include <fcntl.h>
#include <unistd.h>

#include "support/settings_slot.hpp"

namespace tavrin {

bool SettingsSlot::open(const std::string& path) {
    close();
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    writable_ = true;
    if (fd < 0) fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        writable_ = false;
    }
    handle_ = fd;
    if (fd < 0) writable_ = false;
    return fd >= 0;
}

bool SettingsSlot::is_open() const { return handle_ >= 0; }

std::size_t SettingsSlot::read_at(std::size_t position, unsigned char* bytes, std::size_t size) {
    if (handle_ < 0) return 0;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(static_cast<int>(handle_), bytes + done, size - done,
                                    static_cast<off_t>(position + done));
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

// Async-signal-safe: pwrite only.
bool SettingsSlot::write_at(std::size_t position, const unsigned char* bytes, std::size_t size) {
    if (handle_ < 0 || !writable_) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::pwrite(static_cast<int>(handle_), bytes + done, size - done,
                                     static_cast<off_t>(position + done));
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

void SettingsSlot::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    writable_ = false;
}

}  // namespace tavrin
