#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <sys/types.h>

// A serial device opened exclusively in raw mode. One thread reads, another may write
// and stop it; the handle is released only by the destructor.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The device path for a connection address: "/dev/..." as it stands, "COM<n>" (n >= 1)
    // as /dev/ttyS<n-1>; empty when the address is not a serial one.
    static std::string devicePath(const std::string& address);

    // Opens the device for exclusive use, raw 8-bit, both queues flushed, DTR raised.
    // baud 0 keeps the device's rate; a rate the terminal layer does not know fails.
    bool open(const std::string& path, unsigned long baud);
    // Writes every byte; false on an error or when the device takes nothing for stallLimitMs.
    bool writeAll(const void* data, size_t size, int stallLimitMs);
    // Waits up to stepMs for bytes: the count read, 0 when nothing came, -1 when the port
    // hung up, failed or was stopped.
    ssize_t read(void* buffer, size_t size, int stepMs);
    // Drops DTR, discards both queues and wakes a waiting read, which then returns -1.
    void stop();

    bool isOpen() const { return handle_ >= 0; }
    int handle() const { return handle_; }

private:
    int handle_ = -1;
    int wake_ = -1;
    std::atomic<bool> stopped_{false};
};
