#pragma once

#include "base/Thread.h"
#include "net/Socket.h"
#include "net/TCPIPClientDelegate.h"

#include <atomic>
#include <memory>
#include <string>

class SerialPort;

// One numbered byte connection: a TCP socket, or a serial device when the address names one.
// Its thread reads until the peer or the owner ends the connection; the thread is started
// with autoDelete, so the reader deletes the client (and its delegate) when it has reported
// closed(). The handle is released only then, so no other thread can meet a reused number.
class TCPIPClient : public Socket, public Thread {
public:
    // How long the connect waits for a TCP peer, and how long a write waits for a peer that
    // takes nothing before it gives up.
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kWriteStallLimitMs = 2000;
    static constexpr size_t kReceiveSize = 131072;
    static constexpr size_t kSerialReadSize = 4096;
    static constexpr int kSerialStepMs = 500;

    TCPIPClient();
    ~TCPIPClient() override;

    // Serial when SerialPort::devicePath() knows the address (port = baud rate, 0 keeps it);
    // otherwise TCP to a dotted-decimal IPv4 address.
    bool open(const std::string& address, long port);
    bool isSerial() const { return serial_ != nullptr; }

    // Takes the delegate; set before the thread starts.
    void setDelegate(std::unique_ptr<TCPIPClientDelegate> delegate) { delegate_ = std::move(delegate); }
    // Writes every byte (see Socket::sendAll).
    bool write(const std::string& bytes);
    // Ends the connection from the owner's side: TCP shuts both directions, serial drops DTR
    // and flushes. The reader then returns and reports closed().
    void disconnect();

    void run() override;

private:
    std::unique_ptr<SerialPort> serial_;
    std::unique_ptr<TCPIPClientDelegate> delegate_;
    // Set by disconnect(): a shut-down socket still hands out what is queued (and what a
    // peer keeps sending), so the reader stops on this rather than on the end of the data.
    std::atomic<bool> disconnected_{false};
};
