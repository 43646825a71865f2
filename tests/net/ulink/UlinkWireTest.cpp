#include "base/Text.h"
#include "net/UlinkConnection.h"
#include "net/UlinkDevice.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

std::string reply() {
    std::string r(84, '\0');
    r.replace(0, 6, "UDDPv1");
    r.replace(6, 6, hexDecode("1F40" "00ABCDEF"));
    r[12] = 5, r[13] = 6, r[14] = 7;
    r.replace(20, 16, "Corvane Devices!");  // all 16 bytes: no terminator
    r.replace(36, 8, "MODEL-08");
    r.replace(44, 3, "1.2");
    r.replace(52, 6, "Caf\xE9 \xB5");
    r.replace(68, 16, std::string(16, '\xFF'));  // bytes that are not read
    return r;
}

bool parse(const std::string& bytes, UlinkDevice& device, uint32_t peer = inet_addr("192.168.4.20")) {
    return UlinkDiscoveryWire::parseReply(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), peer,
                                          device);
}

UlinkMessage message(uint8_t type, uint8_t subtype, const std::string& hex) {
    UlinkMessage m;
    m.type = type;
    m.subtype = subtype;
    m.payload = hexDecode(hex);
    return m;
}

}  // namespace

TEST(UlinkDiscoveryWire, RequestCarriesTheReplyPort) {
    EXPECT_EQ(hexEncode(UlinkDiscoveryWire::request(0xA1B2)), hexEncode(std::string("UDDPv1")) + "A1B2");
}

TEST(UlinkDiscoveryWire, ReplyBecomesTheDeviceRecord) {
    UlinkDevice device;
    ASSERT_TRUE(parse(reply(), device));
    EXPECT_EQ(device.address, "192.168.4.20");
    EXPECT_EQ(device.port, 8000);
    EXPECT_EQ(device.uid, "MODEL-08-00ABCDEF");
    EXPECT_EQ(device.caps, 5);
    EXPECT_EQ(device.image, 6);
    EXPECT_EQ(device.status, 7);
    EXPECT_EQ(device.manufacturer, "Corvane Devices!");
    EXPECT_EQ(device.version, "1.2");
    EXPECT_EQ(device.name, "Caf\xC3\xA9 \xC2\xB5");  // Latin-1 in, UTF-8 out
    EXPECT_EQ(jsonText(device.toJson()),
              "{\"UlinkDeviceAddressKey\":\"192.168.4.20\",\"UlinkDeviceCapsKey\":5,\"UlinkDeviceImageKey\":6,"
              "\"UlinkDeviceManufacturerKey\":\"Corvane Devices!\",\"UlinkDeviceNameKey\":\"Caf\xC3\xA9 \xC2\xB5\","
              "\"UlinkDevicePortNoKey\":8000,\"UlinkDeviceStatusKey\":7,\"UlinkDeviceUIDKey\":\"MODEL-08-00ABCDEF\","
              "\"UlinkDeviceVersionKey\":\"1.2\"}");
    // The record the page hands back names the same device.
    UlinkDevice back = UlinkDevice::fromJson(jsonText(device.toJson()));
    EXPECT_EQ(back.address, device.address);
    EXPECT_EQ(back.port, device.port);
    EXPECT_EQ(back.name, device.name);
    EXPECT_THROW(UlinkDevice::fromJson("[1]"), std::exception);
}

TEST(UlinkDiscoveryWire, RepliesThatDoNotDescribeADeviceAreRejected) {
    UlinkDevice device;
    std::string r = reply();
    EXPECT_FALSE(parse(r.substr(0, 83), device));
    EXPECT_FALSE(parse(r, device, 0));
    std::string bad = r;
    bad[5] = '2';
    EXPECT_FALSE(parse(bad, device));
    bad = r;
    bad[6] = bad[7] = 0;
    EXPECT_FALSE(parse(bad, device));
    bad = r;
    bad[12] = 0;
    EXPECT_FALSE(parse(bad, device));
}

TEST(UlinkConnectionMessages, EachTypeUpdatesWhatItCarries) {
    UlinkConnection link([] { return 1u; });
    EXPECT_EQ(link.timeout(), 5);
    EXPECT_EQ(link.keepAlive(), 3);
    link.handleMessage(message(0, 1, "09"));
    EXPECT_EQ(link.keepAlive(), 9);
    link.handleMessage(message(0, 1, ""));  // no value: nothing replaced
    EXPECT_EQ(link.keepAlive(), 9);
    link.handleMessage(message(1, 0, "00000001"));
    link.handleMessage(message(1, 4, "FFFFFFFE"));
    link.handleMessage(message(1, 5, "00000005"));  // no such value
    link.handleMessage(message(1, 2, "0102"));      // too short
    EXPECT_EQ(link.deviceValue(0), 1u);
    EXPECT_EQ(link.deviceValue(2), 0u);
    EXPECT_EQ(link.deviceValue(4), 0xFFFFFFFEu);
    EXPECT_EQ(link.levelMaxima(), (std::array<int32_t, 4>{-120, -120, -120, -120}));
    link.handleMessage(message(3, 0, "FFFFFF88" "FFFFFFF6" "00000003" "FFFFFF00" "00000000"));
    link.handleMessage(message(3, 0, "FFFFFFEC" "FFFFFFEC" "FFFFFFEC" "FFFFFFEC"));
    EXPECT_EQ(link.levels(), (std::array<int32_t, 4>{-20, -20, -20, -20}));
    EXPECT_EQ(link.levelMaxima(), (std::array<int32_t, 4>{-20, -10, 3, -20}));
    link.handleMessage(message(3, 0, "00000001"));  // short level data changes nothing
    EXPECT_EQ(link.levels()[0], -20);
    link.handleMessage(message(9, 9, "00"));  // unknown types are ignored
}

TEST(UlinkConnectionMessages, SettingsAreKeptInRangeAndNothingIsSentUnlinked) {
    UlinkConnection link([] { return 1u; });
    link.setTimeout(-4);
    EXPECT_EQ(link.timeout(), 0);
    link.setTimeout(2000000000);  // * 1000 must not overflow
    EXPECT_EQ(link.timeout(), UlinkConnection::kMaxTimeout);
    link.setKeepAlive(300);
    EXPECT_EQ(link.keepAlive(), 255);
    link.setInputMode(2);
    EXPECT_EQ(link.inputMode(), 2);
    EXPECT_FALSE(link.sendMessage(0, 0));
    UlinkDevice device;
    EXPECT_FALSE(link.device(device));
}
