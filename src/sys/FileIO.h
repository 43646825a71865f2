#pragma once

#include <cstdint>
#include <string>

// Opens a path for reading without ever blocking: a FIFO, socket or device node is refused
// before it is opened (errno EINVAL, EISDIR for a folder) and the open itself is non-blocking.
// Returns a blocking descriptor on a regular file, or -1 with errno set.
int openRegularFile(const std::string& path);
// True when the path names a regular file (following links); false with errno set otherwise.
// For readers that open by name themselves (FFmpeg, stdio): check first, then open.
bool isRegularFile(const std::string& path);

// Throws NativeException (EINVAL) for a path with a zero byte: the system would read it
// as the shorter name before that byte.
void requireWholePath(const std::string& path);

// Reads up to length bytes from offset (a negative length means the file's whole size,
// not reduced by the offset). Regular files only. Throws NativeException with the system's text on failure.
std::string readFileBytes(const std::string& path, int64_t offset, int64_t length);
// Writes the bytes in one go: replacing the file's content, or at its end when appending
// (creating it in both cases). Throws NativeException on failure.
void writeFileBytes(const std::string& path, const std::string& bytes, bool append);

// Replaces the file's content in one step: the bytes go to a new file beside it, which is
// synced and renamed over the old one, so that a reader finds the old content or the new,
// never a part. False on failure, leaving the old file as it was and nothing beside it.
bool writeFileAtomically(const std::string& path, const std::string& bytes);
// Reads a file no one but this user could have written or read: a regular file, not a link,
// owned by the user, without rights for group or others. Up to maxBytes + 1 bytes are
// read, so that a caller sees a file larger than it expects. False for any other file.
bool readPrivateFile(const std::string& path, size_t maxBytes, std::string& bytes);
// Makes a file with the bytes at path, readable by the user alone, unless one is already
// there: it is written and synced under a temporary name, then linked into place, so that
// two processes making it at once end up with the same file. True when path holds a file
// afterwards, this one or the other's.
bool createPrivateFileOnce(const std::string& path, const std::string& bytes);
