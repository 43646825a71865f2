#include "net/SerialPort.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool speedFor(unsigned long baud, speed_t& speed) {
    static const struct { unsigned long rate; speed_t speed; } rates[] = {
        {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
        {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
        {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
        {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
        {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& entry : rates) {
        if (entry.rate == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

void setDTR(int handle, bool on) {
    int bits = TIOCM_DTR;
    // Devices without modem lines (pseudo-terminals, some adapters) refuse this: not an error.
    (void)ioctl(handle, on ? TIOCMBIS : TIOCMBIC, &bits);
}

}  // namespace

SerialPort::~SerialPort() {
    if (handle_ >= 0) ::close(handle_);
    if (wake_ >= 0) ::close(wake_);
}

std::string SerialPort::devicePath(const std::string& address) {
    if (address.compare(0, 5, "/dev/") == 0) return address;
    if (address.compare(0, 3, "COM") != 0) return "";
    std::string digits = address.substr(3);
    if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) return "";
    int number = std::atoi(digits.c_str());
    if (number < 1) return "";
    return "/dev/ttyS" + std::to_string(number - 1);
}

bool SerialPort::open(const std::string& path, unsigned long baud) {
    if (handle_ >= 0) return false;
    int handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return false;
    termios settings{};
    speed_t speed = 0;
    bool ok = isatty(handle) && ioctl(handle, TIOCEXCL) == 0 &&
              // TIOCEXCL does not hold back a privileged opener; the lock does, between programs that ask.
              flock(handle, LOCK_EX | LOCK_NB) == 0 && tcgetattr(handle, &settings) == 0 &&
              (baud == 0 || speedFor(baud, speed));
    if (ok) {
        // Raw bytes both ways; the other line settings stay as the device has them.
        settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
        settings.c_oflag &= ~OPOST;
        settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        settings.c_cflag |= CREAD | CLOCAL | HUPCL;
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        if (baud != 0) ok = cfsetispeed(&settings, speed) == 0 && cfsetospeed(&settings, speed) == 0;
    }
    ok = ok && tcflush(handle, TCIOFLUSH) == 0 && tcsetattr(handle, TCSANOW, &settings) == 0;
    int wake = ok ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
    if (wake < 0) {
        ::close(handle);
        return false;
    }
    setDTR(handle, true);
    handle_ = handle;
    wake_ = wake;
    stopped_ = false;
    return true;
}

bool SerialPort::writeAll(const void* data, size_t size, int stallLimitMs) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        if (handle_ < 0 || stopped_) return false;
        ssize_t written = ::write(handle_, bytes, size);
        if (written > 0) {
            bytes += written;
            size -= static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written == 0 || errno != EAGAIN) return false;
        pollfd entry{handle_, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&entry, 1, stallLimitMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0 || (entry.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
    }
    return true;
}

ssize_t SerialPort::read(void* buffer, size_t size, int stepMs) {
    if (handle_ < 0 || stopped_) return -1;
    pollfd entries[2] = {{handle_, POLLIN, 0}, {wake_, POLLIN, 0}};
    int ready = ::poll(entries, 2, stepMs);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    if (stopped_ || entries[1].revents) return -1;
    if (ready == 0) return 0;
    if (entries[0].revents & POLLIN) {
        ssize_t got = ::read(handle_, buffer, size);
        if (got > 0) return got;
        bool hungUp = entries[0].revents & (POLLHUP | POLLERR);
        if (got == 0) return hungUp ? -1 : 0;
        return (errno == EAGAIN || errno == EINTR) && !hungUp ? 0 : -1;
    }
    return -1;  // hang-up or error without data
}

void SerialPort::stop() {
    if (handle_ < 0 || stopped_.exchange(true)) return;
    setDTR(handle_, false);
    tcflush(handle_, TCIOFLUSH);
    uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
}
