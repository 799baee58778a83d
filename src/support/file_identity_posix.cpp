#include <sys/stat.h>

#include "support/file_identity.hpp"

namespace tavrin {

namespace {

FileIdentity from_stat(const struct stat& info) {
    FileIdentity identity;
    identity.volume = static_cast<std::uint64_t>(info.st_dev);
    identity.file = static_cast<std::uint64_t>(info.st_ino);
    identity.known = true;
    identity.regular = S_ISREG(info.st_mode);
    return identity;
}

}  // namespace

FileIdentity identity_of_path(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return from_stat(info);
}

FileIdentity identity_of_file(std::FILE* file) {
    struct stat info {};
    if (file == nullptr || ::fstat(::fileno(file), &info) != 0) return {};
    return from_stat(info);
}

bool is_readable_kind(std::FILE* file) {
    struct stat info {};
    if (file == nullptr || ::fstat(::fileno(file), &info) != 0) return false;
    // Regular files, devices and pipes deliver lines; a directory or a socket does not.
    return S_ISREG(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ||
           S_ISFIFO(info.st_mode);
}

}  // namespace tavrin
