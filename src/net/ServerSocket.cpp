#include "net/ServerSocket.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

bool ServerSocket::listen(uint16_t port, int backlog, bool loopbackOnly) {
    close();
    int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0) return false;
    handle_ = handle;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    socklen_t length = sizeof address;
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(handle, backlog) != 0 ||
        getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close();
        return false;
    }
    localPort_ = ntohs(address.sin_port);
    return true;
}

std::unique_ptr<Socket> ServerSocket::accept() {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int handle = ::accept4(handle_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (handle >= 0) return std::make_unique<Socket>(handle, peer.sin_addr.s_addr, ntohs(peer.sin_port));
        // A peer that gave up before it was taken is not the end of listening.
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return nullptr;
    }
}

void ServerSocket::stop() { shutdown(); }
