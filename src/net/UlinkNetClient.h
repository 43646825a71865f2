#pragma once

#include "base/Thread.h"
#include "net/Socket.h"
#include "net/UlinkMessage.h"

#include <atomic>
#include <mutex>
#include <string>

// The framed TCP side of the device link: connecting (cancellable), whole-message sends under
// one mutex, and shutting the link from any thread. The thread body belongs to the subclass.
//
// The handle is set by the link thread once connected and closed only by reset(), on the
// owner's thread after the link thread has been joined; in between other threads may send
// (while linked()) or shut it down.
class UlinkNetClient : public Socket, public Thread {
public:
    // How long a send waits for a device that takes nothing.
    static constexpr int kSendStallLimitMs = 2000;

    UlinkNetClient();
    ~UlinkNetClient() override;

    bool linked() const { return linked_.load(); }
    // One message; false when not linked, when the payload cannot be framed or the send fails
    // (which also shuts the link: a message cut short leaves the stream out of step).
    bool sendMessage(uint8_t type, uint8_t subtype, const std::string& payload = std::string());

protected:
    // Link thread: connects, and marks the link up unless cancel() came first.
    bool connectLink(const std::string& address, uint16_t port, int timeoutMs);
    // Any thread: aborts a connect in progress and shuts the link; the reader then ends.
    void cancel();
    // Any thread: shuts the link (the reader ends) without cancelling future connects.
    void shutLink();
    // Link thread, at its end: no more sends.
    void markDown() { linked_ = false; }
    // Owner's thread, link thread joined: closes the handle and clears the cancellation.
    void reset();

private:
    int cancelFd_ = -1;
    std::mutex sendMutex_;
    std::mutex stateMutex_;  // the handle's arrival against shutdowns from other threads
    std::atomic<bool> linked_{false};
    bool cancelled_ = false;
};
