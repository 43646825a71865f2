#pragma once

#include "net/NetServiceDiscoveryDelegate.h"

#include <mutex>
#include <set>
#include <string>

struct AvahiThreadedPoll;
struct AvahiClient;
struct AvahiServiceBrowser;

// Browses the local network for DNS-SD services of one type through the desktop's mDNS
// daemon and resolves each instance to an IPv4 address and port. One browse at a time.
// search() and stop() run on one thread (the UI thread); the daemon's answers arrive on the
// browse's own poll thread, which only reports to the delegate.
class NetServiceDiscovery {
public:
    explicit NetServiceDiscovery(NetServiceDiscoveryDelegate* delegate);
    // Cancels a running browse (reported as stopped(0)).
    ~NetServiceDiscovery();
    NetServiceDiscovery(const NetServiceDiscovery&) = delete;
    NetServiceDiscovery& operator=(const NetServiceDiscovery&) = delete;

    // Starts browsing type (as "_osc._udp.", in the local domain). False when a browse is
    // already running. A browse that cannot start reports stopped(error) before this returns.
    bool search(const std::string& type);
    // Cancels the running browse, which then reports stopped(0); nothing when none runs.
    void stop();
    bool browsing() const;

    // The instance name as reported: cut before its first "." unless that is its first character.
    static std::string instanceName(const std::string& name);

private:
    struct Callbacks;
    friend struct Callbacks;
    // From the poll thread: the browse failed. Reports once.
    void fail(long status);
    // From the poll thread: one resolved instance.
    void found(const std::string& name, const std::string& address, uint16_t port);
    // Stops the poll thread and frees the daemon's objects (never on the poll thread).
    void release();

    NetServiceDiscoveryDelegate* delegate_;
    AvahiThreadedPoll* poll_ = nullptr;
    AvahiClient* client_ = nullptr;
    AvahiServiceBrowser* browser_ = nullptr;
    mutable std::mutex mutex_;  // guards running_ and reported_
    bool running_ = false;
    std::set<std::string> reported_;
};
