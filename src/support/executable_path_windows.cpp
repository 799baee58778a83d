#include <windows.h>

#include <string>

#include "support/executable_path.hpp"

namespace tavrin {

std::string executable_path() {
    // A path that fills the buffer may have been cut short: try again with more room.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

}  // namespace tavrin
