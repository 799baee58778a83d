#include "run/output_order.hpp"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <utility>

#include "support/file_identity.hpp"

namespace tavrin {

namespace {

constexpr char beyond_ascii = '\x80';

// U+0300 to U+036F: CC 80 to CD AF.
bool combining_accent_at(std::string_view name, std::size_t i) {
    if (i + 1 >= name.size()) return false;
    const auto lead = static_cast<unsigned char>(name[i]);
    const auto next = static_cast<unsigned char>(name[i + 1]);
    return (lead == 0xCC && next >= 0x80 && next <= 0xBF) ||
           (lead == 0xCD && next >= 0x80 && next <= 0xAF);
}

// The name after the last separator, either one counted, its bytes as they are (a path object
// would convert them through the code page on Windows).
std::string_view file_name_of(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

void wait_for(JobOrder& order, std::size_t earlier) {
    if (std::find(order.after.begin(), order.after.end(), earlier) == order.after.end()) {
        order.after.push_back(earlier);
    }
}

// Makes job wait for the last earlier job of key, and become the last of it.
template <class Key>
void follow(std::map<Key, std::size_t>& last, const Key& key, std::size_t job, JobOrder& order) {
    const auto [at, first] = last.try_emplace(key, job);
    if (!first) {
        wait_for(order, at->second);
        at->second = job;
    }
}

}  // namespace

std::string folded_name(std::string_view name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    std::string folded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            folded += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            continue;
        }
        if (combining_accent_at(name, i) && !folded.empty() && folded.back() != beyond_ascii) {
            folded.pop_back();
        }
        if (folded.empty() || folded.back() != beyond_ascii) folded += beyond_ascii;
    }
    return folded;
}

std::vector<JobOrder> order_of_outputs(const std::vector<std::string>& outputs) {
    std::vector<JobOrder> order(outputs.size());
    std::map<std::string, std::size_t> last_of_name;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> last_of_file;
    // Each job that could reach any file waited for all before it: later ones wait for it.
    std::optional<std::size_t> last_of_any;
    for (std::size_t job = 0; job < outputs.size(); ++job) {
        const std::string_view name = file_name_of(outputs[job]);
        std::error_code error;
        if (name.find('~') != std::string_view::npos ||
            std::filesystem::is_symlink(outputs[job], error)) {
            order[job].all_before = job;
            last_of_any = job;
            continue;
        }
        if (last_of_any) wait_for(order[job], *last_of_any);
        follow(last_of_name, folded_name(name), job, order[job]);
        const FileIdentity file = identity_of_path(outputs[job]);
        if (file.known) {
            follow(last_of_file, std::make_pair(file.volume, file.file), job, order[job]);
        }
    }
    return order;
}

}  // namespace tavrin
