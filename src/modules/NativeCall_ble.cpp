#include "modules/NativeCall_ble.h"

#include "modules/NativeObjects.h"
#include "base/Text.h"

namespace {
enum { ScanStart, ScanStop, Connect, Disconnect, Discover, Properties, Notify, Read, Write, WriteWithoutResponse };
}

NativeCall_ble::NativeCall_ble(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"scanstart", "scanstop", "connect", "disconnect", "discover", "properties", "notify", "read",
                  "write", "writewithoutresponse"});
}

void NativeCall_ble::call(int function, const Args& args, CallResult& result) {
    switch (function) {
    case Connect:
        // No device can be reached: the attempt fails at once, without a name.
        objects_->controller()->postEvent(
            makeEvent({"ble", "connectfailed", args.empty() ? std::string() : args[0], std::string()}));
        break;
    case Properties:
        result.setString("{}");
        break;
    default:
        break;
    }
}
