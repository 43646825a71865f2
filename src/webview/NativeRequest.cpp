#include "webview/NativeRequest.h"

#include "base/Json.h"

bool parseNativeCall(const std::string& body, std::vector<std::string>& args) {
    return parseNativeCall(body.data(), body.size(), args);
}

bool parseNativeCall(const char* body, size_t size, std::vector<std::string>& args) {
    args.clear();
    Json call = Json::parse(body, body + size, nullptr, false);
    if (call.is_discarded() || !call.is_array()) return false;
    for (auto& item : call) {
        if (!item.is_string()) return false;
        args.push_back(std::move(item.get_ref<std::string&>()));  // a large argument is not copied
    }
    return true;
}
