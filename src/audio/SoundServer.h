#pragma once

#include <pulse/context.h>
#include <pulse/simple.h>

#include <string>

// Where the sound server clients connect. Empty means the client library's own lookup,
// used whenever PULSE_SERVER or XDG_RUNTIME_DIR is set (any desktop session). Without
// both, the library would make a runtime folder of its own in the temporary folder, so
// the per-user and the system-wide sockets are named explicitly instead.
std::string soundServerAddress();

// Every connection to the sound server goes through these two, so that all of them find
// the same server the same way and none ever starts one.

// A context named for what it does (the server's tools show the name), with its state
// callback set, connecting on the main loop behind api. Null when it cannot be made or
// the connection cannot even begin (nothing is left behind then).
pa_context* connectSoundServerContext(pa_mainloop_api* api, const char* name, pa_context_notify_cb_t onState,
                                      void* data);
// Ends a context: its callbacks cleared first, so that none runs while it goes.
void closeSoundServerContext(pa_context* context);

// A simple stream of the application "Tarn" to or from the device the server names
// device (its default when empty); null when the server does not take it.
pa_simple* openSoundServerStream(pa_stream_direction_t direction, const std::string& device, const char* streamName,
                                 const pa_sample_spec* format, const pa_buffer_attr* buffering);
