// The device link's threads (link reader, keep-alive, discovery's acceptor and replies) under
// ThreadSanitizer, against devices played by threads of this test on loopback.
#include "base/Text.h"
#include "net/ServerSocket.h"
#include "net/UlinkConnection.h"
#include "net/UlinkDiscovery.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class Recorder : public UlinkConnectionDelegate, public UlinkMIDIServiceDelegate, public UlinkDiscoveryDelegate {
public:
    void connected(const UlinkDevice&) override { ++connected_; }
    void connectFailed(const UlinkDevice&) override { ++failed_; }
    void closed(const UlinkDevice&) override { ++closed_; }
    void message(const std::string&, uint32_t, int) override { ++messages_; }
    void found(const UlinkDevice&) override { ++found_; }
    std::atomic<int> connected_{0}, failed_{0}, closed_{0}, messages_{0}, found_{0};
};

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// A device that answers every ping and sends a MIDI message back for each one it gets.
class ChattyDevice {
public:
    ChattyDevice() {
        EXPECT_TRUE(server_.listen(0, 8, true));
        thread_ = std::thread([this] {
            std::vector<std::thread> peers;
            while (std::unique_ptr<Socket> peer = server_.accept()) {
                std::shared_ptr<Socket> link(std::move(peer));
                peers.emplace_back([link] {
                    UlinkMessageReader reader([&](void* b, size_t n) { return link->receiveExact(b, n); });
                    UlinkMessage m;
                    std::string note = UlinkMessage::encode(2, 0, hexDecode("00000005" "09903C40"));
                    while (reader.next(m) == UlinkMessageReader::Result::Message)
                        link->sendAll(note.data(), note.size(), 1000);
                });
            }
            for (auto& peer : peers) peer.join();
        });
    }
    ~ChattyDevice() {
        server_.stop();
        thread_.join();
    }
    uint16_t port() const { return server_.localPort(); }

private:
    ServerSocket server_;
    std::thread thread_;
};

UlinkDevice at(uint16_t port) {
    UlinkDevice device;
    device.address = "127.0.0.1";
    device.port = port;
    return device;
}

}  // namespace

TEST(UlinkThreads, ConnectSendAndDisconnectRacingTheLinkThreads) {
    Recorder recorder;
    ChattyDevice device;
    UlinkConnection link([] { return 1u; });
    link.setDelegate(&recorder);
    link.midiService().setDelegate(&recorder);
    for (int round = 0; round < 20; ++round) {
        link.connect(at(device.port()));
        for (int i = 0; i < 20; ++i) {
            link.sendMIDI(hexDecode("903C40"));
            link.setKeepAlive(3);
            if (i % 5 == 0) std::this_thread::sleep_for(1ms);
        }
        if (round % 2) link.disconnect();  // the other rounds are dropped by the next connect
    }
    link.disconnect();
    EXPECT_GT(recorder.connected_.load(), 0);
    EXPECT_GT(recorder.messages_.load(), 0);
    EXPECT_EQ(recorder.closed_.load(), 0);  // links ended by this side are never reported closed
}

TEST(UlinkThreads, KeepAliveDropsASilentPeerWhileSendsGoOn) {
    Recorder recorder;
    ServerSocket silent;
    ASSERT_TRUE(silent.listen(0, 4, true));
    std::unique_ptr<Socket> peer;
    std::thread acceptor([&] { peer = silent.accept(); });
    UlinkConnection link([] { return 1u; });
    link.setDelegate(&recorder);
    link.setKeepAlive(1);
    link.connect(at(silent.localPort()));
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        // Another thread than the owner, as the keep-alive is: sends hold the link's mutex.
        while (sending) {
            link.sendMessage(2, 0, hexDecode("00000001" "09903C40"));
            std::this_thread::sleep_for(2ms);
        }
    });
    EXPECT_TRUE(waitUntil([&] { return recorder.closed_.load() == 1; }));
    sending = false;
    sender.join();
    acceptor.join();
    link.disconnect();
}

TEST(UlinkThreads, DiscoveryRoundsWhileRepliesArrive) {
    Recorder recorder;
    UlinkDiscovery discovery;
    discovery.setDelegate(&recorder);
    std::string reply(84, '\0');
    reply.replace(0, 6, "UDDPv1");
    reply[7] = 9;
    reply[12] = 1;
    for (int round = 0; round < 10; ++round) {
        discovery.discover();
        uint16_t port = discovery.replyPort();
        ASSERT_NE(port, 0);
        std::vector<std::thread> devices;
        for (int d = 0; d < 4; ++d)
            devices.emplace_back([&, d] {
                Socket socket;
                if (!socket.connect("127.0.0.1", port, 1000)) return;
                std::string mine = reply;
                mine[11] = static_cast<char>(d % 2);  // two devices, each replying twice
                if (d == 3) return;                   // and one that connects and goes
                socket.sendAll(mine.data(), mine.size(), 1000);
            });
        for (auto& device : devices) device.join();
        if (round % 2) waitUntil([&] { return discovery.devices().size() == 2; }, 2s);
    }
    discovery.stop();
    EXPECT_GT(recorder.found_.load(), 0);
    for (const UlinkDevice& device : discovery.devices()) EXPECT_EQ(device.address, "127.0.0.1");
}
