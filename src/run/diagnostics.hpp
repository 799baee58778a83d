// The one line --verbose prints: what a run did, or why it could not. Only worded here, after
// the run, from the values the checks, readers and writer handed to the driver.
#pragma once

#include <string>

#include "run/driver.hpp"
#include "support/failure.hpp"

namespace tavrin {

// The files of a run as opened: each base name with ".s2p"; the file form's picture.
struct RunFileNames {
    std::string forward;
    std::string reverse;
    std::string output;
    std::string picture;
};

// "tavrin: " and the cause in plain words, naming the file and, where there is one, the line.
std::string describe_failure(const Failure& failure, const RunFileNames& names);

// "tavrin: wrote " the output, the records, the references converted from and to, the format.
std::string describe_success(const RunReport& report, const RunFileNames& names);

}  // namespace tavrin
