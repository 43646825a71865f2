#include "app/MainWindow.h"

#include "app/WindowPlacement.h"
#include "modules/NativeCall_app.h"
#include "webview/WebView2Controller.h"

#include <gtk/gtk.h>

namespace {

// Text size setting of the screen against the standard 96 pixels per inch.
double displayScale() {
    double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

WindowSize workAreaAt(int x, int y) {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_monitor_at_point(display, x, y);
    if (!monitor) monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) return {};
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return {area.width, area.height};
}

}  // namespace

MainWindow::MainWindow(WebView2Controller& controller, std::string appName, GMainLoop* loop)
    : controller_(controller), appName_(std::move(appName)), loop_(loop) {}

MainWindow::~MainWindow() {
    if (busCancel_) {
        g_cancellable_cancel(busCancel_);
        g_object_unref(busCancel_);
    }
    if (systemBus_) {
        if (sleepSubscription_) g_dbus_connection_signal_unsubscribe(systemBus_, sleepSubscription_);
        g_object_unref(systemBus_);
    }
    if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
}

bool MainWindow::create(const std::string& startAddress, const std::string& dataFolder, const std::string& pageRoot) {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_title(window_, "");
    g_signal_connect(window_, "delete-event", G_CALLBACK(&MainWindow::onDelete), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(&MainWindow::onConfigure), this);
    g_signal_connect(window_, "window-state-event", G_CALLBACK(&MainWindow::onWindowState), this);
    if (!controller_.createEnvironment(window_, appName_, startAddress, dataFolder, pageRoot)) {
        gtk_widget_destroy(GTK_WIDGET(window_));
        window_ = nullptr;
        return false;
    }
    restorePlacement();
    gtk_widget_show(GTK_WIDGET(window_));
    watchResume();
    return true;
}

void MainWindow::restorePlacement() {
    double scale = displayScale();
    int x = 0, y = 0;
    gtk_window_get_position(window_, &x, &y);
    WindowPlacement stored = WindowPlacement::load(appName_);
    if (stored.x || stored.y) {
        x = stored.x.value_or(x);
        y = stored.y.value_or(y);
        gtk_window_move(window_, x, y);
    }
    WindowSize area = workAreaAt(x, y);
    WindowSize minimum = minimumWindowSize(scale, area);
    GdkGeometry hints = {};
    hints.min_width = minimum.width;
    hints.min_height = minimum.height;
    gtk_window_set_geometry_hints(window_, nullptr, &hints, GDK_HINT_MIN_SIZE);
    // The default size fits the monitor; a stored size is used as it was stored.
    WindowSize size = defaultWindowSize(scale, area);
    size.width = stored.width.value_or(size.width);
    size.height = stored.height.value_or(size.height);
    gtk_window_set_default_size(window_, size.width, size.height);
    if (stored.maximized) gtk_window_maximize(window_);
}

void MainWindow::savePlacement() {
    if (!normalKnown_) {
        gtk_window_get_position(window_, &normalX_, &normalY_);
        gtk_window_get_size(window_, &normalWidth_, &normalHeight_);
    }
    WindowPlacement::save(appName_, normalX_, normalY_, normalWidth_, normalHeight_, maximized_);
}

int MainWindow::onConfigure(GtkWidget*, GdkEvent*, void* self) {
    auto* window = static_cast<MainWindow*>(self);
    if (!window->maximized_) {
        gtk_window_get_position(window->window_, &window->normalX_, &window->normalY_);
        gtk_window_get_size(window->window_, &window->normalWidth_, &window->normalHeight_);
        window->normalKnown_ = true;
    }
    return FALSE;
}

int MainWindow::onWindowState(GtkWidget*, GdkEvent* event, void* self) {
    auto* window = static_cast<MainWindow*>(self);
    GdkWindowState state = event->window_state.new_window_state;
    window->maximized_ = (state & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN)) != 0;
    return FALSE;
}

int MainWindow::onDelete(GtkWidget*, GdkEvent*, void* self) {
    auto* window = static_cast<MainWindow*>(self);
    if (!window->closing_) window->controller_.postEvent(NativeCall_app::commandEvent("exit", ""));
    return TRUE;  // the page decides
}

void MainWindow::activate() {
    if (!window_) return;
    gtk_window_deiconify(window_);
    gtk_window_present(window_);
}

void MainWindow::close() {
    if (closing_) return;
    closing_ = true;
    // The request comes from inside a bridge call the view is waiting for.
    g_idle_add(
        [](gpointer self) -> gboolean {
            static_cast<MainWindow*>(self)->closeNow();
            return G_SOURCE_REMOVE;
        },
        this);
}

void MainWindow::closeNow() {
    controller_.closeWebView();
    if (window_) {
        savePlacement();
        gtk_widget_destroy(GTK_WIDGET(window_));
        window_ = nullptr;
    }
    g_main_loop_quit(loop_);
}

void MainWindow::watchResume() {
    busCancel_ = g_cancellable_new();
    g_bus_get(
        G_BUS_TYPE_SYSTEM, busCancel_,
        [](GObject*, GAsyncResult* result, gpointer self) {
            GDBusConnection* bus = g_bus_get_finish(result, nullptr);
            if (!bus) return;  // no system bus (or shutting down): no wake-up events
            auto* window = static_cast<MainWindow*>(self);
            window->systemBus_ = bus;
            window->sleepSubscription_ = g_dbus_connection_signal_subscribe(
                bus, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                reinterpret_cast<GDBusSignalCallback>(&MainWindow::onSleepSignal), window, nullptr);
        },
        this);
}

void MainWindow::onSleepSignal(GDBusConnection*, const char*, const char*, const char*, const char*,
                               GVariant* parameters, void* self) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
    gboolean goingToSleep = TRUE;
    g_variant_get(parameters, "(b)", &goingToSleep);
    if (!goingToSleep)
        static_cast<MainWindow*>(self)->controller_.postEvent(
            NativeCall_app::commandEvent("wakeup", "PBT_APMRESUMESUSPEND"));
}
