#include "modules/NativeCall_ulink.h"

#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "net/UlinkConnection.h"
#include "net/UlinkDiscovery.h"

namespace {

bool given(const Args& args) { return !args.empty() && !args[0].empty(); }
}  // namespace

NativeCall_ulink::NativeCall_ulink(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"discovery", [this](const Args&, CallResult&) { objects_->ulinkDiscovery().discover(); }},
        {"connect", [this](const Args& args, CallResult&) {
            objects_->ulinkConnection().connect(UlinkDevice::fromJson(args.at(0)));
        }},
        {"disconnect", [this](const Args&, CallResult&) { objects_->ulinkConnection().disconnect(); }},
        {"device", [this](const Args&, CallResult& result) {
            UlinkDevice device;
            result.setString(objects_->ulinkConnection().device(device) ? jsonText(device.toJson()) : std::string());
        }},
        {"send", [this](const Args& args, CallResult&) {
            objects_->ulinkConnection().sendMIDI(hexDecode(args.at(0)));
        }},
        {"inputmode", [this](const Args& args, CallResult&) {
            objects_->ulinkConnection().setInputMode(toInt(args.at(0)));
        }},
        {"timeout", [this](const Args& args, CallResult& result) {
            if (given(args)) objects_->ulinkConnection().setTimeout(toInt(args[0]));
            result.setInt(objects_->ulinkConnection().timeout());
        }},
        {"keepalive", [this](const Args& args, CallResult& result) {
            if (given(args)) objects_->ulinkConnection().setKeepAlive(toInt(args[0]));
            result.setInt(objects_->ulinkConnection().keepAlive());
        }},
    });
}

void _UlinkDiscoveryDelegate::found(const UlinkDevice& device) {
    controller_->postEvent(makeEvent({"ulink", "found", jsonText(device.toJson())}));
}

void _UlinkConnectionDelegate::post(const char* name, const UlinkDevice& device) {
    controller_->postEvent(makeEvent({"ulink", name, jsonText(device.toJson())}));
}

void _UlinkConnectionDelegate::message(const std::string& bytes, uint32_t timeStamp, int) {
    controller_->postEvent(makeEvent({"ulink", "message", hexEncode(bytes), std::to_string(timeStamp)}));
}
