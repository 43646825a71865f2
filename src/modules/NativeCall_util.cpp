#include "modules/NativeCall_util.h"

#include "base/Text.h"

namespace {
enum { Bytes, TextOf };
}

NativeCall_util::NativeCall_util(NativeObjects* objects) : NativeCall(objects) { addFunctions({"bytes", "text"}); }

void NativeCall_util::call(int function, const Args& args, CallResult& result) {
    switch (function) {
    case Bytes: result.setString(hexEncode(args.at(0))); break;
    case TextOf: result.setString(utf8UpToZero(hexDecode(args.at(0)))); break;
    }
}
