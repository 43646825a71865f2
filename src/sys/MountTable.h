#pragma once

#include <string>
#include <vector>

// One line of /proc/<pid>/mountinfo, with the octal escapes of its paths undone.
struct MountEntry {
    unsigned major = 0, minor = 0;
    std::string root;        // the part of the filesystem mounted ("/" for all of it)
    std::string mountPoint;  // without trailing "/" (except "/" itself)
    std::string fsType;
    std::string source;      // for example "/dev/sdb1"
    std::string options;     // the filesystem's own options ("rw,subvol=/@home")
};

// Parses a mountinfo text; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(const std::string& text);
// The mount table of this process; empty when it cannot be read.
bool readMountTable(std::vector<MountEntry>& entries);

// True for what a user calls a volume: a whole filesystem on a block device (disks,
// partitions, USB media, loop-mounted images, device-mapper volumes), not the
// virtual, network or system-internal mounts (boot and snap images).
bool isUserVolume(const MountEntry& entry);
// The user volumes in table order, each device and root listed once.
std::vector<MountEntry> userVolumes(const std::vector<MountEntry>& entries);

// The size of the filesystem mounted at mountPoint and the room left on it for a user,
// in bytes; false when it cannot be asked.
struct VolumeSpace {
    unsigned long long size = 0;
    unsigned long long free = 0;
};
bool volumeSpace(const std::string& mountPoint, VolumeSpace& space);

// The mount that holds path (the last mount whose mount point is a prefix of the
// resolved path); null when none does.
const MountEntry* mountHolding(const std::vector<MountEntry>& entries, const std::string& resolvedPath);
