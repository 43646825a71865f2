#pragma once

#include <string>

// The label of the filesystem on a block device ("/dev/sdb1"), or "" when it has none
// or it cannot be read. Looks in /dev/disk/by-label first (readable by every user),
// then asks libblkid (its cache, or a probe where the device is readable).
std::string volumeLabel(const std::string& device);

// The label whose link in linkFolder (a by-label style folder, names escaped as udev
// escapes them: "\x20" for a space) points at device; "" when no link does.
std::string labelFromLinkFolder(const std::string& linkFolder, const std::string& device);
