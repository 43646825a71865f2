#include "UlinkSimProcess.h"
#include "base/Json.h"
#include "base/Text.h"
#include "support/EventCollector.h"
#include "support/LoopbackListener.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A plain TCP listener on loopback standing in for a device, with the one peer it took.
class FakeDevice : public LoopbackListener {
public:
    explicit FakeDevice(int backlog = 4) : LoopbackListener(backlog) {}
    ~FakeDevice() {
        if (peer_ >= 0) ::close(peer_);
    }
    int port() const { return portNumber(); }
    int accept() { return peer_ = acceptPeer(); }
    void write(const std::string& bytes) {
        ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void hangUp() {
        ::close(peer_);
        peer_ = -1;
    }

private:
    int peer_ = -1;
};

std::string record(int port, const std::string& address = "127.0.0.1") {
    return jsonText(Json{{"UlinkDeviceAddressKey", address}, {"UlinkDevicePortNoKey", port}});
}

class UlinkModuleTest : public ::testing::Test {
protected:
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }
    bool waitEvent(const std::string& name, std::chrono::milliseconds timeout = 10s) {
        return events.waitFor([&](const EventCollector::Event& e) { return e.size() >= 2 && e[0] == "ulink" && e[1] == name; },
                              timeout);
    }
    std::vector<EventCollector::Event> named(const std::string& name) const {
        std::vector<EventCollector::Event> found;
        for (const auto& e : events.all())
            if (e.size() >= 2 && e[0] == "ulink" && e[1] == name) found.push_back(e);
        return found;
    }
    void connectTo(int port) {
        ASSERT_EQ(call({"$$ulink_connect", record(port)}), "v");
        ASSERT_TRUE(waitEvent("connected"));
    }

    TempHome home;
    TarnAppWebViewController controller;
    EventCollector events{controller};
};

#define REQUIRE_PRIVATE_NETWORK() \
    if (!inPrivateNetwork()) GTEST_SKIP() << "broadcasts: runs only in a network namespace of its own"

TEST_F(UlinkModuleTest, DiscoveryReportsTheSimulatorWithEveryKey) {
    REQUIRE_PRIVATE_NETWORK();
    // Texts the device keeps in Latin-1 ("Bühne" with a u-umlaut byte) reach the page as UTF-8.
    UlinkSimProcess sim({"--name", "B\xFChne 1", "--model", "ULX-7", "--serial", "1234ABCD", "--caps", "3",
                         "--image", "2", "--status", "1", "--manufacturer", "Corvane", "--version", "2.1.0"});
    ASSERT_NE(sim.linkPort(), 0);
    ASSERT_EQ(call({"$$ulink_discovery"}), "v");
    ASSERT_TRUE(waitEvent("found"));
    Json device = parseJson(named("found")[0][2]);
    EXPECT_EQ(device, (Json{{"UlinkDeviceAddressKey", "127.0.0.1"},
                            {"UlinkDevicePortNoKey", sim.linkPort()},
                            {"UlinkDeviceUIDKey", "ULX-7-1234ABCD"},
                            {"UlinkDeviceCapsKey", 3},
                            {"UlinkDeviceImageKey", 2},
                            {"UlinkDeviceStatusKey", 1},
                            {"UlinkDeviceManufacturerKey", "Corvane"},
                            {"UlinkDeviceVersionKey", "2.1.0"},
                            {"UlinkDeviceNameKey", "B\xC3\xBChne 1"}}));
    // The found record links as it stands.
    ASSERT_EQ(call({"$$ulink_connect", named("found")[0][2]}), "v");
    ASSERT_TRUE(waitEvent("connected"));
    EXPECT_EQ(parseJson(named("connected")[0][2]), device);
    EXPECT_EQ(parseJson(call({"$$ulink_device"}).substr(1)), device);
}

