#include "modules/NativeCall_util.h"

#include "base/Text.h"

NativeCall_util::NativeCall_util(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"bytes", [](const Args& args, CallResult& result) { result.setString(hexEncode(args.at(0))); }},
        {"text", [](const Args& args, CallResult& result) { result.setString(utf8UpToZero(hexDecode(args.at(0)))); }},
    });
}
