#include "stop_signals.h"

#include <cerrno>
#include <csignal>

#include <unistd.h>

namespace micr::batch {
namespace {

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t caught = 0;
volatile std::sig_atomic_t die_at_once = 0;

// Async-signal-safe: sigaction and raise alone.
void restore_and_raise(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

extern "C" void on_stop_signal(int signal) {
    const int saved = errno;
    // Raised while the handler runs, the signal is blocked until it returns
    // (every stop signal is in the handler's mask), and then kills.
    if (die_at_once != 0 || caught != 0)
        restore_and_raise(signal);
    else
        caught = signal;
    errno = saved;
}

}  // namespace

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (const int signal : stop_signals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = 0;  // no SA_RESTART
    for (const int signal : stop_signals) {
        // A signal ignored by whoever started micrparse stays ignored, as the shell meant.
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

int stop_signal() { return caught; }

nothing_held::nothing_held() { die_at_once = 1; }
nothing_held::~nothing_held() { die_at_once = 0; }

stop_signals_blocked::stop_signals_blocked() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : stop_signals) sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
}

stop_signals_blocked::~stop_signals_blocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

void die_by(int signal) {
    restore_and_raise(signal);
    // The signal was blocked or ignored after all: the exit status a shell gives a signal's death.
    _exit(128 + signal);
}

}  // namespace micr::batch
