#pragma once

#include "webview/PageView.h"

#include <string>

typedef struct _GtkWindow GtkWindow;
typedef struct _GMainLoop GMainLoop;
typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
class WebView2Controller;

// The one window that hosts the page. Its close button (and Alt+F4, the window menu's
// Close) only asks the page through the "exit" command event; the page closes it with
// $$app_exit. Its placement is restored at start and saved when it closes. Resume from
// suspend reaches the page as the "wakeup" command event.
class MainWindow : public HostWindow {
public:
    MainWindow(WebView2Controller& controller, std::string appName, GMainLoop* loop);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Makes the window and the page's view in it and shows it. False when the web
    // engine is not usable (the user has been told; the window is gone).
    bool create(const std::string& startAddress, const std::string& dataFolder, const std::string& pageRoot);
    // Raises the window, restoring it when minimised (another start's hand-over).
    void activate();
    // Closes for real, once the current call has returned: view closed, placement
    // saved, main loop ended.
    void close() override;
    GtkWindow* window() const { return window_; }

private:
    static int onDelete(struct _GtkWidget*, union _GdkEvent*, void* self);
    static int onConfigure(struct _GtkWidget*, union _GdkEvent*, void* self);
    static int onWindowState(struct _GtkWidget*, union _GdkEvent*, void* self);
    void closeNow();
    void restorePlacement();
    void savePlacement();
    void watchResume();
    static void onSleepSignal(GDBusConnection*, const char*, const char*, const char*, const char*,
                              struct _GVariant* parameters, void* self);

    WebView2Controller& controller_;
    std::string appName_;
    GMainLoop* loop_;
    GtkWindow* window_ = nullptr;
    bool closing_ = false;
    bool maximized_ = false;
    int normalX_ = 0, normalY_ = 0, normalWidth_ = 0, normalHeight_ = 0;
    bool normalKnown_ = false;
    GCancellable* busCancel_ = nullptr;
    GDBusConnection* systemBus_ = nullptr;
    unsigned sleepSubscription_ = 0;
};
