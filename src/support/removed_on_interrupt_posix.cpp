#include "support/removed_on_interrupt.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tavrin {

namespace {

// Room for a few files per job (an output, its spool, what comes beside them) for every
// thread a run may have.
constexpr int slot_count = 4 * 64;
constexpr std::size_t longest_name = 4096;
// SIGPIPE too: standard output closed early ends a run whose Touchstone 2.0 body is spooled.
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// A slot is claimed by one thread (free to writing), its name written, then marked live. The
// handler marks a live slot removing before it reads the name; a removing slot is never given
// out again, so the name cannot change under the handler while other threads go on.
enum SlotState : int { free_slot, writing, live, removing };
char names[slot_count][longest_name];
std::atomic<int> states[slot_count];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads these");

void on_ending_signal(int signal_number) {
    const int saved_errno = errno;
    for (int i = 0; i < slot_count; ++i) {
        int state = live;
        // A second signal may enter while the first removes: both may remove the same file.
        if (states[i].compare_exchange_strong(state, removing) || state == removing) {
            ::unlink(names[i]);
        }
    }
    ::raise(signal_number);  // the default action, put back when this handler was entered
    errno = saved_errno;
}

void install_once() {
    static const bool installed = [] {
        for (const int signal_number : ending_signals) {
            struct sigaction previous {};
            ::sigaction(signal_number, nullptr, &previous);
            if (previous.sa_handler == SIG_IGN) continue;  // nohup and friends: stay ignored
            struct sigaction action {};
            action.sa_handler = on_ending_signal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND | SA_NODEFER;
            ::sigaction(signal_number, &action, nullptr);
        }
        return true;
    }();
    (void)installed;
}

}  // namespace

RemovedOnInterrupt::RemovedOnInterrupt(const std::string& path) {
    if (path.empty() || path.size() >= longest_name) return;
    install_once();
    for (int i = 0; i < slot_count; ++i) {
        int state = free_slot;
        if (!states[i].compare_exchange_strong(state, writing)) continue;
        std::memcpy(names[i], path.c_str(), path.size() + 1);
        states[i].store(live);
        slot_ = i;
        return;
    }
}

RemovedOnInterrupt::~RemovedOnInterrupt() {
    if (slot_ < 0) return;
    // Left as it is when the handler has begun to remove it: the process is ending.
    int state = live;
    states[slot_].compare_exchange_strong(state, free_slot);
}

}  // namespace tavrin
