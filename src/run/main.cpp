#include <clocale>

#include "run/driver.hpp"
#include "support/file_slots.hpp"

int main(int argc, char** argv) {
    // The user's locale classifies characters; numbers are always read and written with a point.
    std::setlocale(LC_CTYPE, "");
    tavrin::exit_with_status(tavrin::run_program(argc, argv));
}
