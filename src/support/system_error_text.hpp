// The system's words for an error number, safe to ask for on any thread (std::strerror may
// share one buffer between them).
#pragma once

#include <string>

namespace tavrin {

// What std::strerror says of error, as a copy of its own.
std::string system_error_text(int error);

}  // namespace tavrin
