#include "modules/NativeCall_netservice.h"

#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "net/NetServiceDiscovery.h"

NativeCall_netservice::NativeCall_netservice(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"search", [this](const Args& args, CallResult& result) {
            result.setBool(objects_->netServiceDiscovery().search(args.at(0)));
        }},
        {"stop", [this](const Args&, CallResult&) { objects_->netServiceDiscovery().stop(); }},
    });
}

void _NetServiceDiscoveryDelegate::resolved(const std::string& name, const std::string& address, uint16_t port) {
    Json service = {{"name", name}, {"address", address}, {"port", port}};
    controller_->postEvent(makeEvent({"netservice", "resolved", jsonText(service)}));
}

void _NetServiceDiscoveryDelegate::stopped(long status) {
    controller_->postEvent(makeEvent({"netservice", "stopped", status == 0 ? std::string() : std::to_string(status)}));
}
