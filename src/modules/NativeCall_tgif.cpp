#include "modules/NativeCall_tgif.h"

NativeCall_tgif::NativeCall_tgif(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"buffer", [](const Args& args, CallResult& result) { if (args.empty()) result.setInt(-1); }},
        {"device", [](const Args&, CallResult& result) { result.setString(""); }},
        {"param", [](const Args& args, CallResult& result) {
            if (args.size() < 2) result.setInt(0);  // a read; with a value it is a write
        }},
        {"send", [](const Args&, CallResult&) {}},
        {"thru", [](const Args&, CallResult&) {}},
    });
}

