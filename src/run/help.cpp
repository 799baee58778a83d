#include "run/help.hpp"

namespace tavrin {

namespace {

#ifdef _WIN32
constexpr std::string_view more_help = "More: README.md and LICENSE beside tavrin.exe.\n";
#else
constexpr std::string_view more_help =
    "More: man tavrin, and /usr/share/doc/tavrin where tavrin came from its package.\n";
#endif

constexpr std::string_view usage =
    "Usage: tavrin FORWARD REVERSE OUTPUT IMPEDANCE\n"
    "       tavrin              asks for the same four in a small console dialogue\n"
    "       tavrin --help       this text (also -h)\n"
    "       tavrin --version    the version (also -V)\n"
    "\n"
    "Renormalises two-port Touchstone S-parameters to a new real reference\n"
    "impedance, written in the input's own data format (RI, MA or DB).\n"
    "\n"
    "FORWARD, REVERSE and OUTPUT are base names: .s2p is always appended.\n"
    "IMPEDANCE is the new reference impedance in ohms, a number above 0 (75, 75ohm).\n"
    "  Single-file mode: FORWARD and REVERSE are the same name; each data line of\n"
    "    that one file holds S11, S21, S12 and S22.\n"
    "  Two-file mode: different names; the forward file's first two pairs are S11\n"
    "    and S21, the reverse file's (device turned round) S22 and S12.\n"
    "With exactly four arguments nothing is printed. Any other arguments, except one\n"
    "of the options above, open the dialogue.\n"
    "\n"
    "Exit status: 0  the forward data was read to its end; OUTPUT.s2p is complete\n"
    "             1  any failure\n";

}  // namespace

std::optional<std::string> help_or_version_text(int argc, const char* const* argv,
                                                std::string_view version) {
    if (argc != 2 || argv[1] == nullptr) return std::nullopt;
    const std::string_view argument = argv[1];
    if (argument == "--help" || argument == "-h") {
        return std::string(usage) + std::string(more_help);
    }
    if (argument == "--version" || argument == "-V") {
        return "tavrin " + std::string(version) + "\n";
    }
    return std::nullopt;
}

std::optional<int> answer_help_or_version(int argc, const char* const* argv,
                                          std::string_view version, std::FILE* out) {
    const std::optional<std::string> text = help_or_version_text(argc, argv, version);
    if (!text) return std::nullopt;
    const bool written = std::fwrite(text->data(), 1, text->size(), out) == text->size();
    // A closed or full standard output must not pass for a printed answer.
    const bool flushed = std::fflush(out) == 0 && std::ferror(out) == 0;
    return written && flushed ? 0 : 1;
}

}  // namespace tavrin
