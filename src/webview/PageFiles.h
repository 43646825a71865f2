#pragma once

#include <string>

// The files of the unpacked page, as both transports serve them.

// The content type for a file name, by its extension.
const char* pageContentType(const std::string& path);
// The request path ("/css/a.css") relative to the page folder ("css/a.css"); "/" gives
// "index.html"; empty when the path would leave the folder.
std::string safePagePath(const std::string& path);
// Reads a regular file of the page folder; false when the path is unsafe or missing.
bool readPageFile(const std::string& root, const std::string& requestPath, std::string& bytes, std::string& type);
