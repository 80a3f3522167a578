// SIGINT, SIGTERM and SIGHUP as micrparse takes them: the records of the
// lines parsed so far are written, then the process dies by the signal, so
// that whoever started it sees the interrupt.  The handler only notes the
// signal; the loop that parses asks for it after every line.
#pragma once

#include <signal.h>

namespace micr::batch {

// Installs the handlers, without SA_RESTART: a read that waits in the kernel
// returns EINTR when a signal comes.
void catch_stop_signals();

// The stop signal caught, or 0.
int stop_signal();

// Marks a stretch in which nothing is held that is not yet written, such as
// a wait for input right after a flush: a stop signal that comes there kills
// at once, since there is nothing left to write.  A second stop signal kills
// at once wherever it comes, so that a write blocked on a reader who never
// reads cannot keep micrparse alive.
class nothing_held {
public:
    nothing_held();
    ~nothing_held();
    nothing_held(const nothing_held&) = delete;
    nothing_held& operator=(const nothing_held&) = delete;
};

// Blocks the stop signals in the calling thread while it lives.  Threads
// started meanwhile keep them blocked for good, so that a stop signal goes to
// the thread that reads and writes, and cuts short the wait it is in.
class stop_signals_blocked {
public:
    stop_signals_blocked();
    ~stop_signals_blocked();
    stop_signals_blocked(const stop_signals_blocked&) = delete;
    stop_signals_blocked& operator=(const stop_signals_blocked&) = delete;

private:
    sigset_t previous_;
};

// Restores the default action of `signal` and raises it.
[[noreturn]] void die_by(int signal);

}  // namespace micr::batch
