// Which file a name reaches, so that an output never overwrites one of the inputs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tavrin {

struct FileIdentity {
    std::uint64_t volume = 0;  // device number, or volume serial number
    std::uint64_t file = 0;    // inode, or file index
    bool known = false;
    bool regular = false;  // a regular file on a disk: read once, it can be read again

    bool same_as(const FileIdentity& other) const {
        return known && other.known && volume == other.volume && file == other.file;
    }
};

// Identity of the existing file that path reaches; unknown when it reaches none.
FileIdentity identity_of_path(const std::string& path);
// Identity of an open file.
FileIdentity identity_of_file(std::FILE* file);
// True when the open file is something lines can be read from: not a directory.
bool is_readable_kind(std::FILE* file);

}  // namespace tavrin
