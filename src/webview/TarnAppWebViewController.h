#pragma once

#include "webview/WebView2Controller.h"

// The application's controller: the window's view over the whole bridge (the general
// modules and the device's extension modules, all registered by AppBridge).
class TarnAppWebViewController : public WebView2Controller {};