TEST_F(UlinkModuleTest, RepliesOfOneDeviceFoundOnceAndRejectedRepliesNotAtAll) {
    REQUIRE_PRIVATE_NETWORK();
    {
        UlinkSimProcess twice({"--replies", "2"});
        call({"$$ulink_discovery"});
        ASSERT_FALSE(twice.waitLine("replied 2").empty());
        events.drainFor(300ms);
        EXPECT_EQ(named("found").size(), 1u);
    }
    // Capabilities 0, a reply cut short, a service port of 0, and a device that connects back
    // and never writes: none is reported, and the next round is not held up by them.
    for (std::vector<std::string> options : {std::vector<std::string>{"--caps", "0"},
                                             {"--reply-size", "83"},
                                             {"--service-port", "0"},
                                             {"--reply-hold"}}) {
        UlinkSimProcess sim(options);
        call({"$$ulink_discovery"});
        ASSERT_FALSE(sim.waitLine(options[0] == "--reply-hold" ? "replyhold" : "replied").empty()) << options[0];
        events.drainFor(300ms);
        EXPECT_EQ(named("found").size(), 1u) << options[0];
    }
    UlinkSimProcess good({"--model", "GOOD"});
    auto before = std::chrono::steady_clock::now();
    call({"$$ulink_discovery"});
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);  // a silent replier does not hang it
    ASSERT_TRUE(events.waitFor([&](const EventCollector::Event&) { return named("found").size() == 2; }, 10s));
    EXPECT_EQ(parseJson(named("found")[1][2])["UlinkDeviceUIDKey"], "GOOD-00C0FFEE");
}

TEST_F(UlinkModuleTest, RequestGoesToEveryInterfaceBroadcastAndLoopback) {
    REQUIRE_PRIVATE_NETWORK();
    // A second interface inside this test's own namespace.
    ASSERT_EQ(system("ip link add ut0 type veth peer name ut1 && ip addr add 10.77.0.1/24 brd + dev ut0 && "
                     "ip link set ut0 up && ip link set ut1 up"),
              0);
    UlinkSimProcess sim({});
    call({"$$ulink_discovery"});
    ASSERT_TRUE(waitEvent("found"));
    sim.drainFor(300ms);
    std::vector<std::string> targets;
    for (const auto& line : sim.lines())
        if (line.compare(0, 8, "request ") == 0) targets.push_back(line.substr(8, line.find(' ', 8) - 8));
    EXPECT_NE(std::find(targets.begin(), targets.end(), "10.77.0.255"), targets.end());
    EXPECT_NE(std::find(targets.begin(), targets.end(), "127.255.255.255"), targets.end());
    // However many requests it answered, the device is listed once.
    EXPECT_EQ(named("found").size(), 1u);
    system("ip link del ut0");
}

TEST_F(UlinkModuleTest, MIDITravelsBothWaysAsTimeStampedPackets) {
    UlinkSimProcess sim({});
    connectTo(sim.linkPort());
    ASSERT_FALSE(sim.waitLine("connected").empty());
    sim.command("packets 0000ABCD04F07D10072030F7");
    ASSERT_TRUE(waitEvent("message"));
    EXPECT_EQ(named("message")[0], (EventCollector::Event{"ulink", "message", "F07D102030F7", "43981"}));

    call({"$$ulink_send", "903C40"});
    std::string line = sim.waitLine("message 2 ");
    ASSERT_EQ(line.size(), std::string("message 2 0 ").size() + 16) << line;
    EXPECT_NE(line.substr(12, 8), "00000000");  // a time stamp, never 0
    EXPECT_EQ(line.substr(20), "09903C40");
    call({"$$ulink_send", "F07D10203040F7"});
    line = sim.waitLine("message 2 ");
    EXPECT_EQ(line.substr(20), "04F07D10" "04203040" "05F70000");
    // More than one message can carry: split at whole packets, every part time-stamped.
    std::string notes;
    for (int i = 0; i < 9000; ++i) notes += "903C40";
    call({"$$ulink_send", notes});
    std::string first = sim.waitLine("message 2 "), second = sim.waitLine("message 2 ");
    ASSERT_FALSE(second.empty());
    EXPECT_EQ((first.size() - 20 + second.size() - 20) / 8, 9000u);
    EXPECT_EQ(first.substr(12, 8), second.substr(12, 8));
    EXPECT_LE((first.size() - 12) / 2, 0x7FFFu);
}

