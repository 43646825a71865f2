#pragma once

#include <cstdint>
#include <string>

// Safely removes the volume holding path through the UDisks2 service on the system bus
// (the bus address can be overridden with DBUS_SYSTEM_BUS_ADDRESS): unmounts the
// filesystem whose mount point holds the path, locks an encrypted container beneath it,
// then powers off the drive, or ejects its media when it cannot be powered off or shares
// its USB device with other functions (sharesUsbDevice).
// Returns "" when the device was released, otherwise the reason it was not. A path on a
// drive that is not removable is refused before anything is unmounted. When the service
// cannot be reached at all, the filesystem is unmounted directly where this user may
// (privileged, or a "user" mount through umount(8)); otherwise the reason says in plain
// words why not and what to do instead. Blocks while the service works; call it off the
// main thread.
std::string releaseVolume(const std::string& path);

// Mounts again, through UDisks2, a volume that releaseVolume(path) only unmounted (its
// drive could be neither powered off nor ejected, so it is still there). On success
// returns "" and sets mountPoint to where the service mounted it; otherwise the reason,
// which tells the user to unplug and plug in again where the drive was powered off or
// its media ejected. Blocks while the service works; call it off the main thread.
std::string remountVolume(const std::string& path, std::string& mountPoint);

// True when the disk with this device number sits on a USB device that also has
// functions other than storage (a looper's MIDI ports): powering that device off would
// take them off the bus as well, so releaseVolume ejects the media instead. sysBlock is
// the kernel's list of block devices by number (a test gives its own).
bool sharesUsbDevice(uint64_t device, const std::string& sysBlock = "/sys/dev/block");
