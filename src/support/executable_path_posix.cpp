#include <unistd.h>

#include <string>

#include "support/executable_path.hpp"

namespace tavrin {

std::string executable_path() {
    // The link names the file actually running, whatever name or symbolic link started it.
    std::string path(4096, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace tavrin
