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

// The errno a failed read, write or sync should report. A volume whose disk was pulled out
// answers EIO, like a bad sector would, and FAT answers a name it can no longer look up
// with ENOENT; when the disk behind fd (or behind path, or the nearest folder above it
// that can still be asked) is no longer known to the kernel, the failure is reported as
// ENODEV: the device is gone, which is what the user needs to hear.
int ioFailure(int fd, int error);
int pathFailure(const std::string& path, int error);
// Whether the block device numbered device has left the system (or is leaving it: its
// SCSI device no longer runs), as listed under sysBlock; false for file systems with no disk behind them (FUSE, tmpfs) and where
// the listing itself is missing.
bool diskGone(uint64_t device, const std::string& sysBlock = "/sys/dev/block");
