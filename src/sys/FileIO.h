#pragma once

#include <cstdint>
#include <string>

// Reads up to length bytes from offset (a negative length means the file's whole size,
// not reduced by the offset). Throws NativeException with the system's text on failure.
std::string readFileBytes(const std::string& path, int64_t offset, int64_t length);
// Writes the bytes in one go: replacing the file's content, or at its end when appending
// (creating it in both cases). Throws NativeException on failure.
void writeFileBytes(const std::string& path, const std::string& bytes, bool append);
