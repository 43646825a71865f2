#include "assembly/AppBridge.h"

#include "modules/NativeCall_app.h"
#include "modules/NativeCall_audio.h"
#include "modules/NativeCall_ble.h"
#include "modules/NativeCall_fs.h"
#include "modules/NativeCall_http.h"
#include "modules/NativeCall_midi.h"
#include "modules/NativeCall_midix.h"
#include "modules/NativeCall_netservice.h"
#include "modules/NativeCall_player.h"
#include "modules/NativeCall_recorder.h"
#include "modules/NativeCall_sampler.h"
#include "modules/NativeCall_security.h"
#include "modules/NativeCall_seq.h"
#include "modules/NativeCall_sh.h"
#include "modules/NativeCall_store.h"
#include "modules/NativeCall_tcpip.h"
#include "modules/NativeCall_tgif.h"
#include "modules/NativeCall_trnIr.h"
#include "modules/NativeCall_trnUtil.h"
#include "modules/NativeCall_trnWav.h"
#include "modules/NativeCall_ulink.h"
#include "modules/NativeCall_util.h"
#include "sys/Desktop.h"
#include "sys/Paths.h"

AppBridge::AppBridge(bool watchNow) : objects_(std::make_unique<NativeObjects>(this, watchNow)) {
    NativeObjects* objects = objects_.get();
    // The general modules, then the device's extension modules.
    registerModule(std::make_unique<NativeCall_app>(objects));
    registerModule(std::make_unique<NativeCall_midi>(objects));
    registerModule(std::make_unique<NativeCall_midix>(objects));
    registerModule(std::make_unique<NativeCall_tgif>(objects));
    registerModule(std::make_unique<NativeCall_seq>(objects));
    registerModule(std::make_unique<NativeCall_audio>(objects));
    registerModule(std::make_unique<NativeCall_player>(objects));
    registerModule(std::make_unique<NativeCall_recorder>(objects));
    registerModule(std::make_unique<NativeCall_sampler>(objects));
    registerModule(std::make_unique<NativeCall_ulink>(objects));
    registerModule(std::make_unique<NativeCall_http>(objects));
    registerModule(std::make_unique<NativeCall_tcpip>(objects));
    registerModule(std::make_unique<NativeCall_netservice>(objects));
    registerModule(std::make_unique<NativeCall_fs>(objects));
    registerModule(std::make_unique<NativeCall_security>(objects));
    registerModule(std::make_unique<NativeCall_ble>(objects));
    registerModule(std::make_unique<NativeCall_store>(objects));
    registerModule(std::make_unique<NativeCall_sh>(objects));
    registerModule(std::make_unique<NativeCall_util>(objects));
    registerModule(std::make_unique<NativeCall_trnUtil>(objects, "trnUtil"));
    registerModule(std::make_unique<NativeCall_trnIr>(objects, "trnIr"));
    registerModule(std::make_unique<NativeCall_trnWav>(objects));
}

AppBridge::~AppBridge() {
    view_ = nullptr;
    window_ = nullptr;
    host_.reset();
    modules_.clear();
    objects_.reset();
}

const HostObject& AppBridge::hostObject() {
    if (!host_) host_ = std::make_unique<HostObject>(modules_.table());
    return *host_;
}

void AppBridge::openURL(const std::string& url, const std::string& scheme) {
    if (!scheme.empty()) registerUrlScheme(appName(), scheme, executablePath());
    openWithDefaultHandler(url);
}

void AppBridge::navigate(const std::string& url) {
    if (view_) view_->navigate(url);
}

void AppBridge::processEvent() {
    if (!view_) return;  // no view: the page pulls its events
    std::string event;
    while (nextEventToDeliver(event)) view_->runScript(dispatchScript(event));
}

void AppBridge::closeWindow() {
    if (window_) window_->close();
}
