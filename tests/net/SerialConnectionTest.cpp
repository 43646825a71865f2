#include "support/EventCollector.h"
#include "net/SerialPort.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A pseudo-terminal pair: the test holds the master, the module opens the slave by its path.
class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
        slave_ = ptsname(master_);
    }
    ~PseudoTerminal() { hangUp(); }
    const std::string& slave() const { return slave_; }
    int master() const { return master_; }
    // The slave's line settings (a pseudo-terminal's master reports its slave's).
    termios settings() const {
        termios t{};
        EXPECT_EQ(tcgetattr(master_, &t), 0);
        return t;
    }
    std::string read(size_t size) {
        std::string bytes;
        char buffer[256];
        while (bytes.size() < size) {
            pollfd entry{master_, POLLIN, 0};
            if (::poll(&entry, 1, 5000) != 1) break;
            ssize_t got = ::read(master_, buffer, std::min(sizeof buffer, size - bytes.size()));
            if (got <= 0) break;
            bytes.append(buffer, static_cast<size_t>(got));
        }
        return bytes;
    }
    void write(const std::string& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void hangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string slave_;
};

TEST(SerialPortTest, AddressesNamingSerialDevices) {
    EXPECT_EQ(SerialPort::devicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::devicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialPort::devicePath("COM12"), "/dev/ttyS11");
    for (std::string other : {"COM0", "COM", "COMx", "COM1a", "com1", "127.0.0.1", "dev/ttyS0", ""})
        EXPECT_EQ(SerialPort::devicePath(other), "") << other;
}

class SerialConnectionTest : public ::testing::Test {
protected:
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }

    TempHome home;
    TarnAppWebViewController controller;
    EventCollector events{controller};
};

TEST_F(SerialConnectionTest, RawBytesBothWaysAtTheRequestedRate) {
    PseudoTerminal pty;
    ASSERT_EQ(call({"$$tcpip_connect", pty.slave(), "57600"}), "d0");
    termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);

    // No line-end translation either way, and zero bytes pass.
    EXPECT_EQ(call({"$$tcpip_write", "0", "48690D0A00ff"}), "v");
    EXPECT_EQ(pty.read(6), std::string("Hi\r\n\x00\xFF", 6));
    pty.write(std::string("\x00\x01\xFE\r\n\x03", 6));
    std::string hex;
    ASSERT_TRUE(events.waitFor([&](const EventCollector::Event& e) {
        if (e[1] == "read" && e[2] == "0") hex += e[3];
        return hex.size() >= 12;
    }, 10s));
    EXPECT_EQ(hex, "0001FE0D0A03");

    // Opened exclusively: a second connect to the same device fails.
    EXPECT_EQ(call({"$$tcpip_connect", pty.slave(), "0"}), "d-1");

    EXPECT_EQ(call({"$$tcpip_close", "0"}), "v");
    ASSERT_TRUE(events.waitFor("tcpip", "closed", "0", 10s));
    // Released: it opens again, keeping the rate it has when none is given.
    ASSERT_EQ(call({"$$tcpip_connect", pty.slave(), "0"}), "d0");
    t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(call({"$$tcpip_close", "0"}), "v");
    ASSERT_TRUE(events.waitFor("tcpip", "closed", "0", 10s));
}

TEST_F(SerialConnectionTest, HangUpEndsTheConnection) {
    PseudoTerminal pty;
    ASSERT_EQ(call({"$$tcpip_connect", pty.slave(), "9600"}), "d0");
    pty.hangUp();
    ASSERT_TRUE(events.waitFor("tcpip", "closed", "0", 10s));
    EXPECT_EQ(call({"$$tcpip_write", "0", "00"}), "v");
}

TEST_F(SerialConnectionTest, DevicesThatCannotBeOpenedGiveMinusOne) {
    PseudoTerminal pty;
    EXPECT_EQ(call({"$$tcpip_connect", home.file("no-such-tty").insert(0, "/dev/../"), "9600"}), "d-1");
    EXPECT_EQ(call({"$$tcpip_connect", "/dev/tarn-no-such-tty", "9600"}), "d-1");
    EXPECT_EQ(call({"$$tcpip_connect", "/dev/null", "0"}), "d-1");  // not a terminal
    EXPECT_EQ(call({"$$tcpip_connect", pty.slave(), "12345"}), "d-1");  // a rate the terminal has not
    EXPECT_EQ(call({"$$tcpip_connect", pty.slave(), "-9600"}), "d-1");
    // The failures left the device free.
    EXPECT_EQ(call({"$$tcpip_connect", pty.slave(), "115200"}), "d0");
    termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
}

}  // namespace
