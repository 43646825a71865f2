#pragma once

#include "net/KeepAlive.h"
#include "net/UlinkDelegates.h"
#include "net/UlinkDevice.h"
#include "net/UlinkMIDIService.h"
#include "net/UlinkNetClient.h"

#include <array>
#include <atomic>
#include <mutex>

// The one link to a chosen device. connect() and disconnect() run on the owner's (UI) thread;
// the link thread connects, reads and handles messages until the link ends; the keep-alive
// thread pings while it is up.
class UlinkConnection : public UlinkNetClient {
public:
    static constexpr int kDefaultTimeout = 5;
    static constexpr int kDefaultKeepAlive = 3;
    static constexpr int kMaxTimeout = 3600;
    static constexpr int kLevelFloor = -120;

    explicit UlinkConnection(UlinkMIDIService::Clock clock);
    ~UlinkConnection() override;

    void setDelegate(UlinkConnectionDelegate* delegate) { delegate_ = delegate; }
    UlinkMIDIService& midiService() { return midi_; }

    // Drops any current link (without a "closed"), then links to the device on the link thread.
    void connect(const UlinkDevice& device);
    // Ends the link (or the connect in progress) without a report and forgets the device.
    void disconnect();
    // The linked device; false when not linked.
    bool device(UlinkDevice& device) const;

    int timeout() const { return timeout_.load(); }
    void setTimeout(int seconds);
    int keepAlive() const { return keepAlive_.load(); }
    // Sets the limit; when linked, also tells the device.
    void setKeepAlive(int seconds);
    int inputMode() const { return inputMode_.load(); }
    // Stores the mode and sends it when linked.
    void setInputMode(int mode);
    // Sends MIDI bytes. Here and in the two setters above, a send that fails while linked is
    // reported as an error; the link then ends and is reported closed.
    void sendMIDI(const std::string& midi);

    // What the device reported (values 0-4, the latest level data and four running maxima).
    uint32_t deviceValue(int index) const;
    std::array<int32_t, 4> levels() const;
    std::array<int32_t, 4> levelMaxima() const;

    // One received message, by type (the link thread's step; also used on its own by tests).
    void handleMessage(const UlinkMessage& message);
    // The keep-alive thread's step, once a second.
    void keepAliveTick();

    void run() override;

private:
    void stop();
    // An "error" report for a send that failed while the link was up.
    void reportFailure(bool sent);

    UlinkConnectionDelegate* delegate_ = nullptr;
    UlinkMIDIService midi_;
    KeepAlive keepAliveThread_;
    mutable std::mutex deviceMutex_;
    UlinkDevice device_;
    std::atomic<bool> running_{false};  // the link is wanted
    std::atomic<int> timeout_{kDefaultTimeout};
    std::atomic<int> keepAlive_{kDefaultKeepAlive};
    std::atomic<int> silentPings_{0};
    std::atomic<int> inputMode_{0};
    mutable std::mutex valuesMutex_;
    std::array<uint32_t, 5> values_{};
    std::array<int32_t, 4> levels_{};
    std::array<int32_t, 4> maxima_{};
};
