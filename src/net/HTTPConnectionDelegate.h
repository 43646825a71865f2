#pragma once

#include <cstdint>
#include <string>

// How transfers report to their owner. Called on the transfer's own worker thread.
class HTTPConnectionDelegate {
public:
    virtual ~HTTPConnectionDelegate() = default;
    // The transfer ended well: the destination of a download, the source of an upload.
    virtual void completed(uint32_t /*id*/, const std::string& /*path*/) {}
    // One block moved; total is 0 when the server did not announce a length.
    virtual void progress(uint32_t /*id*/, long /*total*/, long /*amount*/) {}
    // The transfer failed (a cancelled one reports nothing).
    virtual void error(uint32_t /*id*/, const std::string& /*url*/) {}
};
