#pragma once

#include <string>

// The user's well-known folders as xdg-user-dirs records them in
// $XDG_CONFIG_HOME/user-dirs.dirs (for example "XDG_MUSIC_DIR").
// Returns the folder without trailing "/", or "" when the entry is missing or names
// the home folder itself (which is how xdg-user-dirs says "disabled").
std::string userFolder(const std::string& key);
// The documents folder: XDG_DOCUMENTS_DIR, else the home folder.
std::string documentsFolder();
