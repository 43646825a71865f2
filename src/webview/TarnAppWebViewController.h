#pragma once

#include "webview/WebView2Controller.h"

// The application's controller: the generic modules plus the device extension modules.
class TarnAppWebViewController : public WebView2Controller {
public:
    TarnAppWebViewController();
};
