#pragma once

#include <string>

// Safely removes the volume holding path through the UDisks2 service on the system bus
// (the bus address can be overridden with DBUS_SYSTEM_BUS_ADDRESS): unmounts the
// filesystem whose mount point holds the path, locks an encrypted container beneath it,
// then powers off the drive, or ejects its media when it cannot be powered off.
// Returns "" when the device was released, otherwise the reason it was not. A path on a
// drive that is not removable is refused before anything is unmounted. Blocks while the
// service works; call it off the main thread.
std::string releaseVolume(const std::string& path);
