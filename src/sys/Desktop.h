#pragma once

#include <string>

// True for a URL scheme name: a letter, then letters, digits, "+", "-" or ".".
bool isValidSchemeName(const std::string& scheme);
// Registers the program as the user's handler of scheme, recorded as the default handler of
// x-scheme-handler/<scheme>. An installed program (its desktop entry beside it, see
// installedDesktopEntry) is registered through that entry; one run from elsewhere gets its
// own entry in $XDG_DATA_HOME/applications whose command is "<program> -url %u". Returns the
// entry's path, or "" on failure.
std::string registerUrlScheme(const std::string& app, const std::string& scheme, const std::string& program);
// The installed desktop entry of the program: <prefix>/share/applications/<application id>.desktop
// for a program at <prefix>/bin/, when that file exists and starts the program; "" otherwise.
std::string installedDesktopEntry(const std::string& program);
// Opens the address with the desktop's default handler.
bool openWithDefaultHandler(const std::string& url);
// Opens the desktop's Bluetooth settings when it has them; false when none could be started.
bool openBluetoothSettings();
