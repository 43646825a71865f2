#pragma once

#include <cstdint>
#include <string>

// What a file system can still take. Paths that do not exist yet (a backup folder about
// to be made) are answered for the nearest folder above them that does.
struct SpaceFacts {
    int64_t free = 0;   // bytes an unprivileged writer may still use
    int64_t total = 0;  // the file system's size; 0 when it does not say
    uint64_t device = 0;  // the file system the path leads to (links followed)
};

// Throws NativeException when no folder of the path can be asked.
SpaceFacts spaceOf(const std::string& path);

// The errno a failed write should report. Some file systems (FAT through FUSE) fail a
// write into a full volume with EPERM or EACCES; when the volume of fd holds less than
// the bytes still to be written, the failure is reported as ENOSPC, which is what the
// user needs to hear.
int writeFailure(int fd, int error, int64_t pending);
