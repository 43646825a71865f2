#pragma once

#include <string>

// True for a URL scheme name: a letter, then letters, digits, "+", "-" or ".".
bool isValidSchemeName(const std::string& scheme);
// Registers the program as the user's handler of scheme: a .desktop entry in
// $XDG_DATA_HOME/applications whose command is "<program> -url %u", recorded as the default
// handler of x-scheme-handler/<scheme>. Returns the entry's path, or "" on failure.
std::string registerUrlScheme(const std::string& app, const std::string& scheme, const std::string& program);
// Opens the address with the desktop's default handler.
bool openWithDefaultHandler(const std::string& url);
