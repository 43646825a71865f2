#include "app/InterruptSignals.h"

#include <csignal>
#include <fcntl.h>
#include <glib-unix.h>
#include <unistd.h>

namespace {

// Shared with the signal handlers (one instance at a time).
volatile sig_atomic_t firstSignal = 0;
volatile sig_atomic_t wakeWrite = -1;
unsigned graceTime = 10;

void setAction(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

void onSignal(int signal) {
    if (firstSignal) InterruptSignals::endBySignal(signal);
    firstSignal = signal;
    alarm(graceTime);
    if (wakeWrite >= 0) {
        char byte = 1;
        ssize_t ignored = write(wakeWrite, &byte, 1);
        (void)ignored;
    }
}

void onGraceOver(int) { InterruptSignals::endBySignal(firstSignal ? firstSignal : SIGTERM); }

}  // namespace

InterruptSignals::InterruptSignals(Handler handler, unsigned graceSeconds) : handler_(std::move(handler)) {
    if (!g_unix_open_pipe(pipe_, FD_CLOEXEC, nullptr)) pipe_[0] = pipe_[1] = -1;
    if (pipe_[1] >= 0) fcntl(pipe_[1], F_SETFL, fcntl(pipe_[1], F_GETFL) | O_NONBLOCK);
    firstSignal = 0;
    graceTime = graceSeconds;
    wakeWrite = pipe_[1];
    if (pipe_[0] >= 0) watch_ = g_unix_fd_add(pipe_[0], G_IO_IN, &InterruptSignals::onWake, this);
    setAction(SIGALRM, onGraceOver);
    setAction(SIGINT, onSignal);
    setAction(SIGTERM, onSignal);
}

InterruptSignals::~InterruptSignals() {
    setAction(SIGINT, SIG_DFL);
    setAction(SIGTERM, SIG_DFL);
    alarm(0);
    setAction(SIGALRM, SIG_DFL);
    wakeWrite = -1;
    if (watch_) g_source_remove(watch_);
    for (int fd : pipe_)
        if (fd >= 0) close(fd);
}

int InterruptSignals::received() const { return firstSignal; }

void InterruptSignals::deliver() {
    if (delivered_ || !firstSignal) return;
    delivered_ = true;
    if (handler_) handler_(firstSignal);
}

void InterruptSignals::cancelGrace() { alarm(0); }

gboolean InterruptSignals::onWake(gint, GIOCondition, gpointer self) {
    auto* signals = static_cast<InterruptSignals*>(self);
    signals->watch_ = 0;
    signals->deliver();
    return G_SOURCE_REMOVE;  // the pipe stays readable: later reads see the signal too
}

void InterruptSignals::endBySignal(int signal) {
    // Async-signal-safe only: this also runs inside the handlers.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}
