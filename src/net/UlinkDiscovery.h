#pragma once

#include "base/Thread.h"
#include "net/ServerSocket.h"
#include "net/UlinkDelegates.h"
#include "net/UlinkDevice.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

class UlinkDiscovery;

// One device's answer: reads the 84-byte reply from its connection and hands it to discovery.
class Reply : public Thread {
public:
    // A device that connects and never writes (or writes too little) is given up after this.
    static constexpr int kReadLimitMs = 2000;

    Reply(UlinkDiscovery& discovery, std::unique_ptr<Socket> socket);
    void run() override;
    // Ends the read in progress (then join()).
    void stop();

private:
    UlinkDiscovery& discovery_;
    std::unique_ptr<Socket> socket_;
};

// Finds devices: a datagram to every IPv4 broadcast address asks them to connect back to a
// listening socket of ours and describe themselves. Found devices are listed once each (by UID).
class UlinkDiscovery {
public:
    UlinkDiscovery() = default;
    ~UlinkDiscovery();
    UlinkDiscovery(const UlinkDiscovery&) = delete;
    UlinkDiscovery& operator=(const UlinkDiscovery&) = delete;

    void setDelegate(UlinkDiscoveryDelegate* delegate) { delegate_ = delegate; }
    // Stops the previous round, clears the list, listens and broadcasts the request.
    // False when no listening socket could be made or no request could be sent.
    bool discover();
    // Stops listening and waits for the accept and reply threads.
    void stop();
    std::vector<UlinkDevice> devices() const;
    // The port replies go to in the current round, 0 when none.
    uint16_t replyPort() const { return listener_.localPort(); }

    // Where requests go: the broadcast address of every IPv4 interface that has one, and the
    // loopback broadcast; only 255.255.255.255 when the interfaces cannot be read.
    static std::vector<uint32_t> broadcastAddresses();
    // A checked reply from a peer (Reply's step; false when rejected or already listed).
    bool accept(const unsigned char* reply, size_t size, uint32_t peerAddress);

private:
    class Acceptor : public Thread {
    public:
        explicit Acceptor(UlinkDiscovery& discovery) : discovery_(discovery) {}
        void run() override { discovery_.acceptLoop(); }

    private:
        UlinkDiscovery& discovery_;
    };
    void acceptLoop();

    UlinkDiscoveryDelegate* delegate_ = nullptr;
    ServerSocket listener_;
    Acceptor acceptor_{*this};
    std::atomic<bool> stopping_{false};
    std::mutex repliesMutex_;
    std::list<std::unique_ptr<Reply>> replies_;
    mutable std::mutex devicesMutex_;
    std::vector<UlinkDevice> devices_;
};
