#include "net/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool setBlocking(int handle, bool blocking) {
    int flags = fcntl(handle, F_GETFL);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(handle, F_SETFL, flags) == 0;
}

}  // namespace

Socket::Socket(int handle, uint32_t remoteAddress, uint16_t remotePort)
    : handle_(handle), remoteAddress_(remoteAddress), remotePort_(remotePort) {}

Socket::~Socket() { close(); }

bool Socket::parseAddress(const std::string& text, uint32_t& address) {
    in_addr parsed{};
    // inet_pton takes exactly four decimal parts, each 0-255, and nothing else.
    if (text.empty() || inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
    address = parsed.s_addr;
    return true;
}

std::string Socket::formatAddress(uint32_t address) {
    in_addr value{};
    value.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}

bool Socket::connect(const std::string& address, uint16_t port, int timeoutMs, int cancelFd) {
    close();
    uint32_t remote = 0;
    if (!parseAddress(address, remote)) return false;
    int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0) return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = remote;
    bool connected = false;
    if (setBlocking(handle, false)) {
        if (::connect(handle, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            pollfd entries[2] = {{handle, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
            int ready;
            do {
                ready = ::poll(entries, cancelFd >= 0 ? 2 : 1, remainingMs(deadline));
            } while (ready < 0 && errno == EINTR);
            if (ready > 0 && entries[1].revents == 0 && entries[0].revents != 0) {
                int error = 0;
                socklen_t length = sizeof error;
                connected = getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
            }
        }
        if (!setBlocking(handle, true)) connected = false;
    }
    if (!connected) {
        ::close(handle);
        return false;
    }
    handle_ = handle;
    remoteAddress_ = remote;
    remotePort_ = port;
    return true;
}

bool Socket::sendAll(const void* data, size_t size, int stallLimitMs) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        if (handle_ < 0) return false;
        // MSG_NOSIGNAL: a peer that has gone is an error here, never a SIGPIPE for the process.
        ssize_t sent = ::send(handle_, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes += sent;
            size -= static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
        pollfd entry{handle_, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&entry, 1, stallLimitMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) return false;
    }
    return true;
}

ssize_t Socket::receive(void* buffer, size_t size) {
    for (;;) {
        ssize_t got = ::recv(handle_, buffer, size, 0);
        if (got >= 0 || errno != EINTR) return got < 0 ? -1 : got;
    }
}

bool Socket::receiveExact(void* buffer, size_t size) {
    char* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t got = receive(bytes, size);
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool Socket::setReceiveTimeout(int ms) {
    if (handle_ < 0) return false;
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

bool Socket::openDatagram(bool broadcast) {
    close();
    handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (handle_ < 0) return false;
    int on = 1;
    if (broadcast && setsockopt(handle_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        close();
        return false;
    }
    return true;
}

bool Socket::sendTo(uint32_t address, uint16_t port, const void* data, size_t size) {
    if (handle_ < 0) return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    ssize_t sent;
    do {
        sent = ::sendto(handle_, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(size);
}

void Socket::shutdown() {
    if (handle_ >= 0) ::shutdown(handle_, SHUT_RDWR);
}

void Socket::close() {
    if (handle_ < 0) return;
    ::close(handle_);
    handle_ = -1;
}

int Socket::release() {
    int handle = handle_;
    handle_ = -1;
    return handle;
}
