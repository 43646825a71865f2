#include "base/Text.h"
#include "support/EventCollector.h"
#include "support/LoopbackListener.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The peer's listening socket; the module takes its port as text.
class Listener : public LoopbackListener {
public:
    explicit Listener(int backlog = 8) : LoopbackListener(backlog) {}
    std::string port() const { return std::to_string(portNumber()); }
    int accept() { return acceptPeer(); }
};

// Reads exactly size bytes (less when the peer ends first).
std::string readBytes(int handle, size_t size) {
    std::string bytes;
    char buffer[65536];
    while (bytes.size() < size) {
        ssize_t got = ::recv(handle, buffer, std::min(sizeof buffer, size - bytes.size()), 0);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

void sendBytes(int handle, const std::string& bytes) {
    ASSERT_EQ(::send(handle, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

class TcpipModuleTest : public ::testing::Test {
protected:
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }
    std::string connect(const std::string& port, const std::string& address = "127.0.0.1") {
        return call({"$$tcpip_connect", address, port});
    }
    bool waitClosed(const std::string& number) { return events.waitFor("tcpip", "closed", number, 10s); }
    // The hex of every "read" of the connection so far, joined.
    std::string received(const std::string& number) {
        std::string hex;
        for (const auto& e : events.of("tcpip", number))
            if (e[1] == "read") hex += e[3];
        return hex;
    }

    TempHome home;
    TarnAppWebViewController controller;
    EventCollector events{controller};
};

TEST_F(TcpipModuleTest, BytesTravelBothWaysAndFreedNumbersAreReused) {
    Listener listener;
    ASSERT_EQ(connect(listener.port()), "d0");
    int first = listener.accept();
    ASSERT_EQ(connect(listener.port()), "d1");
    int second = listener.accept();

    // Hex from the page: pairs, any case, other characters as 0, an odd last one ignored.
    EXPECT_EQ(call({"$$tcpip_write", "0", "0a1"}), "v");
    EXPECT_EQ(readBytes(first, 1), std::string("\x0A", 1));
    EXPECT_EQ(call({"$$tcpip_write", "0", "zz"}), "v");
    EXPECT_EQ(readBytes(first, 1), std::string("\x00", 1));
    EXPECT_EQ(call({"$$tcpip_write", "1", "00fF7f80"}), "v");
    EXPECT_EQ(readBytes(second, 4), std::string("\x00\xFF\x7F\x80", 4));

    sendBytes(first, std::string("\x01\xab\x00\xff", 4));
    ASSERT_TRUE(events.waitFor([](const EventCollector::Event& e) {
        return e.size() == 4 && e[1] == "read" && e[2] == "0" && e[3].size() == 8;
    }, 10s));
    EXPECT_EQ(received("0"), "01AB00FF");
    EXPECT_EQ(received("1"), "");

    // The peer ends connection 0: "closed", and the number is free for the next connect.
    ::close(first);
    ASSERT_TRUE(waitClosed("0"));
    EXPECT_EQ(connect(listener.port()), "d0");
    int third = listener.accept();

    // The page ends connection 1: the peer sees the end, the page sees "closed".
    EXPECT_EQ(call({"$$tcpip_close", "1"}), "v");
    EXPECT_EQ(readBytes(second, 1), "");
    ASSERT_TRUE(waitClosed("1"));
    EXPECT_EQ(connect(listener.port()), "d1");
    int fourth = listener.accept();
    ::close(third);
    ::close(fourth);
    ASSERT_TRUE(waitClosed("0"));
    ASSERT_TRUE(events.waitFor("tcpip", "closed", "1", 10s));
    ::close(second);
    for (const auto& e : events.all()) {
        EXPECT_EQ(e[0], "tcpip");
        EXPECT_EQ(e.size(), e[1] == "read" ? 4u : 3u);
    }
}

TEST_F(TcpipModuleTest, MebibyteBurstArrivesWholeAndInOrder) {
    Listener listener;
    ASSERT_EQ(connect(listener.port()), "d0");
    int peer = listener.accept();
    std::string burst(1 << 20, '\0');
    for (size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    std::thread sender([&] {
        sendBytes(peer, burst);
        ::close(peer);
    });
    ASSERT_TRUE(events.waitFor("tcpip", "closed", "0", 30s));
    sender.join();
    size_t reads = 0;
    for (const auto& e : events.of("tcpip", "0")) {
        if (e[1] != "read") continue;
        ++reads;
        EXPECT_LE(e[3].size(), 2u * 131072u);
    }
    EXPECT_GT(reads, 1u);
    EXPECT_TRUE(received("0") == hexEncode(burst)) << "the burst arrived changed";
    EXPECT_EQ(events.all().back()[1], "closed");
}

TEST_F(TcpipModuleTest, RefusalsAndAddressesThatAreNotDottedDecimalGiveMinusOne) {
    std::string freePort;
    {
        Listener listener;
        freePort = listener.port();
    }
    EXPECT_EQ(connect(freePort), "d-1");
    for (std::string address : {"localhost", "127.1", "127.0.0.1.2", "256.0.0.1", "", " 127.0.0.1", "::1"})
        EXPECT_EQ(connect(freePort, address), "d-1") << address;
    Listener listener;
    EXPECT_EQ(connect("70000"), "d-1");
    EXPECT_EQ(connect("-1"), "d-1");
    EXPECT_EQ(call({"$$tcpip_connect", "127.0.0.1"}), "d-1");  // port 0
    EXPECT_EQ(connect("nonsense"), "esystem exception");
    // Nothing was stored: the next good connect is number 0.
    EXPECT_EQ(connect(listener.port()), "d0");
    events.drainFor(50ms);
    EXPECT_TRUE(events.all().empty());
}

TEST_F(TcpipModuleTest, NumbersThatAreNotOpenAreIgnored) {
    for (std::string number : {"-1", "0", "7", "2147483647"}) {
        EXPECT_EQ(call({"$$tcpip_write", number, "00"}), "v");
        EXPECT_EQ(call({"$$tcpip_close", number}), "v");
    }
    Listener listener;
    ASSERT_EQ(connect(listener.port()), "d0");
    int peer = listener.accept();
    ::close(peer);
    ASSERT_TRUE(waitClosed("0"));
    // Closed and gone: writing and closing it again do nothing.
    EXPECT_EQ(call({"$$tcpip_write", "0", "41"}), "v");
    EXPECT_EQ(call({"$$tcpip_close", "0"}), "v");
    EXPECT_EQ(call({"$$tcpip_write"}), "esystem exception");
    events.drainFor(50ms);
    EXPECT_EQ(events.of("tcpip", "0").size(), 1u);
}

TEST_F(TcpipModuleTest, HostilePeersNeitherCrashNorHoldTheCaller) {
    Listener listener;
    std::string big(8 << 20, 'A');  // 8 MiB as hex: far more than the socket buffers hold
    // A peer that takes nothing: the write gives up instead of blocking for ever.
    ASSERT_EQ(connect(listener.port()), "d0");
    int silent = listener.accept();
    EXPECT_EQ(call({"$$tcpip_write", "0", big}), "v");
    // The connection still works both ways afterwards.
    sendBytes(silent, "x");
    ASSERT_TRUE(events.waitFor("tcpip", "read", "0", 10s));

    // A peer that resets the connection in the middle of a write: no SIGPIPE, "closed".
    ASSERT_EQ(connect(listener.port()), "d1");
    int resetter = listener.accept();
    std::thread reset([&] {
        readBytes(resetter, 100000);
        linger hard{1, 0};
        setsockopt(resetter, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(resetter);
    });
    EXPECT_EQ(call({"$$tcpip_write", "1", big}), "v");
    reset.join();
    ASSERT_TRUE(waitClosed("1"));
    EXPECT_EQ(call({"$$tcpip_write", "1", big}), "v");

    // A peer that sends for ever, closed by the page while its reader is busy, many times over.
    size_t closedBefore = 1;
    for (int round = 0; round < 10; ++round) {
        size_t mark = events.all().size();
        ASSERT_EQ(connect(listener.port()), "d1");
        int flood = listener.accept();
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            std::string chunk(65536, '\x5A');
            while (!stop && ::send(flood, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
            }
        });
        size_t index = 0;
        ASSERT_TRUE(events.waitFor([&](const EventCollector::Event& e) {
            return index++ >= mark && e[1] == "read" && e[2] == "1";
        }, 10s));
        EXPECT_EQ(call({"$$tcpip_close", "1"}), "v");
        size_t closed = 0;
        ASSERT_TRUE(events.waitFor([&](const EventCollector::Event& e) {
            return e[1] == "closed" && e[2] == "1" && ++closed == closedBefore + 1;
        }, 10s));
        ++closedBefore;
        stop = true;
        ::shutdown(flood, SHUT_RDWR);
        sender.join();
        ::close(flood);
    }
    ::close(silent);
    ASSERT_TRUE(waitClosed("0"));
}

TEST_F(TcpipModuleTest, OpenConnectionsEndWithTheirControllerWithoutLeavingReaders) {
    Listener listener;
    int peers[3];
    {
        TarnAppWebViewController other;
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(other.invokeNative({"$$tcpip_connect", "127.0.0.1", listener.port()}), "d" + std::to_string(i));
            peers[i] = listener.accept();
        }
        sendBytes(peers[1], "data");
    }
    // Every connection was shut down when the controller went away.
    for (int peer : peers) {
        EXPECT_EQ(readBytes(peer, 1), "");
        ::close(peer);
    }
}

TEST_F(TcpipModuleTest, PeerThatAcceptsNothingFailsTheConnectAfterTheLimit) {
    // A listener whose accept queue is full drops further handshakes, so a connect sees no
    // answer at all (the loopback interface only).
    Listener listener(0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(std::stoi(listener.port())));
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    std::this_thread::sleep_for(100ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connect(listener.port()), "d-1");
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 4500ms);
    EXPECT_LT(waited, 15s);
    for (int filler : fillers) ::close(filler);
}

}  // namespace
