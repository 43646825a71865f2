// Prints every bridge call the application answers, one "$$module_function" a line,
// from the module tables of a real controller: modules added later are listed with no
// change here.
#include "webview/TarnAppWebViewController.h"

#include <cstdio>

int main() {
    TarnAppWebViewController controller;
    for (const auto& module : controller.modules())
        for (const std::string& function : module.second->functionNames())
            std::printf("%s_%s\n", module.first.c_str(), function.c_str());
    std::fflush(stdout);
    return 0;
}
