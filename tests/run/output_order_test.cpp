// Which outputs of a run wait for each other: those that may be one file, as file systems that
// fold letter case, drop trailing dots, compose accents or follow links would have it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.hpp"
#include "run/output_order.hpp"

namespace tavrin {
namespace {

bool second_waits(const std::string& earlier, const std::string& later) {
    const JobOrder order = order_of_outputs({earlier, later}).back();
    return order.all_before >= 1 || std::count(order.after.begin(), order.after.end(), 0) > 0;
}

TEST(OutputOrder, AnOutputThatMayBeAnEarlierOnesFileWaitsForIt) {
    test::ScratchDir dir;
    dir.write("a.s2p", "");
    std::error_code no_links;  // where the file system has none, the two names stay apart
    std::filesystem::create_hard_link(dir.path() / "a.s2p", dir.path() / "b.s2p", no_links);
#ifndef _WIN32
    std::filesystem::create_symlink("elsewhere.s2p", dir.path() / "link.s2p");
#endif
    struct Case {
        std::string earlier, later;
        bool waits;
    };
    const std::vector<Case> cases = {
        {"out/a.s2p", "out/A.S2P", true},                         // Windows, macOS
        {"out/a.s2p", "out/a.s2p. .", true},                      // Windows drops them
        {"out/\xC3\xA9.s2p", "out/e\xCC\x81.s2p", true},          // composed, decomposed
        {"out/\xC3\xA9.s2p", "out/\xC3\x89.s2p", true},           // the two cases of e acute
        {"out/PROGRA~1.s2p", "out/b.s2p", true},                  // a short name: any file
        {dir.file("a.s2p"), dir.file("b.s2p"), !no_links},        // one file
#ifndef _WIN32
        {dir.file("c.s2p"), dir.file("link.s2p"), true},          // a link: any file
        {dir.file("link.s2p"), dir.file("d.s2p"), true},
#endif
        {"out/a.s2p", "out/b.s2p", false},
        {"out/ab.s2p", "out/a.s2p", false},
        {"out/\xC3\xA9t\xC3\xA9.s2p", "out/\xC3\xA9.s2p", false},
        {"o~ld/a.s2p", "o~ld/b.s2p", false},                      // the folder is theirs alike
    };
    for (const Case& c : cases) {
        EXPECT_EQ(second_waits(c.earlier, c.later), c.waits) << c.earlier << " " << c.later;
    }
}

}  // namespace
}  // namespace tavrin
