// What must happen whenever the process ends normally, whoever ends it.
#pragma once

namespace tavrin {

// Registers an action (putting the terminal back, for instance); they run last added first.
void add_exit_action(void (*action)());

// Runs the registered actions once each; called at the end of the process before the files
// are closed.
void run_exit_actions();

}  // namespace tavrin