TEST_F(UlinkModuleTest, SettingsAndTheirMessages) {
    EXPECT_EQ(call({"$$ulink_timeout"}), "d5");
    EXPECT_EQ(call({"$$ulink_keepalive"}), "d3");
    EXPECT_EQ(call({"$$ulink_device"}), "s");
    EXPECT_EQ(call({"$$ulink_timeout", "2"}), "d2");
    EXPECT_EQ(call({"$$ulink_timeout"}), "d2");
    // The device's interval replaces ours; ours, when set while linked, is sent to it.
    UlinkSimProcess sim({"--interval", "7"});
    connectTo(sim.linkPort());
    for (int i = 0; i < 200 && call({"$$ulink_keepalive"}) != "d7"; ++i) usleep(10000);
    EXPECT_EQ(call({"$$ulink_keepalive"}), "d7");
    EXPECT_EQ(call({"$$ulink_keepalive", "4"}), "d4");
    EXPECT_FALSE(sim.waitLine("message 0 1 04").empty());
    call({"$$ulink_inputmode", "3"});
    EXPECT_FALSE(sim.waitLine("message 4 11 03").empty());
    // Disconnect reports nothing and forgets the device.
    call({"$$ulink_disconnect"});
    EXPECT_FALSE(sim.waitLine("closed").empty());
    EXPECT_EQ(call({"$$ulink_device"}), "s");
    events.drainFor(200ms);
    EXPECT_TRUE(named("closed").empty());
}

TEST_F(UlinkModuleTest, SilentDeviceIsDroppedAfterTheKeepAliveLimit) {
    UlinkSimProcess sim({"--silent"});
    ASSERT_EQ(call({"$$ulink_keepalive", "3"}), "d3");
    auto start = std::chrono::steady_clock::now();
    connectTo(sim.linkPort());
    ASSERT_TRUE(waitEvent("closed", 10s));
    auto after = std::chrono::steady_clock::now() - start;
    EXPECT_GE(after, 3500ms);
    EXPECT_LE(after, 6s);
    EXPECT_FALSE(sim.waitLine("message 0 0").empty());  // it was pinged
    EXPECT_EQ(call({"$$ulink_device"}), "s");
}

TEST_F(UlinkModuleTest, AnsweringDeviceStaysLinked) {
    UlinkSimProcess sim({});
    // Two seconds of silence allowed: a ping answered late on a loaded machine (or under the
    // race checker) must not look like a silent device.
    call({"$$ulink_keepalive", "2"});
    connectTo(sim.linkPort());
    events.drainFor(4500ms);
    EXPECT_TRUE(named("closed").empty());
    EXPECT_NE(call({"$$ulink_device"}), "s");
    // The device going away is reported.
    sim.command("drop");
    EXPECT_TRUE(waitEvent("closed"));
}

TEST_F(UlinkModuleTest, ConnectFailsForAPortWithoutListener) {
    int port;
    {
        FakeDevice gone;
        port = gone.port();
    }
    call({"$$ulink_connect", record(port)});
    ASSERT_TRUE(waitEvent("connectfailed"));
    EXPECT_EQ(parseJson(named("connectfailed")[0][2])["UlinkDevicePortNoKey"], port);
    // Not an address at all: refused the same way.
    call({"$$ulink_connect", record(port, "device.local")});
    events.waitFor([&](const EventCollector::Event&) { return named("connectfailed").size() == 2; }, 5s);
    EXPECT_EQ(named("connectfailed").size(), 2u);
    EXPECT_EQ(call({"$$ulink_connect", "not json"}).substr(0, 1), "e");
}

TEST_F(UlinkModuleTest, BrokenMessagesEndTheLinkCleanly) {
    {  // a length with its top bit set
        FakeDevice device;
        connectTo(device.port());
        device.accept();
        device.write(hexDecode("02008000") + std::string(16, '\0'));
        ASSERT_TRUE(waitEvent("closed"));
    }
    {  // the device goes in the middle of a message
        FakeDevice device;
        connectTo(device.port());
        device.accept();
        device.write(hexDecode("02000010" "0000000109"));
        usleep(50000);
        device.hangUp();
        ASSERT_TRUE(events.waitFor([&](const EventCollector::Event&) { return named("closed").size() == 2; }, 10s));
    }
    EXPECT_TRUE(named("message").empty());
}

