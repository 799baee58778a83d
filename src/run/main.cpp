#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/command_line.hpp"
#include "run/diagnostics.hpp"
#include "run/driver.hpp"
#include "run/file_form.hpp"
#include "run/help.hpp"
#include "run/loop_threads.hpp"
#include "support/file_slots.hpp"
#include "support/process_exit.hpp"

namespace {

// The one line --verbose asks for, on standard error once the files are closed, so that it
// tells the final outcome (a write that failed on closing included).
void tell(const tavrin::CommandLine& command, const tavrin::RunReport& report, int status) {
    if (!command.options.verbose || command.mode != tavrin::CommandLine::Mode::run) return;
    const std::vector<std::string>& arguments = command.arguments;
    const tavrin::RunFileNames names{arguments.at(0) + ".s2p", arguments.at(1) + ".s2p",
                                     arguments.at(2) + ".s2p", ""};
    const std::string line = status != 0 ? tavrin::describe_failure(report.failure, names)
                                         : tavrin::describe_success(report, names);
    std::fputs(line.c_str(), stderr);
}

}  // namespace

int main(int argc, char** argv) {
    tavrin::CommandLine command = tavrin::parse_command_line(argc, argv);
    // Read once, here: the record loops are handed their threads as a value.
    command.options.threads = tavrin::loop_threads_from_environment();
    // --help and --version are answered before anything else is touched.
    if (command.mode == tavrin::CommandLine::Mode::help ||
        command.mode == tavrin::CommandLine::Mode::version) {
        return tavrin::answer_help_or_version(command.mode == tavrin::CommandLine::Mode::help,
                                              TAVRIN_VERSION, stdout);
    }
    if (command.mode == tavrin::CommandLine::Mode::refused) {
        // Nothing is opened or created for a command line that cannot be meant.
        std::fprintf(stderr, "tavrin: %s; see tavrin --help\n", command.problem.c_str());
        return 1;
    }
    // The user's locale classifies characters; numbers are always read and written with a point.
    std::setlocale(LC_CTYPE, "");
    if (command.mode == tavrin::CommandLine::Mode::files) {
        const int status = tavrin::run_file_form(command, stderr);
        std::fflush(nullptr);
        std::exit(status);
    }
    // Static: a console control handler may still write the settings file while the process
    // ends, so the slots outlive everything that could call it.
    static tavrin::FileSlots slots;
    tavrin::RunReport report;
    int status = tavrin::run_program(command, slots, report);
    // The terminal is put back before the files are closed.
    tavrin::run_exit_actions();
    status = slots.close_all(status);
    if (status != 0 && !report.failure) {
        // Only the closing could still fail: the output's last bytes.
        report.failure = tavrin::failure_of(tavrin::Cause::write_failed, tavrin::FileRole::output);
        report.failure.system_error = slots.output.error();
    }
    tell(command, report, status);
    std::fflush(nullptr);
    std::exit(status);
}
