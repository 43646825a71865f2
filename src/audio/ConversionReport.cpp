#include "audio/ConversionReport.h"

#include "bridge/JavaScriptInterface.h"
#include "base/Json.h"
#include "base/Text.h"

void reportConversion(JavaScriptInterface* controller, bool ok, const std::string& source,
                      const std::string& outputs) {
    if (ok)
        controller->postEvent(makeEvent({"audio", "converted", source, outputs}));
    else
        controller->postEvent(makeEvent({"audio", "convertfailed", source}));
}

std::string singleOutput(const std::string& path) { return jsonText(Json::array({path})); }

bool runGuarded(const std::function<bool()>& job) {
    try {
        return job();
    } catch (...) {
        return false;
    }
}
