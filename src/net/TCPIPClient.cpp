#include "net/TCPIPClient.h"

#include "net/SerialPort.h"

#include <vector>

TCPIPClient::TCPIPClient() = default;

TCPIPClient::~TCPIPClient() {
    delegate_.reset();
    serial_.reset();
    close();
}

bool TCPIPClient::open(const std::string& address, long port) {
    std::string device = SerialPort::devicePath(address);
    if (!device.empty()) {
        if (port < 0) return false;
        auto serial = std::make_unique<SerialPort>();
        if (!serial->open(device, static_cast<unsigned long>(port))) return false;
        serial_ = std::move(serial);
        return true;
    }
    if (port < 0 || port > 65535) return false;
    return connect(address, static_cast<uint16_t>(port), kConnectTimeoutMs);
}

bool TCPIPClient::write(const std::string& bytes) {
    if (bytes.empty()) return true;
    if (serial_) return serial_->writeAll(bytes.data(), bytes.size(), kWriteStallLimitMs);
    return sendAll(bytes.data(), bytes.size(), kWriteStallLimitMs);
}

void TCPIPClient::disconnect() {
    disconnected_ = true;
    if (serial_) serial_->stop();
    else shutdown();
}

void TCPIPClient::run() {
    if (serial_) {
        std::vector<unsigned char> buffer(kSerialReadSize);
        for (;;) {
            ssize_t got = serial_->read(buffer.data(), buffer.size(), kSerialStepMs);
            if (got < 0) break;
            if (got > 0 && delegate_) delegate_->read(buffer.data(), static_cast<size_t>(got));
        }
    } else {
        std::vector<unsigned char> buffer(kReceiveSize);
        for (;;) {
            ssize_t got = receive(buffer.data(), buffer.size());
            if (got <= 0 || disconnected_) break;
            if (delegate_) delegate_->read(buffer.data(), static_cast<size_t>(got));
        }
    }
    if (delegate_) delegate_->closed();
}
