#include "support/worker_thread.hpp"

namespace tavrin {

// Console control events arrive on a thread of their own on Windows: nothing to do here.
void keep_signals_off_this_thread() {}

}  // namespace tavrin
