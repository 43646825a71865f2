#pragma once

#include "app/CommandLine.h"

// Runs Tarn without a window: the page is served on 127.0.0.1 and its address printed
// on standard output; the page pulls its events. Returns the process exit code.
int runHeadless(const std::string& appName, const Options& options);
