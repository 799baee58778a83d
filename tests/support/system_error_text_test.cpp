// The system's words for an error, as std::strerror gives them on one thread.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "support/system_error_text.hpp"

namespace tavrin {
namespace {

TEST(SystemErrorText, IsWhatStrerrorSays) {
    for (const int error : {ENOENT, EACCES, EISDIR, ENOSPC, EXDEV, 0, 12345}) {
        EXPECT_EQ(system_error_text(error), std::string(std::strerror(error))) << error;
    }
}

}  // namespace
}  // namespace tavrin
