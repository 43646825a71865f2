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
    std::string tokenFile;  // --token-file PATH: the headless page's token, kept from run to run
    bool makeCatalogue = false;
    std::string catalogueFolder;  // --make-catalogue FOLDER
    std::string error;  // a malformed option
    std::vector<std::string> pageArgs;
};
Options parseOptions(int argc, char** argv);
// The first page argument when it is a mistake: an unknown option, or a bare word that
// names no file (a mistyped command). "" when it is a file, an address or -url.
std::string unusableFirstArgument(const std::vector<std::string>& pageArgs);
// Existing files named relative to this process's folder get their whole path: the
// window that takes them over runs in another folder.
void absoluteFileArguments(std::vector<std::string>& pageArgs);
// The executable's file name without folder and extension.
std::string applicationName(const std::string& program);
