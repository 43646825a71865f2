#include "webview/TarnAppWebViewController.h"

#include "modules/NativeCall_trnIr.h"
#include "modules/NativeCall_trnUtil.h"
#include "modules/NativeCall_trnWav.h"

TarnAppWebViewController::TarnAppWebViewController() {
    NativeObjects* objects = &nativeObjects();
    registerModule(std::make_unique<NativeCall_trnUtil>(objects, "trnUtil"));
    registerModule(std::make_unique<NativeCall_trnIr>(objects, "trnIr"));
    registerModule(std::make_unique<NativeCall_trnWav>(objects));
}
