#include "webview/NativeRequest.h"

#include "bridge/Json.h"

bool parseNativeCall(const std::string& body, std::vector<std::string>& args) {
    args.clear();
    Json call = Json::parse(body, nullptr, false);
    if (call.is_discarded() || !call.is_array()) return false;
    for (const auto& item : call) {
        if (!item.is_string()) return false;
        args.push_back(item.get<std::string>());
    }
    return true;
}
