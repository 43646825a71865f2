#pragma once

#include <string>
#include <vector>

// The "app" "command" events for a command line: "open" per argument, "url" for every
// argument after "-url" (which itself gives no event).
std::vector<std::string> commandLineEvents(const std::vector<std::string>& args);

// The program's own options, and what remains for the page.
struct Options {
    bool headless = false;
    bool help = false;
    bool version = false;
    unsigned port = 0;
    bool makeCatalogue = false;
    std::string catalogueFolder;  // --make-catalogue FOLDER
    std::string error;  // a malformed option
    std::vector<std::string> pageArgs;
};
Options parseOptions(int argc, char** argv);
// The executable's file name without folder and extension.
std::string applicationName(const std::string& program);
