#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "run/driver.hpp"
#include "run/help.hpp"
#include "support/file_slots.hpp"
#include "support/process_exit.hpp"

int main(int argc, char** argv) {
    // --help and --version are answered before anything else is touched.
    if (const auto status = tavrin::answer_help_or_version(argc, argv, TAVRIN_VERSION, stdout)) {
        return *status;
    }
    // The user's locale classifies characters; numbers are always read and written with a point.
    std::setlocale(LC_CTYPE, "");
    // Static: a console control handler may still write the settings file while the process
    // ends, so the slots outlive everything that could call it.
    static tavrin::FileSlots slots;
    int status = tavrin::run_program(argc, argv, slots);
    // The terminal is put back before the files are closed.
    tavrin::run_exit_actions();
    status = slots.close_all(status);
    std::fflush(nullptr);
    std::exit(status);
}
