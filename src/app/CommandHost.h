#pragma once

#include <string>
#include <vector>

// The subcommands of the command line (argv[1]).
bool isCommandName(const std::string& name);
// The subcommand a mistyped name most likely meant (at most two edits away), or "".
std::string nearestCommandName(const std::string& name);

// Runs one command without a window: the native objects of the window, and the page's own
// DOM-free scripts (the list in js/cli-scripts.json of the page root) in a script context,
// then Tarn.cli.run(). args is the command line from the subcommand on. Returns the exit
// status; a run ended by SIGINT or SIGTERM ends the process by that signal instead.
// TARN_PAGE_ROOT, when set, is the page root instead of the unpacked bundle (tests).
int runCommand(const std::string& appName, const std::vector<std::string>& args);
