#pragma once

#include "app/CommandLine.h"

// Runs Tarn in its window (GTK must be initialised): one instance per user, the page
// in a WebKitGTK view. Returns the process exit code.
int runWindow(const std::string& appName, const Options& options);

// The page the window opens first: index.html, or the page of the unpacked bundle that
// TARN_START_PAGE names (a relative path; tests use it to open their own pages).
std::string startPage();
