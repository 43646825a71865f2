#include "webview/RuntimeVersion.h"

#include <cctype>
#include <vector>
#include <webkit2/webkit2.h>

// Custom-scheme request bodies and script evaluation with a result came with 2.40.
const char* const minimumWebKitVersion = "2.40.0";

namespace {

std::vector<unsigned long long> versionParts(const std::string& text) {
    std::vector<unsigned long long> parts;
    size_t i = 0;
    while (i < text.size() && parts.size() < 4) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        unsigned long long value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            unsigned digit = static_cast<unsigned>(text[i] - '0');
            value = value > (~0ULL - digit) / 10 ? ~0ULL : value * 10 + digit;
            ++i;
        }
        parts.push_back(value);
    }
    return parts;
}

}  // namespace

std::string runningWebKitVersion() {
    return std::to_string(webkit_get_major_version()) + "." + std::to_string(webkit_get_minor_version()) + "." +
           std::to_string(webkit_get_micro_version());
}

bool versionAccepted(const std::string& version, const std::string& minimum) {
    std::vector<unsigned long long> have = versionParts(version);
    std::vector<unsigned long long> need = versionParts(minimum);
    for (size_t i = 0; i < have.size() && i < need.size(); ++i) {
        if (have[i] > need[i]) return true;
        if (have[i] < need[i]) return false;
    }
    return true;
}
