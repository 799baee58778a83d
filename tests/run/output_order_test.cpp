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

bool waits_for_first(const std::vector<std::string>& outputs) {
    const std::vector<JobOrder> order = order_of_outputs(outputs);
    const std::vector<std::size_t>& after = order.back().after;
    return order.back().all_before >= 1 || std::find(after.begin(), after.end(), 0) != after.end();
}

TEST(OutputOrder, AnOutputThatMayBeAnEarlierOnesFileWaitsForIt) {
    struct Case {
        const char* earlier;
        const char* later;
        bool waits;
    };
    const std::vector<Case> cases = {
        {"out/a.s2p", "out/A.S2P", true},                          // Windows, macOS
        {"out/a.s2p", "out/a.s2p. .", true},                       // Windows drops these
        {"out/\xC3\xA9.s2p", "out/e\xCC\x81.s2p", true},           // composed, decomposed
        {"out/x\xC3\xA9y.s2p", "out/xe\xCC\x81\xCC\x81y.s2p", true},
        {"out/\xC3\xA9.s2p", "out/\xC3\x89.s2p", true},            // the two cases of e acute
        {"out/PROGRA~1.s2p", "out/b.s2p", true},                   // a short name: any file
        {"out/a.s2p", "out/LONGNA~1.s2p", true},
        {"out/a.s2p", "out/b.s2p", false},
        {"out/ab.s2p", "out/a.s2p", false},
        {"out/a.s2p", "out/a.s3p", false},
        {"out/\xC3\xA9t\xC3\xA9.s2p", "out/\xC3\xA9.s2p", false},
        {"o~ld/a.s2p", "o~ld/b.s2p", false},                       // the folder is theirs alike
    };
    for (const Case& c : cases) {
        EXPECT_EQ(waits_for_first({c.earlier, c.later}), c.waits) << c.earlier << " " << c.later;
    }
}

TEST(OutputOrder, NamesOfOneExistingFileAndLinksWait) {
    test::ScratchDir dir;
    dir.write("a.s2p", "");
    std::error_code error;
    std::filesystem::create_hard_link(dir.path() / "a.s2p", dir.path() / "b.s2p", error);
    if (!error) {
        EXPECT_TRUE(waits_for_first({dir.file("a.s2p"), dir.file("b.s2p")}));
    }
#ifndef _WIN32
    std::filesystem::create_symlink("elsewhere.s2p", dir.path() / "link.s2p");
    EXPECT_TRUE(waits_for_first({dir.file("c.s2p"), dir.file("link.s2p")}));
    EXPECT_TRUE(waits_for_first({dir.file("link.s2p"), dir.file("d.s2p")}));
#endif
}

}  // namespace
}  // namespace tavrin
