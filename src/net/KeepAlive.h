#pragma once

#include "base/Thread.h"

#include <condition_variable>
#include <mutex>

class UlinkConnection;

// Pings the device every second while linked; when more pings than the keep-alive limit have
// gone without any message back, it shuts the link, which the link thread reports as closed.
class KeepAlive : public Thread {
public:
    static constexpr int kCheckMs = 100;
    static constexpr int kPingMs = 1000;

    explicit KeepAlive(UlinkConnection& connection) : connection_(connection) {}
    void run() override;
    // Ends the thread promptly (then join()).
    void stop();
    // Makes the thread startable again after join().
    void rearm();

private:
    UlinkConnection& connection_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
};
