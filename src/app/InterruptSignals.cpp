#include "app/InterruptSignals.h"

#include <csignal>
#include <fcntl.h>
#include <glib-unix.h>
#include <unistd.h>

namespace {

// Shared with the signal handlers (one instance at a time).
volatile sig_atomic_t firstSignal = 0;
volatile sig_atomic_t signalCount = 0;
volatile sig_atomic_t wakeWrite = -1;
// Whether a second signal and the grace's end end the process inside the handlers.
volatile sig_atomic_t endInHandler = 1;
unsigned graceTime = InterruptSignals::kGraceSeconds;

void setAction(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

void wake() {
    if (wakeWrite < 0) return;
    char byte = 1;
    ssize_t ignored = write(wakeWrite, &byte, 1);
    (void)ignored;
}

void onSignal(int signal) {
    if (firstSignal && endInHandler) InterruptSignals::endBySignal(signal);
    if (signalCount < 2) signalCount = signalCount + 1;
    if (!firstSignal) {
        firstSignal = signal;
        if (endInHandler) alarm(graceTime);
    }
    wake();
}

void onAlarm(int) { InterruptSignals::endBySignal(firstSignal ? firstSignal : SIGTERM); }

}  // namespace

InterruptSignals::InterruptSignals(Handler handler, unsigned graceSeconds)
    : InterruptSignals(std::move(handler), nullptr, graceSeconds) {}

InterruptSignals::InterruptSignals(Handler handler, std::function<void()> giveUp, unsigned graceSeconds)
    : handler_(std::move(handler)), giveUp_(std::move(giveUp)), graceSeconds_(graceSeconds) {
    if (!g_unix_open_pipe(pipe_, FD_CLOEXEC, nullptr)) pipe_[0] = pipe_[1] = -1;
    if (pipe_[1] >= 0) fcntl(pipe_[1], F_SETFL, fcntl(pipe_[1], F_GETFL) | O_NONBLOCK);
    // Closing in order, the main loop drains the pipe: its reads must not block.
    if (giveUp_ && pipe_[0] >= 0) fcntl(pipe_[0], F_SETFL, fcntl(pipe_[0], F_GETFL) | O_NONBLOCK);
    firstSignal = 0;
    signalCount = 0;
    endInHandler = giveUp_ ? 0 : 1;
    graceTime = graceSeconds;
    wakeWrite = pipe_[1];
    if (pipe_[0] >= 0) watch_ = g_unix_fd_add(pipe_[0], G_IO_IN, &InterruptSignals::onWake, this);
    if (endInHandler) setAction(SIGALRM, onAlarm);
    setAction(SIGINT, onSignal);
    setAction(SIGTERM, onSignal);
}

InterruptSignals::~InterruptSignals() {
    setAction(SIGINT, SIG_DFL);
    setAction(SIGTERM, SIG_DFL);
    if (endInHandler) {
        alarm(0);
        setAction(SIGALRM, SIG_DFL);
    }
    wakeWrite = -1;
    if (watch_) g_source_remove(watch_);
    if (grace_) g_source_remove(grace_);
    for (int fd : pipe_)
        if (fd >= 0) close(fd);
}

int InterruptSignals::received() const { return firstSignal; }

void InterruptSignals::deliver() {
    if (delivered_ || !firstSignal) return;
    delivered_ = true;
    if (giveUp_ && graceSeconds_ && !grace_)
        grace_ = g_timeout_add_seconds(graceSeconds_, &InterruptSignals::onGraceOver, this);
    if (handler_) handler_(firstSignal);
}

void InterruptSignals::cancelGrace() {
    if (endInHandler) alarm(0);
    if (grace_) g_source_remove(grace_);
    grace_ = 0;
}

gboolean InterruptSignals::onWake(gint fd, GIOCondition, gpointer self) {
    auto* signals = static_cast<InterruptSignals*>(self);
    if (!signals->giveUp_) {
        signals->watch_ = 0;
        signals->deliver();
        return G_SOURCE_REMOVE;  // the pipe stays readable: later reads see the signal too
    }
    // Closing in order: every signal is read here, and a second one gives up waiting.
    char bytes[16];
    while (read(fd, bytes, sizeof bytes) > 0) {
    }
    signals->deliver();
    if (signalCount >= 2) signals->runGiveUp();
    return G_SOURCE_CONTINUE;
}

gboolean InterruptSignals::onGraceOver(gpointer self) {
    auto* signals = static_cast<InterruptSignals*>(self);
    signals->grace_ = 0;
    signals->runGiveUp();
    return G_SOURCE_REMOVE;
}

void InterruptSignals::runGiveUp() {
    if (gaveUp_) return;
    gaveUp_ = true;
    cancelGrace();
    giveUp_();
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
