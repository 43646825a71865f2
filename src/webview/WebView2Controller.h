#pragma once

#include "assembly/AppBridge.h"
#include "webview/PageView.h"

#include <memory>

class WebKitPageView;

// The window's bridge: makes the WebKitGTK view, serves it the page on the application's
// own scheme, pushes queued events into it and turns what happens in the view into window
// updates and events. Calls from the view go to the bridge it is built on.
class WebView2Controller : public AppBridge, public PageViewListener {
public:
    WebView2Controller();
    // Closes the view; the bridge then deletes the modules and NativeObjects.
    ~WebView2Controller() override;

    std::string invokeNative(const std::vector<std::string>& pageArgs) override {
        return AppBridge::invokeNative(pageArgs);
    }

    // Window start-up: checks the engine, then makes the view inside window, serving
    // pageRoot, and opens startAddress. False (after telling the user) when the engine is
    // too old: the window must go. dataFolder keeps the engine's data.
    bool createEnvironment(GtkWindow* window, const std::string& appName, const std::string& startAddress,
                           const std::string& dataFolder, const std::string& pageRoot);
    // Takes the view out of the window and drops it (window closing, destructor).
    void closeWebView();
    GtkWindow* mainWindow() const override { return gtkWindow_; }

    // Called once the page's view exists (or failed to come up).
    virtual void onWebViewCreated(bool ok);

    // What the view reports (UI thread).
    void onSourceChanged(const std::string& address) override;
    void onTitleChanged(const std::string& title) override;
    void onNewWindowRequested(const std::string& address) override;
    void onDownloadStarted(const std::string& address) override;
    void onFrameMessage(const std::string& frameName, const std::string& text) override;
    bool permissionAllowed(const std::string& documentAddress) override;
    void onDragEntered(const std::vector<std::string>& paths) override;
    void onPageLoaded() override;

    // The page path of an address: everything before the first ";", "?" or "#".
    static std::string pagePath(const std::string& address);

private:
    GtkWindow* gtkWindow_ = nullptr;
    std::unique_ptr<WebKitPageView> webView_;
    std::string currentPagePath_;
    // The pending start of the MIDI and sound-server watchers (0: none).
    unsigned watchersTimer_ = 0;
};
