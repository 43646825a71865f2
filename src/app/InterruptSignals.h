#pragma once

#include <functional>
#include <glib.h>

// SIGINT and SIGTERM for a command-line run. The first signal reaches the handler on the
// main loop (once); from then on wakeFd() is readable, so a blocking read can give up. A
// second signal, or no end within graceSeconds of the first, ends the process at once by
// that signal, even while the main loop is busy.
class InterruptSignals {
public:
    using Handler = std::function<void(int signal)>;

    InterruptSignals(Handler handler, unsigned graceSeconds = 10);
    // Back to the default actions.
    ~InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // The first signal received, 0 before any.
    int received() const;
    int wakeFd() const { return pipe_[0]; }
    // Runs the handler now (main thread) when a signal came and it has not run yet.
    void deliver();
    // The run is ending in order: the grace timer no longer applies.
    void cancelGrace();

    // Ends the process by signal (default action), as a program that did not catch it.
    [[noreturn]] static void endBySignal(int signal);

private:
    static gboolean onWake(gint fd, GIOCondition, gpointer self);

    Handler handler_;
    int pipe_[2] = {-1, -1};
    guint watch_ = 0;
    bool delivered_ = false;
};
