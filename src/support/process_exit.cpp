#include "support/process_exit.hpp"

#include <vector>

namespace tavrin {

namespace {

std::vector<void (*)()>& exit_actions() {
    static std::vector<void (*)()> actions;
    return actions;
}

}  // namespace

void add_exit_action(void (*action)()) { exit_actions().push_back(action); }

void run_exit_actions() {
    std::vector<void (*)()>& actions = exit_actions();
    while (!actions.empty()) {
        void (*const action)() = actions.back();
        actions.pop_back();
        action();
    }
}

}  // namespace tavrin
