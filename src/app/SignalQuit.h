#pragma once

#include <functional>
#include <glib.h>

class JavaScriptInterface;

// SIGINT and SIGTERM end Tarn the way the window's close button does: the page is sent
// the "exit" command, so it can leave the looper's edit mode and release its volume
// before it asks the host to quit. When no page takes events, when the page has not
// quit within the grace time, or on a second signal, closeNow runs at once.
class SignalQuit {
public:
    SignalQuit(JavaScriptInterface& page, std::function<void()> closeNow, unsigned graceMs = 8000);
    ~SignalQuit();
    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

private:
    static gboolean onSignal(gpointer self);
    static gboolean onGraceOver(gpointer self);
    void closeNow();

    JavaScriptInterface& page_;
    std::function<void()> closeNow_;
    unsigned graceMs_;
    guint term_ = 0;
    guint intr_ = 0;
    guint grace_ = 0;
    bool asked_ = false;
    bool closed_ = false;
};
