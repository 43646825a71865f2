#pragma once

#include "sys/FileIO.h"

#include <string>

// The user's home folder (HOME, else the password database).
std::string homeFolder();
// $XDG_CONFIG_HOME or ~/.config, without trailing "/".
std::string configHome();
// $XDG_DATA_HOME or ~/.local/share, without trailing "/".
std::string dataHome();
// $XDG_CACHE_HOME or ~/.cache, without trailing "/".
std::string cacheHome();
// $TMPDIR or /tmp, with a trailing "/".
std::string temporaryFolder();
// Full path of the running executable.
std::string executablePath();
// Creates the folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& path);
// Ensures a trailing "/".
std::string withSlash(std::string path);
bool fileExists(const std::string& path);
// The folder part of a path with its trailing "/", and the name part.
std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);
// The whole file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& bytes);
// The per-user data folder of an application: $XDG_DATA_HOME/Corvane/<app>/, created when missing.
std::string appDataFolder(const std::string& app);
