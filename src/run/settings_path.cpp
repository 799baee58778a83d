#include "run/settings_path.hpp"

namespace tavrin {

namespace {

bool is_bare_drive(std::string_view directory) {
    if (directory.size() != 2 || directory[1] != ':') return false;
    const char letter = directory[0];
    return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

}  // namespace

std::string settings_file_path(std::string_view executable_path, char separator) {
    const std::size_t last = executable_path.rfind(separator);
    std::string path(last == std::string_view::npos ? std::string_view{}
                                                    : executable_path.substr(0, last));
    if (is_bare_drive(path)) path += separator;
    path += separator;
    path += settings_file_name;
    return path;
}

}  // namespace tavrin
