#include "webview/WebView2Controller.h"

#include "modules/NativeCall_app.h"
#include "modules/NativeCall_audio.h"
#include "modules/NativeCall_player.h"
#include "modules/NativeCall_recorder.h"
#include "modules/NativeCall_http.h"
#include "modules/NativeCall_security.h"
#include "modules/NativeCall_sh.h"
#include "modules/NativeCall_util.h"
#include "sys/Desktop.h"
#include "sys/Paths.h"

WebView2Controller::WebView2Controller() : objects_(std::make_unique<NativeObjects>(this)) {
    NativeObjects* objects = objects_.get();
    registerModule(std::make_unique<NativeCall_app>(objects));
    registerModule(std::make_unique<NativeCall_audio>(objects));
    registerModule(std::make_unique<NativeCall_player>(objects));
    registerModule(std::make_unique<NativeCall_recorder>(objects));
    registerModule(std::make_unique<NativeCall_http>(objects));
    registerModule(std::make_unique<NativeCall_security>(objects));
    registerModule(std::make_unique<NativeCall_sh>(objects));
    registerModule(std::make_unique<NativeCall_util>(objects));
}

WebView2Controller::~WebView2Controller() {
    host_.reset();
    modules_.clear();
    objects_.reset();
}

const HostObject& WebView2Controller::hostObject() {
    if (!host_) host_ = std::make_unique<HostObject>(modules_.table());
    return *host_;
}

void WebView2Controller::openURL(const std::string& url, const std::string& scheme) {
    if (!scheme.empty()) registerUrlScheme(appName(), scheme, executablePath());
    openWithDefaultHandler(url);
}

void WebView2Controller::navigate(const std::string& url) {
    if (view_) view_->navigate(url);
}

void WebView2Controller::processEvent() {
    if (!view_) return;  // no view: the page pulls its events
    std::string event;
    while (nextEventToDeliver(event)) view_->runScript(dispatchScript(event));
}

void WebView2Controller::closeWindow() {
    if (window_) window_->close();
}

void WebView2Controller::onWebViewCreated(bool) {}
