#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// An IPv4 stream socket and its peer. One object per connection; the handle is -1 when closed.
// The program's one socket layer: the tcpip connections and the device link build on it.
class Socket {
public:
    Socket() = default;
    // Takes over a connected handle (from accept), with the peer it came from.
    Socket(int handle, uint32_t remoteAddress, uint16_t remotePort);
    virtual ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Dotted-decimal IPv4 only ("a.b.c.d"); no name resolution. Network byte order.
    static bool parseAddress(const std::string& text, uint32_t& address);
    static std::string formatAddress(uint32_t address);

    // Connects without blocking for longer than timeoutMs; the socket is blocking again
    // afterwards. False (and closed) on a bad address, a refusal, an error or the time-out,
    // and as soon as cancelFd (when given) becomes readable.
    bool connect(const std::string& address, uint16_t port, int timeoutMs, int cancelFd = -1);
    // Sends every byte. Gives up on an error, when the peer has gone, or when the peer takes
    // nothing for stallLimitMs (a peer that never reads must not hold the caller for ever).
    bool sendAll(const void* data, size_t size, int stallLimitMs);
    // Blocking receive; the count, 0 when the peer closed, -1 on an error (EINTR retried).
    ssize_t receive(void* buffer, size_t size);
    // Fills the whole buffer; false when the peer closes first, on an error, or when nothing
    // arrives for the receive time-out (when one is set).
    bool receiveExact(void* buffer, size_t size);
    // A receive waits at most this long for data (0: for ever).
    bool setReceiveTimeout(int ms);

    // A UDP socket instead, broadcasts allowed when asked.
    bool openDatagram(bool broadcast);
    // One datagram to an IPv4 address (network byte order) and port.
    bool sendTo(uint32_t address, uint16_t port, const void* data, size_t size);

    // Shuts both directions: a receive in progress on another thread returns at once.
    void shutdown();
    // Releases the handle. Only when no other thread can still be using it.
    void close();
    // Gives the handle (and the duty to close it) to the caller; this socket is closed after.
    int release();

    bool isOpen() const { return handle_ >= 0; }
    int handle() const { return handle_; }
    uint32_t remoteAddress() const { return remoteAddress_; }
    uint16_t remotePort() const { return remotePort_; }

protected:
    int handle_ = -1;
    uint32_t remoteAddress_ = 0;
    uint16_t remotePort_ = 0;
};