TEST_F(UlinkModuleTest, LargestPayloadKeepsTheStreamInStep) {
    FakeDevice device;
    connectTo(device.port());
    device.accept();
    std::string big(0x7FFF, '\x55');
    device.write(hexDecode("09007FFF") + big);  // a type this side ignores
    std::string midi = hexDecode("00000007");
    while (midi.size() + 4 <= 0x7FFF) midi += hexDecode("09903C40");
    midi += hexDecode("0990");  // padded to the largest length with a partial packet
    ASSERT_EQ(midi.size(), 0x7FFFu - 1);
    midi += '\0';
    device.write(hexDecode("02007FFF") + midi);
    device.write(hexDecode("02000008" "00000009" "0BB00708"));
    ASSERT_TRUE(events.waitFor([&](const EventCollector::Event& e) { return e.size() >= 3 && e[2] == "B00708"; }, 10s));
    auto messages = named("message");
    EXPECT_EQ(messages.size(), 8190u + 1);
    EXPECT_EQ(messages.front(), (EventCollector::Event{"ulink", "message", "903C40", "7"}));
    EXPECT_TRUE(named("closed").empty());
}

TEST_F(UlinkModuleTest, SilentPeerAndDisconnectDuringConnectEndCleanly) {
    {  // a peer that connects and never writes
        FakeDevice device;
        call({"$$ulink_keepalive", "1"});
        connectTo(device.port());
        device.accept();
        ASSERT_TRUE(waitEvent("closed", 5s));
    }
    // A listener whose queue is full leaves the connect pending.
    FakeDevice busy(0);
    int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(busy.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    auto before = std::chrono::steady_clock::now();
    call({"$$ulink_connect", record(busy.port())});
    usleep(200000);
    call({"$$ulink_disconnect"});
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);  // not the 5 s connect time-out
    events.drainFor(300ms);
    EXPECT_TRUE(named("connectfailed").empty());
    EXPECT_EQ(named("connected").size(), 1u);
    ::close(filler);
    // Linking again after that works as ever.
    UlinkSimProcess sim({});
    connectTo(sim.linkPort());
}

TEST_F(UlinkModuleTest, DeviceThatTakesNothingGivesAnErrorNotAHang) {
    FakeDevice device;
    ASSERT_EQ(call({"$$ulink_keepalive", "0"}), "d0");
    connectTo(device.port());
    device.accept();  // and never reads
    std::string notes;
    for (int i = 0; i < 100000; ++i) notes += "903C40";
    for (int i = 0; i < 200 && named("error").empty(); ++i) {
        call({"$$ulink_send", notes});
        events.drainFor(1ms);
    }
    ASSERT_FALSE(named("error").empty());
    EXPECT_EQ(parseJson(named("error")[0][2])["UlinkDevicePortNoKey"], device.port());
    // Part of a message may have gone out: the link cannot go on and ends.
    EXPECT_TRUE(waitEvent("closed"));
    EXPECT_EQ(call({"$$ulink_device"}), "s");
}

TEST_F(UlinkModuleTest, ConnectWhileLinkedDropsTheOldLinkFirst) {
    UlinkSimProcess first({});
    UlinkSimProcess second({});
    connectTo(first.linkPort());
    ASSERT_FALSE(first.waitLine("connected").empty());
    call({"$$ulink_connect", record(second.linkPort())});
    ASSERT_FALSE(first.waitLine("closed").empty());
    ASSERT_TRUE(events.waitFor([&](const EventCollector::Event&) { return named("connected").size() == 2; }, 10s));
    EXPECT_TRUE(named("closed").empty());
    EXPECT_EQ(parseJson(call({"$$ulink_device"}).substr(1))["UlinkDevicePortNoKey"], second.linkPort());
    call({"$$ulink_send", "C005"});
    EXPECT_EQ(second.waitLine("message 2 ").substr(20), "0CC00500");
}

}  // namespace
