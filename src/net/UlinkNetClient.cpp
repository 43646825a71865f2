#include "net/UlinkNetClient.h"

#include <sys/eventfd.h>
#include <unistd.h>

UlinkNetClient::UlinkNetClient() { cancelFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

UlinkNetClient::~UlinkNetClient() {
    if (cancelFd_ >= 0) ::close(cancelFd_);
}

bool UlinkNetClient::connectLink(const std::string& address, uint16_t port, int timeoutMs) {
    Socket attempt;
    bool connected = attempt.connect(address, port, timeoutMs, cancelFd_);
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!connected || cancelled_) return false;
    Socket::handle_ = attempt.release();
    remoteAddress_ = attempt.remoteAddress();
    remotePort_ = attempt.remotePort();
    linked_ = true;
    return true;
}

bool UlinkNetClient::sendMessage(uint8_t type, uint8_t subtype, const std::string& payload) {
    if (payload.size() > UlinkMessage::kMaxPayload) return false;
    std::string bytes = UlinkMessage::encode(type, subtype, payload);
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (!linked_) return false;
    if (sendAll(bytes.data(), bytes.size(), kSendStallLimitMs)) return true;
    // Part of the message may have gone: the device could no longer find where the next one
    // starts, so the link ends here.
    shutLink();
    return false;
}

void UlinkNetClient::cancel() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    cancelled_ = true;
    uint64_t one = 1;
    if (cancelFd_ >= 0) (void)!::write(cancelFd_, &one, sizeof one);
    shutdown();
}

void UlinkNetClient::shutLink() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    shutdown();
}

void UlinkNetClient::reset() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    linked_ = false;
    close();
    cancelled_ = false;
    uint64_t count;
    if (cancelFd_ >= 0) (void)!::read(cancelFd_, &count, sizeof count);
}
