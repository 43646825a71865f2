#include "modules/NativeCall_trnUtil.h"

void NativeCall_trnUtil::handle(const std::string& function, const Args&, CallResult& result) {
    if (function == "trnLttcVer") result.setString("2.1.0");
}
