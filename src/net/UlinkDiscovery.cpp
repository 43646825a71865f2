#include "net/UlinkDiscovery.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

Reply::Reply(UlinkDiscovery& discovery, std::unique_ptr<Socket> socket)
    : discovery_(discovery), socket_(std::move(socket)) {}

void Reply::run() {
    unsigned char reply[UlinkDiscoveryWire::kReplySize];
    socket_->setReceiveTimeout(kReadLimitMs);
    if (socket_->receiveExact(reply, sizeof reply)) discovery_.accept(reply, sizeof reply, socket_->remoteAddress());
    socket_->shutdown();
}

void Reply::stop() { socket_->shutdown(); }

UlinkDiscovery::~UlinkDiscovery() { stop(); }

void UlinkDiscovery::stop() {
    stopping_ = true;
    listener_.stop();
    acceptor_.join();
    {
        std::lock_guard<std::mutex> lock(repliesMutex_);
        for (auto& reply : replies_) reply->stop();
    }
    // The acceptor has ended: nothing adds to the list any more.
    for (auto& reply : replies_) reply->join();
    replies_.clear();
    listener_.close();
    stopping_ = false;
}

bool UlinkDiscovery::discover() {
    stop();
    {
        std::lock_guard<std::mutex> lock(devicesMutex_);
        devices_.clear();
    }
    if (!listener_.listen(0, 5)) return false;
    if (acceptor_.start(false) == 0) {
        listener_.close();
        return false;
    }
    std::string request = UlinkDiscoveryWire::request(listener_.localPort());
    Socket sender;
    if (!sender.openDatagram(true)) return false;
    bool sent = false;
    for (uint32_t address : broadcastAddresses())
        sent |= sender.sendTo(address, UlinkDiscoveryWire::kRequestPort, request.data(), request.size());
    return sent;
}

std::vector<uint32_t> UlinkDiscovery::broadcastAddresses() {
    std::vector<uint32_t> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {htonl(INADDR_BROADCAST)};
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (!(entry->ifa_flags & IFF_BROADCAST) || !(entry->ifa_flags & IFF_UP) || !entry->ifa_broadaddr) continue;
        uint32_t address = reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr)->sin_addr.s_addr;
        if (address == 0) continue;
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
    }
    freeifaddrs(list);
    // A device simulated on this machine listens behind the loopback interface.
    uint32_t loopback = htonl(0x7FFFFFFF);
    if (std::find(addresses.begin(), addresses.end(), loopback) == addresses.end()) addresses.push_back(loopback);
    return addresses;
}

bool UlinkDiscovery::accept(const unsigned char* reply, size_t size, uint32_t peerAddress) {
    UlinkDevice device;
    if (!UlinkDiscoveryWire::parseReply(reply, size, peerAddress, device)) return false;
    {
        std::lock_guard<std::mutex> lock(devicesMutex_);
        for (const UlinkDevice& known : devices_)
            if (known.uid == device.uid) return false;
        devices_.push_back(device);
        // Reported under the list's lock: two replies of one device cannot both pass.
        if (delegate_) delegate_->found(device);
    }
    return true;
}

std::vector<UlinkDevice> UlinkDiscovery::devices() const {
    std::lock_guard<std::mutex> lock(devicesMutex_);
    return devices_;
}

void UlinkDiscovery::acceptLoop() {
    while (std::unique_ptr<Socket> peer = listener_.accept()) {
        if (stopping_) break;
        auto reply = std::make_unique<Reply>(*this, std::move(peer));
        std::lock_guard<std::mutex> lock(repliesMutex_);
        // Replies that have ended are joined on the way.
        for (auto it = replies_.begin(); it != replies_.end();) {
            if ((*it)->finished()) {
                (*it)->join();
                it = replies_.erase(it);
            } else {
                ++it;
            }
        }
        if (reply->start(false) != 0) replies_.push_back(std::move(reply));
    }
}
