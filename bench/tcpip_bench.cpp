// Throughput of the tcpip byte connections end to end through the bridge: 64 MiB sent by a
// loopback peer arriving as "read" events (hex text), and 64 MiB written by the page in
// 1 MiB writes. Prints the numbers; not part of the test suite.
#include "base/Text.h"
#include "support/EventCollector.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;
constexpr size_t kSize = 64u << 20;
constexpr size_t kWriteSize = 1u << 20;

double mibPerSecond(size_t bytes, Clock::time_point start) {
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return bytes / 1048576.0 / seconds;
}
}

int main() {
    TempHome home;
    TarnAppWebViewController controller;
    EventCollector events(controller);

    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 4);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::string port = std::to_string(ntohs(address.sin_port));

    // Peer to page.
    if (controller.invokeNative({"$$tcpip_connect", "127.0.0.1", port}) != "d0") return 1;
    int peer = ::accept(listener, nullptr, nullptr);
    auto start = Clock::now();
    std::thread sender([&] {
        std::string chunk(1 << 20, 'x');
        for (size_t sent = 0; sent < kSize; sent += chunk.size()) ::send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL);
        ::shutdown(peer, SHUT_WR);
    });
    size_t received = 0, reads = 0;
    events.waitFor([&](const EventCollector::Event& e) {
        if (e[1] == "read") received += e[3].size() / 2, ++reads;
        return e[1] == "closed";
    }, std::chrono::minutes(5));
    sender.join();
    std::printf("peer to page %zu MiB: %.0f MiB/s (%zu read events)\n", received >> 20, mibPerSecond(received, start),
                reads);
    ::close(peer);

    // Page to peer.
    if (controller.invokeNative({"$$tcpip_connect", "127.0.0.1", port}) != "d0") return 1;
    peer = ::accept(listener, nullptr, nullptr);
    size_t taken = 0;
    std::thread reader([&] {
        std::string buffer(1 << 20, '\0');
        ssize_t got;
        while ((got = ::recv(peer, &buffer[0], buffer.size(), 0)) > 0) taken += static_cast<size_t>(got);
    });
    std::string hex = hexEncode(std::string(kWriteSize, '\x5A'));
    start = Clock::now();
    for (size_t written = 0; written < kSize; written += kWriteSize)
        controller.invokeNative({"$$tcpip_write", "0", hex});
    controller.invokeNative({"$$tcpip_close", "0"});
    reader.join();
    std::printf("page to peer %zu MiB: %.0f MiB/s\n", taken >> 20, mibPerSecond(taken, start));
    ::close(peer);
    ::close(listener);
    return taken == kSize && received == kSize ? 0 : 1;
}
