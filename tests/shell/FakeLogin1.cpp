// Stands in for the login manager on a private bus: owns org.freedesktop.login1 and,
// for every line read from standard input, announces a suspend and the resume after it
// (PrepareForSleep true, then false). Prints "ready" once it owns the name.
#include <cstdio>
#include <gio/gio.h>
#include <string>

int main() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (!bus) {
        std::fprintf(stderr, "no bus: %s\n", error ? error->message : "?");
        return 1;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.login1", 4u /* do not queue */), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    guint32 result = 0;
    if (reply) g_variant_get(reply, "(u)", &result);
    if (result != 1) {
        std::fprintf(stderr, "cannot own the name\n");
        return 1;
    }
    g_variant_unref(reply);
    std::printf("ready\n");
    std::fflush(stdout);
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        for (int sleeping : {1, 0})
            g_dbus_connection_emit_signal(bus, nullptr, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                          "PrepareForSleep", g_variant_new("(b)", static_cast<gboolean>(sleeping)), nullptr);
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        std::printf("sent\n");
        std::fflush(stdout);
    }
    g_object_unref(bus);
    return 0;
}
