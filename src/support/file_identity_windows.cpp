#include <windows.h>

#include <io.h>

#include "support/file_identity.hpp"

namespace tavrin {

namespace {

// A file is named by the volume it lives on and its index there: every spelling of its
// name (another letter case, a relative or a UNC path, a short 8.3 name) gives the same pair.
FileIdentity from_handle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(handle, &info)) return {};
    FileIdentity identity;
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.known = true;
    identity.regular = ::GetFileType(handle) == FILE_TYPE_DISK &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return identity;
}

HANDLE handle_of(std::FILE* file) {
    if (file == nullptr) return INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
}

}  // namespace

FileIdentity identity_of_path(const std::string& path) {
    // Opened for attributes only, sharing everything, so that an input already open (or a
    // file someone else holds) can still be identified; backup semantics admit directories.
    const HANDLE handle = ::CreateFileA(path.c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    const FileIdentity identity = from_handle(handle);
    ::CloseHandle(handle);
    return identity;
}

FileIdentity identity_of_file(std::FILE* file) { return from_handle(handle_of(file)); }

bool is_readable_kind(std::FILE* file) {
    const HANDLE handle = handle_of(file);
    if (handle == INVALID_HANDLE_VALUE) return false;
    // Disk files, character devices (CON, NUL) and pipes deliver lines.
    const DWORD type = ::GetFileType(handle);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) return true;
    if (type != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace tavrin
