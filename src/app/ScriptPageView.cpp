#include "app/ScriptPageView.h"

#include "app/ScriptContext.h"

void ScriptPageView::navigate(const std::string&) {}

void ScriptPageView::runScript(const std::string& script) { context_.evaluate(script, "event"); }
