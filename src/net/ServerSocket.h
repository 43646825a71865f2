#pragma once

#include "net/Socket.h"

#include <memory>

// A listening IPv4 TCP socket. accept() blocks until a peer connects or stop() is called
// from another thread.
class ServerSocket : public Socket {
public:
    // Listens on all addresses (or loopback only) at port (0: an ephemeral one).
    bool listen(uint16_t port, int backlog, bool loopbackOnly = false);
    // The port actually listened on.
    uint16_t localPort() const { return localPort_; }
    // The next connection, or null once stopped (or on an error other than an interrupted call).
    std::unique_ptr<Socket> accept();
    // Wakes a waiting accept(); every later accept() answers null.
    void stop();

private:
    uint16_t localPort_ = 0;
};
