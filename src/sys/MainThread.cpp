#include "sys/MainThread.h"

#include <glib.h>

namespace {

gboolean runHeld(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void destroyHeld(gpointer data) { delete static_cast<std::function<void()>*>(data); }

}  // namespace

bool runOnMainThread(std::function<void()> function) {
    if (!function) return false;
    auto* held = new std::function<void()>(std::move(function));
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runHeld, held, destroyHeld);
    guint id = g_source_attach(source, g_main_context_default());
    g_source_unref(source);
    return id != 0;
}
