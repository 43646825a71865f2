#pragma once

#include "app/InterruptSignals.h"

#include <cstdint>
#include <functional>
#include <glib.h>

class JavaScriptInterface;

// SIGINT and SIGTERM end the window or the headless host the way the window's close button
// does: the page is sent the "exit" command, so it can leave the looper's edit mode and
// release its volume before it asks the host to quit. closeNow runs at once when no page
// takes events, when the page has not taken the command within kAnswerSeconds (no tab
// left, a tab in the background whose timers hardly run), when it has not quit within the
// grace time (InterruptSignals::kGraceSeconds), or on a second signal.
class SignalQuit {
public:
    static constexpr unsigned kAnswerSeconds = 2;

    SignalQuit(JavaScriptInterface& page, std::function<void()> closeNow);
    ~SignalQuit();
    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

private:
    void onFirstSignal();
    void closeNow();
    static gboolean onAnswerTime(gpointer self);

    JavaScriptInterface& page_;
    std::function<void()> closeNow_;
    bool closed_ = false;
    uint64_t exitEvent_ = 0;
    guint answerTimer_ = 0;
    InterruptSignals signals_;
};
