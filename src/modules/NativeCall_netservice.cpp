#include "modules/NativeCall_netservice.h"

#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "net/NetServiceDiscovery.h"

namespace {
enum { Search, Stop };
}

NativeCall_netservice::NativeCall_netservice(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"search", "stop"});
}

void NativeCall_netservice::call(int function, const Args& args, CallResult& result) {
    switch (function) {
    case Search:
        result.setBool(objects_->netServiceDiscovery().search(args.at(0)));
        break;
    case Stop:
        objects_->netServiceDiscovery().stop();
        break;
    }
}

void _NetServiceDiscoveryDelegate::resolved(const std::string& name, const std::string& address, uint16_t port) {
    Json service = {{"name", name}, {"address", address}, {"port", port}};
    controller_->postEvent(makeEvent({"netservice", "resolved", jsonText(service)}));
}

void _NetServiceDiscoveryDelegate::stopped(long status) {
    controller_->postEvent(makeEvent({"netservice", "stopped", status == 0 ? std::string() : std::to_string(status)}));
}
