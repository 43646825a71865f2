#pragma once

#include <string>

// Where the sound server clients connect. Empty means the client library's own lookup,
// used whenever PULSE_SERVER or XDG_RUNTIME_DIR is set (any desktop session). Without
// both, the library would make a runtime folder of its own in the temporary folder, so
// the per-user and the system-wide sockets are named explicitly instead.
std::string soundServerAddress();
