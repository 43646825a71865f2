#pragma once

#include <functional>
#include <glib.h>

// The one handler of SIGINT and SIGTERM, for every host. The first signal reaches the
// handler on the main loop (once); from then on wakeFd() is readable, so a blocking read can
// give up. The run then has graceSeconds to end. When it has not, or on a second signal:
// - built without giveUp (the command line), the process ends at once by that signal, even
//   while the main loop is busy;
// - built with giveUp (the window, the headless host), giveUp runs on the main loop, so
//   the host still closes in order.
class InterruptSignals {
public:
    using Handler = std::function<void(int signal)>;
    // How long a run may take to end after the first signal, whatever the host.
    static constexpr unsigned kGraceSeconds = 10;

    explicit InterruptSignals(Handler handler, unsigned graceSeconds = kGraceSeconds);
    InterruptSignals(Handler handler, std::function<void()> giveUp, unsigned graceSeconds = kGraceSeconds);
    // Back to the default actions.
    ~InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // The first signal received, 0 before any.
    int received() const;
    int wakeFd() const { return pipe_[0]; }
    // Runs the handler now (main thread) when a signal came and it has not run yet.
    void deliver();
    // The run is ending in order: the grace time no longer applies.
    void cancelGrace();

    // Ends the process by signal (default action), as a program that did not catch it.
    [[noreturn]] static void endBySignal(int signal);

private:
    static gboolean onWake(gint fd, GIOCondition, gpointer self);
    static gboolean onGraceOver(gpointer self);
    void runGiveUp();

    Handler handler_;
    std::function<void()> giveUp_;
    unsigned graceSeconds_;
    int pipe_[2] = {-1, -1};
    guint watch_ = 0;
    guint grace_ = 0;
    bool delivered_ = false;
    bool gaveUp_ = false;
};
