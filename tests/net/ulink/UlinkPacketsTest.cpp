#include "base/Text.h"
#include "net/UlinkMIDIPackets.h"
#include "net/UlinkMessage.h"

#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace {

using Delivered = std::tuple<std::string, uint32_t, int>;  // hex, time stamp, cable

std::vector<Delivered> assemble(UlinkMIDIAssembler& assembler, const std::string& hex) {
    std::vector<Delivered> out;
    std::string payload = hexDecode(hex);
    assembler.receive(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(),
                      [&](const std::string& bytes, uint32_t stamp, int cable) {
                          out.emplace_back(hexEncode(bytes), stamp, cable);
                      });
    return out;
}

std::vector<Delivered> assemble(const std::string& hex) {
    UlinkMIDIAssembler assembler;
    return assemble(assembler, hex);
}

std::string pack(const std::string& hex, uint32_t stamp = 0x01020304) { return hexEncode(packUlinkMIDI(hexDecode(hex), stamp)); }

}  // namespace

TEST(UlinkMIDIAssembler, SysexAcrossPacketsBecomesOneMessage) {
    auto got = assemble("0000ABCD" "04F07D10" "072030F7");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], Delivered("F07D102030F7", 0xABCD, 0));
}

TEST(UlinkMIDIAssembler, ChannelAndSystemMessagesTakeTheLengthOfTheirStatus) {
    auto got = assemble("00000010"
                        "09903C40" "08803C00" "0AA03C11" "0BB00708" "0CC00500" "0DD04000" "0EE00040"
                        "02F10100" "03F20102" "02F30300" "05F60000" "0FF80000" "0FFA0000" "0FFB0000"
                        "0FFC0000" "0FFE0000" "0FFF0000");
    std::vector<std::string> hex;
    for (auto& d : got) hex.push_back(std::get<0>(d));
    EXPECT_EQ(hex, (std::vector<std::string>{"903C40", "803C00", "A03C11", "B00708", "C005", "D040", "E00040",
                                             "F101", "F20102", "F303", "F6", "F8", "FA", "FB", "FC", "FE", "FF"}));
}

TEST(UlinkMIDIAssembler, EverySysexEndingAndCablesAssembleApart) {
    UlinkMIDIAssembler assembler;
    // Cable 0 starts a sysex, cable 3 sends a whole one meanwhile, cable 0 ends with one byte.
    auto got = assemble(assembler, "00000005" "04F00102" "34F01112" "35F70000" "04030405" "05F70000");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], Delivered("F01112F7", 5, 3));
    EXPECT_EQ(got[1], Delivered("F0010203" "0405F7", 5, 0));
    // A sysex of exactly three bytes, and one spanning two payloads with a two-byte end.
    got = assemble(assembler, "00000006" "07F001F7" "14F07E7F");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], Delivered("F001F7", 6, 0));
    EXPECT_EQ(hexEncode(assembler.pending(1)), "F07E7F");
    got = assemble(assembler, "00000007" "1609F700");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], Delivered("F07E7F09F7", 7, 1));
}

TEST(UlinkMIDIAssembler, UndefinedStatusesOtherCodesAndATrailingPartialPacketAreSkipped) {
    auto got = assemble("00000001" "0FF40000" "0FF50000" "0FF90000" "0FFD0000" "01123456" "02010203"
                        "09903C40" "0990");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::get<0>(got[0]), "903C40");
    // Too short for a time stamp: nothing, and no packet read from it.
    UlinkMIDIAssembler assembler;
    std::string three = hexDecode("000000");
    EXPECT_FALSE(assembler.receive(reinterpret_cast<const unsigned char*>(three.data()), 3,
                                   [](const std::string&, uint32_t, int) { FAIL(); }));
}

TEST(UlinkMIDIAssembler, ASysexThatNeverEndsStaysBounded) {
    UlinkMIDIAssembler assembler;
    std::string payload = hexDecode("00000001");
    for (int i = 0; i < 8000; ++i) payload += hexDecode("04010203");
    for (int round = 0; round < 4; ++round)
        assembler.receive(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(),
                          [](const std::string&, uint32_t, int) {});
    EXPECT_LE(assembler.pending(0).size(), UlinkMIDIAssembler::kMaxSysexSize);
}

TEST(UlinkMIDIPacker, ChannelMessagesTakeTheirCodeIndexAndRunningStatusIsFollowed) {
    EXPECT_EQ(pack("903C40"), "01020304" "09903C40");
    EXPECT_EQ(pack("803C00A03C11B00708C005D040E00040"),
              "01020304" "08803C00" "0AA03C11" "0BB00708" "0CC00500" "0DD04000" "0EE00040");
    // Running status: the second note has no status byte of its own.
    EXPECT_EQ(pack("903C40" "3E40"), "01020304" "09903C40" "09903E40");
}

