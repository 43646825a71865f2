#include "modules/NativeCall_ble.h"

#include "modules/NativeObjects.h"
#include "base/Text.h"

NativeCall_ble::NativeCall_ble(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"scanstart", [](const Args&, CallResult&) {}},
        {"scanstop", [](const Args&, CallResult&) {}},
        {"connect", [this](const Args& args, CallResult&) {
            // No device can be reached: the attempt fails at once, without a name.
            objects_->controller()->postEvent(
                makeEvent({"ble", "connectfailed", args.empty() ? std::string() : args[0], std::string()}));
        }},
        {"disconnect", [](const Args&, CallResult&) {}},
        {"discover", [](const Args&, CallResult&) {}},
        {"properties", [this](const Args&, CallResult& result) { result.setString("{}"); }},
        {"notify", [](const Args&, CallResult&) {}},
        {"read", [](const Args&, CallResult&) {}},
        {"write", [](const Args&, CallResult&) {}},
        {"writewithoutresponse", [](const Args&, CallResult&) {}},
    });
}

