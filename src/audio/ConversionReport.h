#pragma once

#include <functional>
#include <string>

class JavaScriptInterface;

// Posts "converted" (with the outputs' JSON array text) or "convertfailed" for the source.
void reportConversion(JavaScriptInterface* controller, bool ok, const std::string& source,
                      const std::string& outputs);
// The one-element JSON array text of an output path.
std::string singleOutput(const std::string& path);
// Runs a job so that nothing it throws can end the process: a throw is a failure.
bool runGuarded(const std::function<bool()>& job);
