#include "support/removed_on_interrupt.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tavrin {

namespace {

constexpr int slot_count = 3;
constexpr std::size_t longest_name = 4096;
// SIGPIPE too: standard output closed early ends a run whose Touchstone 2.0 body is spooled.
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// Written by the converting thread before the slot is marked live; read by the handler.
char names[slot_count][longest_name];
std::atomic<bool> live[slot_count];
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads these");

void on_ending_signal(int signal_number) {
    const int saved_errno = errno;
    for (int i = 0; i < slot_count; ++i) {
        if (live[i].load()) ::unlink(names[i]);
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
        if (live[i].load()) continue;
        std::memcpy(names[i], path.c_str(), path.size() + 1);
        live[i].store(true);
        slot_ = i;
        return;
    }
}

RemovedOnInterrupt::~RemovedOnInterrupt() {
    if (slot_ >= 0) live[slot_].store(false);
}

}  // namespace tavrin
