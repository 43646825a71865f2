#pragma once

#include <string>

// Unpacks a zip archive into a folder, overwriting older files. An archive with an entry
// that would land outside the folder (absolute, or through "..") writes nothing at all.
bool unpackZipInto(const std::string& archivePath, const std::string& folder);
