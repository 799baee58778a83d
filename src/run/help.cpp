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
    "Usage: tavrin [OPTION...] --to IMPEDANCE INPUT OUTPUT\n"
    "       tavrin [OPTION...] --to IMPEDANCE --out-dir DIR INPUT...\n"
    "       tavrin [OPTION...] FORWARD REVERSE OUTPUT IMPEDANCE\n"
    "       tavrin              asks for those four in a small console dialogue\n"
    "       tavrin --help       this text (also -h)\n"
    "       tavrin --version    the version (also -V)\n"
    "\n"
    "Renormalises Touchstone S-parameters of any port count (.s1p to .sNp, or a\n"
    "Touchstone 2.0 .ts file), and a two-port's noise parameters, to new real\n"
    "reference impedances, written in the input's own data format (RI, MA or DB).\n"
    "The references are read as the file states them: one R for every port, one per\n"
    "port (R 50 75, [Reference] 50 75), or a field solver's Port Impedance comments\n"
    "after each record.\n"
    "\n"
    "File form (--to): names taken as written; - reads standard input (give --ports)\n"
    "or writes standard output. An output appears only once it is complete.\n"
    "  --to Z[,Z...]   the new reference: one for every port, or one per port\n"
    "                    tavrin --to 75 antenna.s1p antenna75.s1p\n"
    "                    tavrin --to 50,200 balun.s2p balun.ts  (written as 2.0)\n"
    "  --out-dir DIR   convert each INPUT to DIR under its own name, several at once\n"
    "                    tavrin --to 42.5 --out-dir ch42 meas/*.s4p\n"
    "  --ports N       the port count where the name and file do not give it\n"
    "                    tavrin --ports 4 --to 75 - - < in.s4p > out.s4p\n"
    "  --mixed-mode P,N[:P,N...]\n"
    "                  write the modes of these differential pairs, P the positive\n"
    "                  line: the pairs' D modes, their C modes, then the other\n"
    "                  ports single-ended (S); --to stays the reference per line\n"
    "                    tavrin --to 42.5 --mixed-mode 1,3:2,4 ch.s4p ch85.ts\n"
    "  --single-ended  write a mixed-mode file's data single-ended\n"
    "  --plot[=FILE]   beside each output a picture of the conversion, OUTPUT.svg\n"
    "                  (or FILE, for one input): |S| in dB and a Smith chart, as\n"
    "                  read and as converted, and the noise data\n"
    "                    tavrin --to 75 --plot amp.s2p amp75.s2p\n"
    "References per port (--to 50,200) or a .ts output name give a Touchstone\n"
    "2.0 file; so does mixed-mode data, whatever the name: [Reference] per line,\n"
    "each D mode at twice its pair's, each C mode at half, [Mixed-Mode Order].\n"
    "\n"
    "Four-argument form: a two-port from one complete file, or from the two files of\n"
    "a forward/reverse measurement.\n"
    "FORWARD, REVERSE and OUTPUT are base names: .s2p is always appended.\n"
    "IMPEDANCE is the new reference impedance in ohms, a number above 0 (75, 75ohm).\n"
    "  Single-file mode: FORWARD and REVERSE are the same name; each data line of\n"
    "    that one file holds S11, S21, S12 and S22.\n"
    "  Two-file mode: different names; the forward file's first two pairs are S11\n"
    "    and S21, the reverse file's (device turned round) S22 and S12.\n"
    "With exactly four arguments and no options nothing is printed. Any other\n"
    "arguments, unless they start with an option, open the dialogue.\n"
    "\n"
    "Options of both forms (-- ends the options):\n"
    "  -v, --verbose   one line on standard error per output: what was written,\n"
    "                  or why not\n"
    "                    tavrin -v amp amp amp75 75\n"
    "  --waves=traveling|power|pseudo\n"
    "                  the wave definition for complex port impedances, over the\n"
    "                  file's own statement (default: traveling)\n"
    "                    tavrin --waves=power solver solver solver50 50\n"
    "  --              ends the options: tavrin -- -x -x out 50\n"
    "\n"
    "Environment: TAVRIN_THREADS=N (1 to 64), the threads to share the work; the\n"
    "machine's cores by default.\n"
    "\n"
    "Exit status: 0  every output is complete (four-argument form: the forward\n"
    "                data was read to its end)\n"
    "             1  any failure; with several inputs, at least one failed\n";

}  // namespace

std::string usage_text() { return std::string(usage) + std::string(more_help); }

std::string version_text(std::string_view version) {
    return "tavrin " + std::string(version) + "\n";
}

int answer_help_or_version(bool help, std::string_view version, std::FILE* out) {
    const std::string text = help ? usage_text() : version_text(version);
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    // A closed or full standard output must not pass for a printed answer.
    const bool flushed = std::fflush(out) == 0 && std::ferror(out) == 0;
    return written && flushed ? 0 : 1;
}

}  // namespace tavrin
