#include "base/MainThread.h"

#include <glib.h>

namespace {

// The hand-over of a function to the main loop is ordered by GLib's own locks, which the
// race checker cannot see (GLib is not built with it): tell it of that order, so that the
// function's captures, written by one thread and read by the main one, are not taken for
// a race. Nothing happens in other builds.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_release(void* address);
extern "C" void __tsan_acquire(void* address);
void handedOver(void* held) { __tsan_release(held); }
void takenOver(void* held) { __tsan_acquire(held); }
#else
void handedOver(void*) {}
void takenOver(void*) {}
#endif

gboolean runHeld(gpointer data) {
    takenOver(data);
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void destroyHeld(gpointer data) { delete static_cast<std::function<void()>*>(data); }

}  // namespace

bool runOnMainThread(std::function<void()> function) {
    if (!function) return false;
    auto* held = new std::function<void()>(std::move(function));
    handedOver(held);
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runHeld, held, destroyHeld);
    guint id = g_source_attach(source, g_main_context_default());
    g_source_unref(source);
    return id != 0;
}
