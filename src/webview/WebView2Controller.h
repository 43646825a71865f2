#pragma once

#include "bridge/HostObject.h"
#include "bridge/JavaScriptInterface.h"
#include "bridge/ModuleRegistry.h"
#include "bridge/NativeObjects.h"
#include "webview/PageView.h"

#include <memory>

// Owns NativeObjects and the module table, hands bridge calls to the host object
// and pushes queued events into the page's view (when there is one).
class WebView2Controller : public JavaScriptInterface {
public:
    WebView2Controller();
    // Deletes the modules, then NativeObjects.
    ~WebView2Controller() override;

    NativeObjects& nativeObjects() { return *objects_; }
    const ModuleTable& modules() const { return modules_.table(); }
    // The host object, made on first use from the table as registered by then.
    const HostObject& hostObject();
    // Runs one bridge call ([name, a1, a2]) and returns the tagged result.
    std::string invokeNative(const std::vector<std::string>& pageArgs) { return hostObject().invoke(pageArgs); }

    void setWindow(HostWindow* window) { window_ = window; }
    void setView(PageView* view) { view_ = view; }
    PageView* view() const { return view_; }

    void openURL(const std::string& url, const std::string& scheme) override;
    void navigate(const std::string& url) override;
    void processEvent() override;
    void closeWindow() override;

    // Called once the page's view exists (or failed to come up).
    virtual void onWebViewCreated(bool ok);

protected:
    void registerModule(std::unique_ptr<NativeCall> module) { modules_.registerModule(std::move(module)); }

private:
    std::unique_ptr<NativeObjects> objects_;
    ModuleRegistry modules_;
    std::unique_ptr<HostObject> host_;
    HostWindow* window_ = nullptr;
    PageView* view_ = nullptr;
};
