#pragma once

#include "app/PageScripts.h"

#include <functional>
#include <glib.h>
#include <memory>

class AppBridge;
class ScriptContext;
class ScriptPageView;

// The headless host's own way out of edit mode, for when no page answers on the way out
// (no tab, a tab in the background, a tab that took the exit command and then stalled):
// the page's DOM-free scripts run in a script context over the host's bridge, and their
// leave step (Tarn.leaveEditMode) switches off every looper whose MIDI ports the bridge
// holds. From start() on, the bridge's events go to that context. Main thread only.
class EditModeExit {
public:
    static constexpr unsigned kLimitSeconds = 5;

    EditModeExit(AppBridge& bridge, PageScriptList scripts);
    ~EditModeExit();
    EditModeExit(const EditModeExit&) = delete;
    EditModeExit& operator=(const EditModeExit&) = delete;

    // Once: done runs when every held looper answered or gave up, at the latest after
    // kLimitSeconds; at once when the bridge holds no MIDI port.
    void start(std::function<void()> done);
    bool started() const { return started_; }

private:
    void finish();
    static gboolean onLimit(gpointer self);

    AppBridge& bridge_;
    PageScriptList scripts_;
    std::function<void()> done_;
    std::unique_ptr<ScriptContext> context_;
    std::unique_ptr<ScriptPageView> view_;
    guint limit_ = 0;
    bool started_ = false;
    bool finished_ = false;
};
