// Stands in for the desktop's settings portal on a private session bus: answers the
// colour-scheme read with the number given as its argument, and for every number read
// from standard input announces that scheme as changed. Prints "ready" once it serves.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>

namespace {

guint32 scheme = 0;

const char* const kInterface =
    "<node><interface name='org.freedesktop.portal.Settings'>"
    "<method name='Read'><arg type='s' direction='in'/><arg type='s' direction='in'/><arg type='v' direction='out'/></method>"
    "<signal name='SettingChanged'><arg type='s'/><arg type='s'/><arg type='v'/></signal>"
    "</interface></node>";

void onCall(GDBusConnection*, const char*, const char*, const char*, const char* method, GVariant* parameters,
            GDBusMethodInvocation* invocation, gpointer) {
    const char* ns = nullptr;
    const char* key = nullptr;
    g_variant_get(parameters, "(&s&s)", &ns, &key);
    if (std::strcmp(method, "Read") != 0 || std::strcmp(ns, "org.freedesktop.appearance") != 0 ||
        std::strcmp(key, "color-scheme") != 0) {
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.NotFound", "no such setting");
        return;
    }
    // As the portal answers Read: the value in a variant inside the (v).
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", g_variant_new_variant(g_variant_new_uint32(scheme))));
}

gboolean onInput(GIOChannel* channel, GIOCondition, gpointer data) {
    auto* bus = static_cast<GDBusConnection*>(data);
    gchar* line = nullptr;
    if (g_io_channel_read_line(channel, &line, nullptr, nullptr, nullptr) != G_IO_STATUS_NORMAL) {
        std::exit(0);
    }
    scheme = static_cast<guint32>(std::atoi(line));
    g_free(line);
    g_dbus_connection_emit_signal(bus, nullptr, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings",
                                  "SettingChanged",
                                  g_variant_new("(ssv)", "org.freedesktop.appearance", "color-scheme", g_variant_new_uint32(scheme)),
                                  nullptr);
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    std::printf("sent\n");
    std::fflush(stdout);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    scheme = argc > 1 ? static_cast<guint32>(std::atoi(argv[1])) : 0;
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        std::fprintf(stderr, "no bus: %s\n", error ? error->message : "?");
        return 1;
    }
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kInterface, nullptr);
    GDBusInterfaceVTable table = {onCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, "/org/freedesktop/portal/desktop", info->interfaces[0], &table, nullptr, nullptr,
                                      nullptr);
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.portal.Desktop", 4u /* do not queue */), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    guint32 result = 0;
    if (reply) g_variant_get(reply, "(u)", &result);
    if (result != 1) {
        std::fprintf(stderr, "cannot own the name\n");
        return 1;
    }
    g_variant_unref(reply);
    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), onInput, bus);
    std::printf("ready\n");
    std::fflush(stdout);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    return 0;
}
