// The order the jobs of one run keep between themselves, so that two inputs of one output are
// caught as a run converting one file after the other catches them: an input whose output an
// earlier input wrote is refused, and where the earlier one failed the later one is written.
// A job whose output may be the file of an earlier job starts only once that job is done.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/file_pool.hpp"

namespace tavrin {

// Output names "may be one file" when their folded names are equal, when both reach one
// existing file, or when either could reach any file: a link, or a name with '~' (a Windows
// short name may stand for any long one). Such a job waits for every job before it.
std::vector<JobOrder> order_of_outputs(const std::vector<std::string>& outputs);

// A file name in the form under which two names may reach one file on some file system:
// ASCII letters in lower case, trailing dots and blanks dropped (Windows drops them), each run
// of bytes beyond ASCII one mark, and a character followed by combining accents (U+0300 to
// U+036F in UTF-8) one of them, so that composed and decomposed forms agree.
std::string folded_name(std::string_view name);

}  // namespace tavrin
