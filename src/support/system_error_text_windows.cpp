#include "support/system_error_text.hpp"

#include <cstring>

namespace tavrin {

std::string system_error_text(int error) {
    char buffer[256] = {};
    if (::strerror_s(buffer, sizeof buffer, error) != 0) return "Unknown error";
    return buffer;
}

}  // namespace tavrin
