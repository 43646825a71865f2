#pragma once

#include <functional>
#include <string>

// The one-element JSON array text of an output path.
std::string singleOutput(const std::string& path);
// Runs a job so that nothing it throws can end the process: a throw is a failure.
bool runGuarded(const std::function<bool()>& job);
