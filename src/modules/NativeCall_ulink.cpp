#include "modules/NativeCall_ulink.h"

#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "net/UlinkConnection.h"
#include "net/UlinkDiscovery.h"

namespace {
enum { Discovery, Connect, Disconnect, Device, Send, InputMode, Timeout, KeepAliveLimit };

bool given(const Args& args) { return !args.empty() && !args[0].empty(); }
}  // namespace

NativeCall_ulink::NativeCall_ulink(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"discovery", "connect", "disconnect", "device", "send", "inputmode", "timeout", "keepalive"});
}

void NativeCall_ulink::call(int function, const Args& args, CallResult& result) {
    switch (function) {
    case Discovery:
        objects_->ulinkDiscovery().discover();
        break;
    case Connect:
        objects_->ulinkConnection().connect(UlinkDevice::fromJson(args.at(0)));
        break;
    case Disconnect:
        objects_->ulinkConnection().disconnect();
        break;
    case Device: {
        UlinkDevice device;
        result.setString(objects_->ulinkConnection().device(device) ? jsonText(device.toJson()) : std::string());
        break;
    }
    case Send:
        objects_->ulinkConnection().sendMIDI(hexDecode(args.at(0)));
        break;
    case InputMode:
        objects_->ulinkConnection().setInputMode(toInt(args.at(0)));
        break;
    case Timeout:
        if (given(args)) objects_->ulinkConnection().setTimeout(toInt(args[0]));
        result.setInt(objects_->ulinkConnection().timeout());
        break;
    case KeepAliveLimit:
        if (given(args)) objects_->ulinkConnection().setKeepAlive(toInt(args[0]));
        result.setInt(objects_->ulinkConnection().keepAlive());
        break;
    }
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
