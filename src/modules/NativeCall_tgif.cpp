#include "modules/NativeCall_tgif.h"

namespace {
enum { kBuffer, kDevice, kParam, kSend, kThru };
}

NativeCall_tgif::NativeCall_tgif(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"buffer", "device", "param", "send", "thru"});
}

void NativeCall_tgif::call(int function, const Args& args, CallResult& result) {
    switch (function) {
        case kBuffer:
            if (args.empty()) result.setInt(-1);
            break;
        case kDevice:
            result.setString("");
            break;
        case kParam:
            if (args.size() < 2) result.setInt(0);  // a read; with a value it is a write
            break;
        default:  // send, thru
            break;
    }
}
