#include "sys/ColorScheme.h"

#include <gio/gio.h>

namespace {
const char* const kPortal = "org.freedesktop.portal.Desktop";
const char* const kPath = "/org/freedesktop/portal/desktop";
const char* const kSettings = "org.freedesktop.portal.Settings";
const char* const kNamespace = "org.freedesktop.appearance";
const char* const kKey = "color-scheme";
}  // namespace

ColorSchemeWatch::~ColorSchemeWatch() {
    if (cancellable_) {
        g_cancellable_cancel(cancellable_);
        g_object_unref(cancellable_);
    }
    if (bus_) {
        if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
        g_object_unref(bus_);
    }
}

ColorSchemeWatch::Scheme ColorSchemeWatch::fromValue(GVariant* value) {
    // Read answers (v) holding the value, older portals a variant inside that.
    GVariant* inner = value ? g_variant_ref(value) : nullptr;
    while (inner && g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
        GVariant* next = g_variant_get_variant(inner);
        g_variant_unref(inner);
        inner = next;
    }
    Scheme scheme = NoPreference;
    if (inner && g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32)) {
        guint32 number = g_variant_get_uint32(inner);
        if (number == PreferDark || number == PreferLight) scheme = static_cast<Scheme>(number);
    }
    if (inner) g_variant_unref(inner);
    return scheme;
}

void ColorSchemeWatch::start(Changed changed) {
    changed_ = std::move(changed);
    GError* error = nullptr;
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus_) {
        g_clear_error(&error);
        return;
    }
    subscription_ = g_dbus_connection_signal_subscribe(bus_, nullptr, kSettings, "SettingChanged", kPath, kNamespace,
                                                       G_DBUS_SIGNAL_FLAGS_NONE, &ColorSchemeWatch::onSignal, this, nullptr);
    cancellable_ = g_cancellable_new();
    // Asked without starting a portal that is not running: no portal, no preference.
    g_dbus_connection_call(bus_, kPortal, kPath, kSettings, "Read", g_variant_new("(ss)", kNamespace, kKey),
                           G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, cancellable_,
                           &ColorSchemeWatch::onRead, this);
}

void ColorSchemeWatch::onRead(GObject* source, GAsyncResult* result, void* self) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) {
        // Cancelled means the watch is gone: self must not be touched.
        g_clear_error(&error);
        return;
    }
    GVariant* value = g_variant_get_child_value(reply, 0);
    auto* watch = static_cast<ColorSchemeWatch*>(self);
    Scheme scheme = fromValue(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    if (watch->changed_) watch->changed_(scheme);
}

void ColorSchemeWatch::onSignal(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                                void* self) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) return;
    const char* ns = nullptr;
    const char* key = nullptr;
    GVariant* value = nullptr;
    g_variant_get(parameters, "(&s&sv)", &ns, &key, &value);
    bool ours = g_strcmp0(ns, kNamespace) == 0 && g_strcmp0(key, kKey) == 0;
    Scheme scheme = ours ? fromValue(value) : NoPreference;
    g_variant_unref(value);
    auto* watch = static_cast<ColorSchemeWatch*>(self);
    if (ours && watch->changed_) watch->changed_(scheme);
}
