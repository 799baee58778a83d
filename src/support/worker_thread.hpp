// What a helper thread of the record loop sets up for itself.
#pragma once

namespace tavrin {

// Signals go to the main thread only: the console's handlers expect to run there, and a
// helper thread has nothing to put back.
void keep_signals_off_this_thread();

}  // namespace tavrin