TEST(UlinkMIDIPacker, SystemCommonAndRealTimeUseTheClassCodes) {
    EXPECT_EQ(pack("F101" "F20102" "F303" "F6" "F8" "FE"),
              "01020304" "02F10100" "03F20102" "02F30300" "05F60000" "0FF80000" "0FFE0000");
}

TEST(UlinkMIDIPacker, SysexGoesInThreeBytePacketsEndingByWhatTheLastHolds) {
    EXPECT_EQ(pack("F07D10" "2030F7"), "01020304" "04F07D10" "072030F7");
    EXPECT_EQ(pack("F07D102030F7"), "01020304" "04F07D10" "072030F7");
    EXPECT_EQ(pack("F07D1020F7"), "01020304" "04F07D10" "0620F700");
    EXPECT_EQ(pack("F07D10F7"), "01020304" "04F07D10" "05F70000");
    EXPECT_EQ(pack("F0F7"), "01020304" "06F0F700");
}

TEST(UlinkMIDIPacker, ZeroTimeStampIsSentAsOneAndJunkIsSkipped) {
    EXPECT_EQ(pack("903C40", 0), "00000001" "09903C40");
    // Stray data, an undefined status, a lone F7 and a message cut short give no packet.
    EXPECT_EQ(pack("3C40" "F4" "F7" "9030"), "01020304");
}

TEST(UlinkMIDIPacker, PackedBytesAssembleBackToTheSameMessages) {
    std::string midi = hexDecode("903C40B00708") + hexDecode("F0") + std::string(40, '\x11') + hexDecode("F7F8");
    std::string packed = packUlinkMIDI(midi, 77);
    std::string joined;
    UlinkMIDIAssembler assembler;
    assembler.receive(reinterpret_cast<const unsigned char*>(packed.data()), packed.size(),
                      [&](const std::string& bytes, uint32_t stamp, int) {
                          EXPECT_EQ(stamp, 77u);
                          joined += bytes;
                      });
    EXPECT_EQ(hexEncode(joined), hexEncode(midi));
}

TEST(UlinkMessageFraming, HeaderCarriesTypeSubtypeAndLength) {
    EXPECT_EQ(hexEncode(UlinkMessage::encode(0, 0)), "00000000");
    EXPECT_EQ(hexEncode(UlinkMessage::encode(0, 1, std::string(1, '\x07'))), "0001000107");
    std::string big(UlinkMessage::kMaxPayload, 'x');
    std::string framed = UlinkMessage::encode(2, 0, big);
    ASSERT_EQ(framed.size(), 4 + big.size());
    EXPECT_EQ(hexEncode(framed.substr(0, 4)), "02007FFF");
    EXPECT_TRUE(UlinkMessage::encode(2, 0, big + "x").empty());
}

TEST(UlinkMessageFraming, ReaderTakesWholeMessagesAndRefusesTheTopBit) {
    auto readerOver = [](const std::string& bytes, size_t& at) {
        return UlinkMessageReader([&bytes, &at](void* buffer, size_t size) {
            if (bytes.size() - at < size) return false;
            bytes.copy(static_cast<char*>(buffer), size, at);
            at += size;
            return true;
        });
    };
    std::string stream = UlinkMessage::encode(1, 2, hexDecode("00000102")) + UlinkMessage::encode(0, 0) +
                         UlinkMessage::encode(2, 0, std::string(UlinkMessage::kMaxPayload, 'm'));
    size_t at = 0;
    auto reader = readerOver(stream, at);
    UlinkMessage message;
    ASSERT_EQ(reader.next(message), UlinkMessageReader::Result::Message);
    EXPECT_EQ(message.type, 1);
    EXPECT_EQ(message.subtype, 2);
    EXPECT_EQ(hexEncode(message.payload), "00000102");
    ASSERT_EQ(reader.next(message), UlinkMessageReader::Result::Message);
    EXPECT_TRUE(message.payload.empty());
    ASSERT_EQ(reader.next(message), UlinkMessageReader::Result::Message);
    EXPECT_EQ(message.payload.size(), UlinkMessage::kMaxPayload);
    EXPECT_EQ(reader.next(message), UlinkMessageReader::Result::End);

    std::string topBit = hexDecode("02008000") + std::string(4, 'x');
    at = 0;
    auto refusing = readerOver(topBit, at);
    EXPECT_EQ(refusing.next(message), UlinkMessageReader::Result::BadLength);

    std::string cut = UlinkMessage::encode(2, 0, "0123456789").substr(0, 9);
    at = 0;
    auto cutReader = readerOver(cut, at);
    EXPECT_EQ(cutReader.next(message), UlinkMessageReader::Result::End);
}
