#include "modules/NativeCall_http.h"

#include "bridge/JavaScriptInterface.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "net/HTTPConnection.h"

NativeCall_http::NativeCall_http(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"download", [this](const Args& args, CallResult& result) {
            HTTPConnection& connection = objects_->httpConnection();
            std::string destination = args.size() > 1 ? args[1] : std::string();
            result.setUInt(connection.download(args.at(0), destination));
        }},
        {"upload", [this](const Args& args, CallResult& result) {
            result.setUInt(objects_->httpConnection().upload(args.at(0), args.at(1)));
        }},
        {"cancel", [this](const Args& args, CallResult&) {
            objects_->httpConnection().cancel(static_cast<uint32_t>(toInt(args.at(0))));
        }},
    });
}

void _HTTPConnectionDelegate::completed(uint32_t id, const std::string& path) {
    controller_->postEvent(makeEvent({"http", "completed", std::to_string(id), path}));
}

void _HTTPConnectionDelegate::progress(uint32_t id, long total, long amount) {
    controller_->postEvent(
        makeEvent({"http", "progress", std::to_string(id), std::to_string(total), std::to_string(amount)}));
}

void _HTTPConnectionDelegate::error(uint32_t id, const std::string& url) {
    controller_->postEvent(makeEvent({"http", "error", std::to_string(id), url}));
}
