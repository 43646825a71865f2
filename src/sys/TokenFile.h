#pragma once

#include <string>

// A secret kept in a file of its own for the user alone (mode 0600), so that it stays the
// same from run to run. Reads the token in path when the file holds one (64 hex digits);
// otherwise writes makeNew's into a new file. False with a reason when the file cannot be
// made, is not the user's own, can be read by others, or holds something else.
bool keptToken(const std::string& path, std::string (*makeNew)(), std::string& token, std::string& error);
