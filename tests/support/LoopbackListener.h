#pragma once

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A listening TCP socket on 127.0.0.1 with an ephemeral port, for tests that play the peer.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog) {
        handle_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(handle_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(handle_, backlog), 0);
        socklen_t length = sizeof address;
        getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener() { ::close(handle_); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int portNumber() const { return port_; }
    int acceptPeer() { return ::accept4(handle_, nullptr, nullptr, SOCK_CLOEXEC); }

private:
    int handle_;
    uint16_t port_;
};
