#pragma once

#include <cstdint>
#include <string>

// What a service browse reports, on the discovery's own thread (or the caller's, when a
// browse cannot start).
class NetServiceDiscoveryDelegate {
public:
    virtual ~NetServiceDiscoveryDelegate() = default;
    // One instance, reported once per browse.
    virtual void resolved(const std::string& name, const std::string& address, uint16_t port) {
        (void)name, (void)address, (void)port;
    }
    // The browse has ended: 0 when cancelled or without error, else the error code.
    virtual void stopped(long status) { (void)status; }
};
