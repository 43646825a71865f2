// The connection table and its readers on their own, built with ThreadSanitizer: closing while
// a reader is inside its receive, peers that end or flood, writes racing the reader's end.
#include "net/TCPIPClient.h"
#include "net/TCPIPConnections.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Log {
    std::mutex mutex;
    std::vector<std::pair<int, size_t>> reads;
    std::vector<int> closed;
    size_t closedCount(int number) {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (int c : closed) n += c == number;
        return n;
    }
};

// Reports as the module's delegate does: the end and the freed number under the table mutex.
class Recorder : public TCPIPClientDelegate {
public:
    Recorder(Log& log, TCPIPConnections& connections, int number) : log_(log), connections_(connections), number_(number) {}
    void read(const unsigned char*, size_t length) override {
        std::lock_guard<std::mutex> lock(log_.mutex);
        log_.reads.emplace_back(number_, length);
    }
    void closed() override {
        connections_.remove(number_, [this] {
            std::lock_guard<std::mutex> lock(log_.mutex);
            log_.closed.push_back(number_);
        });
    }

private:
    Log& log_;
    TCPIPConnections& connections_;
    int number_;
};

int listenLoopback(uint16_t& port) {
    int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(handle, 64);
    socklen_t length = sizeof address;
    getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return handle;
}

int open(TCPIPConnections& connections, Log& log, uint16_t port) {
    auto client = std::make_unique<TCPIPClient>();
    if (!client->open("127.0.0.1", port)) return -1;
    return connections.add(std::move(client), [&](int number) {
        return std::make_unique<Recorder>(log, connections, number);
    });
}

bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 2000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

TEST(TCPIPThreadsTest, CloseWhileReadersReceiveAndPeersFlood) {
    uint16_t port;
    int listener = listenLoopback(port);
    Log log;
    TCPIPConnections connections;
    for (int round = 0; round < 20; ++round) {
        int number = open(connections, log, port);
        ASSERT_EQ(number, 0);
        int peer = ::accept(listener, nullptr, nullptr);
        std::atomic<bool> stop{false};
        std::thread flood([&] {
            std::string chunk(32768, 'z');
            while (!stop && ::send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
            }
        });
        // Writes from this thread while the reader runs, then the close.
        for (int i = 0; i < 5; ++i) connections.with(number, [](TCPIPClient& c) { c.write("hello"); });
        if (round % 2) std::this_thread::sleep_for(2ms);
        EXPECT_TRUE(connections.with(number, [](TCPIPClient& c) { c.disconnect(); }));
        ASSERT_TRUE(waitFor([&] { return log.closedCount(0) == static_cast<size_t>(round + 1); }));
        stop = true;
        ::shutdown(peer, SHUT_RDWR);
        flood.join();
        ::close(peer);
        EXPECT_FALSE(connections.with(number, [](TCPIPClient& c) { c.write("late"); }));
    }
    ::close(listener);
}

TEST(TCPIPThreadsTest, PeersEndingWhileTheOwnerWritesAndCloses) {
    uint16_t port;
    int listener = listenLoopback(port);
    Log log;
    {
        TCPIPConnections connections;
        std::vector<int> peers;
        for (int i = 0; i < 6; ++i) {
            ASSERT_EQ(open(connections, log, port), i);
            peers.push_back(::accept(listener, nullptr, nullptr));
        }
        std::thread enders([&] {
            for (size_t i = 0; i < peers.size(); i += 2) ::close(peers[i]);
        });
        std::string big(1 << 20, 'x');
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < 6; ++i) connections.with(i, [&](TCPIPClient& c) { c.write(round ? "x" : big.substr(0, 4096)); });
        enders.join();
        ASSERT_TRUE(waitFor([&] { return connections.count() == 3; }));
        // The rest end with the table, each reporting once.
        connections.closeAll();
        EXPECT_EQ(connections.count(), 0u);
        for (size_t i = 1; i < peers.size(); i += 2) ::close(peers[i]);
    }
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.closed.size(), 6u);
    ::close(listener);
}

}  // namespace
