#pragma once

#include "webview/PageView.h"

class ScriptContext;

// The command line's "page": the controller's scripts (event delivery) run in a script
// context instead of a web view. Main thread only.
class ScriptPageView : public PageView {
public:
    explicit ScriptPageView(ScriptContext& context) : context_(context) {}

    // There is no document to leave: addresses are ignored.
    void navigate(const std::string& url) override;
    void runScript(const std::string& script) override;

private:
    ScriptContext& context_;
};
