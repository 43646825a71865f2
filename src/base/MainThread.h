#pragma once

#include <functional>

// Posts a function to the GLib main context of the UI thread (the default context);
// it runs there from the main loop, after work already posted. Callable from any thread.
bool runOnMainThread(std::function<void()> function);
