#pragma once

#include <functional>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;
typedef struct _GObject GObject;

// The desktop's light or dark preference as the settings portal tells it
// (org.freedesktop.appearance color-scheme): read once at start and followed while the
// program runs. Without a session bus or a portal nothing is reported, and the toolkit's
// own theme decides.
class ColorSchemeWatch {
public:
    enum Scheme { NoPreference = 0, PreferDark = 1, PreferLight = 2 };
    using Changed = std::function<void(Scheme)>;

    ColorSchemeWatch() = default;
    ~ColorSchemeWatch();
    ColorSchemeWatch(const ColorSchemeWatch&) = delete;
    ColorSchemeWatch& operator=(const ColorSchemeWatch&) = delete;

    // Starts watching on the session bus; changed runs on the main loop with the first
    // answer and with every change after it.
    void start(Changed changed);

    // The scheme a portal value holds (a uint32, possibly wrapped in variants); NoPreference
    // for anything else.
    static Scheme fromValue(GVariant* value);

private:
    static void onRead(GObject* source, struct _GAsyncResult* result, void* self);
    static void onSignal(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters, void* self);

    GDBusConnection* bus_ = nullptr;
    unsigned subscription_ = 0;
    struct _GCancellable* cancellable_ = nullptr;
    Changed changed_;
};
