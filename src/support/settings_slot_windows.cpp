#include <windows.h>

#include <cstdint>

#include "support/settings_slot.hpp"

namespace tavrin {

namespace {

// Two copies of the tool may run side by side, each holding the settings file open.
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE open_handle(const std::string& path, DWORD access, DWORD disposition) {
    return ::CreateFileA(path.c_str(), access, share_all, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE as_handle(long long value) { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(value)); }

OVERLAPPED at_position(std::size_t position) {
    OVERLAPPED where{};
    const auto offset = static_cast<std::uint64_t>(position);
    where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

}  // namespace

bool SettingsSlot::open(const std::string& path) {
    close();
    // An existing file, kept as it is; else a new empty one (never emptying one that appeared
    // meanwhile); else an existing file we may only read.
    HANDLE handle = open_handle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    writable_ = true;
    if (handle == INVALID_HANDLE_VALUE) {
        handle = open_handle(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        handle = open_handle(path, GENERIC_READ, OPEN_EXISTING);
        writable_ = false;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        handle_ = -1;
        writable_ = false;
        return false;
    }
    handle_ = static_cast<long long>(reinterpret_cast<INT_PTR>(handle));
    return true;
}

bool SettingsSlot::is_open() const { return handle_ != -1; }

std::size_t SettingsSlot::read_at(std::size_t position, unsigned char* bytes, std::size_t size) {
    if (handle_ == -1) return 0;
    std::size_t done = 0;
    while (done < size) {
        OVERLAPPED where = at_position(position + done);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(size - done > 0x10000000u ? 0x10000000u : size - done);
        if (!::ReadFile(as_handle(handle_), bytes + done, want, &got, &where) || got == 0) break;
        done += got;
    }
    return done;
}

// Safe on the control-event thread: WriteFile on a handle that stays open, at an explicit
// position, with no C runtime buffering and no allocation.
bool SettingsSlot::write_at(std::size_t position, const unsigned char* bytes, std::size_t size) {
    if (handle_ == -1 || !writable_) return false;
    std::size_t done = 0;
    while (done < size) {
        OVERLAPPED where = at_position(position + done);
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(size - done > 0x10000000u ? 0x10000000u : size - done);
        if (!::WriteFile(as_handle(handle_), bytes + done, want, &put, &where) || put == 0) {
            return false;
        }
        done += put;
    }
    return true;
}

void SettingsSlot::close() {
    if (handle_ != -1) ::CloseHandle(as_handle(handle_));
    handle_ = -1;
    writable_ = false;
}

}  // namespace tavrin
