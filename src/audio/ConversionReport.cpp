#include "audio/ConversionReport.h"

#include "base/Json.h"

std::string singleOutput(const std::string& path) { return jsonText(Json::array({path})); }

bool runGuarded(const std::function<bool()>& job) {
    try {
        return job();
    } catch (...) {
        return false;
    }
}
