#pragma once

#include "bridge/HostObject.h"
#include "bridge/JavaScriptInterface.h"
#include "bridge/ModuleRegistry.h"
#include "modules/NativeObjects.h"
#include "webview/PageView.h"

#include <memory>

class WebKitPageView;

// Owns NativeObjects and the module table, hands bridge calls to the host object
// and pushes queued events into the page's view (when there is one). In the window it
// makes the WebKitGTK view, serves it the page on the application's own scheme and
// turns what happens in the view into window updates and events.
class WebView2Controller : public JavaScriptInterface, public PageViewListener {
public:
    WebView2Controller();
    // Closes the view, deletes the modules, then NativeObjects.
    ~WebView2Controller() override;

    NativeObjects& nativeObjects() { return *objects_; }
    const ModuleTable& modules() const { return modules_.table(); }
    // The host object, made on first use from the table as registered by then.
    const HostObject& hostObject();
    // Runs one bridge call ([name, a1, a2]) and returns the tagged result.
    std::string invokeNative(const std::vector<std::string>& pageArgs) override {
        return hostObject().invoke(pageArgs);
    }

    void setWindow(HostWindow* window) { window_ = window; }
    void setView(PageView* view) { view_ = view; }
    PageView* view() const { return view_; }

    // Window start-up: checks the engine, then makes the view inside window, serving
    // pageRoot, and opens startAddress. False (after telling the user) when the engine is
    // too old: the window must go. dataFolder keeps the engine's data.
    bool createEnvironment(GtkWindow* window, const std::string& appName, const std::string& startAddress,
                           const std::string& dataFolder, const std::string& pageRoot);
    // Takes the view out of the window and drops it (window closing, destructor).
    void closeWebView();
    GtkWindow* mainWindow() const override { return gtkWindow_; }

    void openURL(const std::string& url, const std::string& scheme) override;
    void navigate(const std::string& url) override;
    void processEvent() override;
    void closeWindow() override;

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

    // The page path of an address: everything before the first ";", "?" or "#".
    static std::string pagePath(const std::string& address);

protected:
    void registerModule(std::unique_ptr<NativeCall> module) { modules_.registerModule(std::move(module)); }

private:
    std::unique_ptr<NativeObjects> objects_;
    ModuleRegistry modules_;
    std::unique_ptr<HostObject> host_;
    HostWindow* window_ = nullptr;
    PageView* view_ = nullptr;
    GtkWindow* gtkWindow_ = nullptr;
    std::unique_ptr<WebKitPageView> webView_;
    std::string currentPagePath_;
};
