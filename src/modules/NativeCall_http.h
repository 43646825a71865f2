#pragma once

#include "bridge/NativeCall.h"
#include "net/HTTPConnectionDelegate.h"

class JavaScriptInterface;

// Downloads to a file and uploads of a file, each on its own worker; cancel by id.
class NativeCall_http : public NativeCall {
public:
    explicit NativeCall_http(NativeObjects* objects);
    std::string moduleName() const override { return "http"; }
};

// Turns transfer reports into "http" events.
class _HTTPConnectionDelegate : public HTTPConnectionDelegate {
public:
    explicit _HTTPConnectionDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void completed(uint32_t id, const std::string& path) override;
    void progress(uint32_t id, long total, long amount) override;
    void error(uint32_t id, const std::string& url) override;

private:
    JavaScriptInterface* controller_;
};
