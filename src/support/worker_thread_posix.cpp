#include "support/worker_thread.hpp"

#include <pthread.h>
#include <signal.h>

namespace tavrin {

void keep_signals_off_this_thread() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

}  // namespace tavrin
