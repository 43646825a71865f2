#pragma once

#include "assembly/PageView.h"
#include "bridge/HostObject.h"
#include "bridge/JavaScriptInterface.h"
#include "bridge/ModuleRegistry.h"
#include "modules/NativeObjects.h"

#include <memory>
#include <string>
#include <vector>

// The bridge as every host uses it: the event queue, NativeObjects, and every module
// registered in its fixed order, with the host object the page calls. A host gives it
// what it has of a page view (events are pushed into it) and of a main window ($$app_exit
// closes it); without a view the page pulls its events.
class AppBridge : public JavaScriptInterface {
public:
    // watchNow false: the MIDI and sound-server watchers wait for
    // nativeObjects().startWatchers() or their first use (a window starts them once its
    // page shows).
    explicit AppBridge(bool watchNow = true);
    // Deletes the modules, then NativeObjects (joining its workers).
    ~AppBridge() override;

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

protected:
    void registerModule(std::unique_ptr<NativeCall> module) { modules_.registerModule(std::move(module)); }

private:
    std::unique_ptr<NativeObjects> objects_;
    ModuleRegistry modules_;
    std::unique_ptr<HostObject> host_;
    HostWindow* window_ = nullptr;
    PageView* view_ = nullptr;
};
