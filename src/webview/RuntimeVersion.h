#pragma once

#include <string>

// The web engine this program needs: the running WebKitGTK, and the oldest accepted.
std::string runningWebKitVersion();
extern const char* const minimumWebKitVersion;

// Compares versions by their runs of digits (at most four, each an unsigned decimal):
// the first part that is greater accepts, the first smaller rejects; a version whose
// compared parts are all equal, or that has fewer parts, is accepted.
bool versionAccepted(const std::string& version, const std::string& minimum);
