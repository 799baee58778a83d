#include "support/system_error_text.hpp"

#include <cstdio>
#include <cstring>

namespace tavrin {

namespace {

// strerror_r comes in two kinds: GNU's gives the text (maybe not in the buffer), the XSI one
// fills the buffer and gives 0.
[[maybe_unused]] const char* text_of(const char* text, const char*) { return text; }
[[maybe_unused]] const char* text_of(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}

}  // namespace

std::string system_error_text(int error) {
    char buffer[256] = {};
    if (const char* text = text_of(::strerror_r(error, buffer, sizeof buffer), buffer)) {
        return text;
    }
    std::snprintf(buffer, sizeof buffer, "Unknown error %d", error);
    return buffer;
}

}  // namespace tavrin
