#include "midi/MIDIOutputParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Sent {
    std::vector<uint8_t> bytes;
    bool isLong;
    bool operator==(const Sent& other) const { return bytes == other.bytes && isLong == other.isLong; }
};

std::ostream& operator<<(std::ostream& out, const Sent& sent) {
    out << (sent.isLong ? "long[" : "short[");
    for (uint8_t b : sent.bytes) out << std::hex << int(b) << ' ';
    return out << ']';
}

class ParserTest : public ::testing::Test {
protected:
    std::vector<Sent> parse(std::vector<uint8_t> bytes) {
        std::vector<Sent> sent;
        parser.parse(bytes.data(), bytes.size(), [&](const uint8_t* data, size_t length, bool isLong) {
            sent.push_back({std::vector<uint8_t>(data, data + length), isLong});
        });
        return sent;
    }
    static Sent shortMessage(std::vector<uint8_t> bytes) { return {std::move(bytes), false}; }
    static Sent longMessage(std::vector<uint8_t> bytes) { return {std::move(bytes), true}; }

    MIDIOutputParser parser;
};

TEST_F(ParserTest, RunningStatusRepeatsTheLastChannelStatus) {
    EXPECT_EQ(parse({0x90, 0x3C, 0x40, 0x3E, 0x40}),
              (std::vector<Sent>{shortMessage({0x90, 0x3C, 0x40}), shortMessage({0x90, 0x3E, 0x40})}));
    // The running status carries over into the next call; two-byte messages too.
    EXPECT_EQ(parse({0x3C, 0x00}), std::vector<Sent>{shortMessage({0x90, 0x3C, 0x00})});
    EXPECT_EQ(parse({0xC1, 0x05, 0x06}),
              (std::vector<Sent>{shortMessage({0xC1, 0x05}), shortMessage({0xC1, 0x06})}));
    EXPECT_EQ(parser.runningStatus(), 0xC1);
}

TEST_F(ParserTest, SystemCommonMessagesLeaveRunningStatusAlone) {
    parse({0xB0, 0x07, 0x7F});
    EXPECT_EQ(parse({0xF2, 0x10, 0x20, 0xF1, 0x33, 0xF3, 0x02, 0x07, 0x10}),
              (std::vector<Sent>{shortMessage({0xF2, 0x10, 0x20}), shortMessage({0xF1, 0x33}),
                                 shortMessage({0xF3, 0x02}), shortMessage({0xB0, 0x07, 0x10})}));
}

TEST_F(ParserTest, DataBytesAreMaskedAndAStatusInADataPositionStartsNothing) {
    EXPECT_EQ(parse({0x90, 0xBC, 0x80}), std::vector<Sent>{shortMessage({0x90, 0x3C, 0x00})});
}

TEST_F(ParserTest, SysExGoesOutWholeAsOneLongMessage) {
    EXPECT_EQ(parse({0xF0, 0x7D, 0x10, 0xF7}), std::vector<Sent>{longMessage({0xF0, 0x7D, 0x10, 0xF7})});
    EXPECT_EQ(parser.runningStatus(), 0);
    // Split over calls, it is still one message.
    EXPECT_TRUE(parse({0xF0, 0x7D, 0x10}).empty());
    EXPECT_EQ(parse({0x01, 0xF7}), std::vector<Sent>{longMessage({0xF0, 0x7D, 0x10, 0x01, 0xF7})});
}

TEST_F(ParserTest, RealTimeBytesInsideASysExGoOutAtOnce) {
    EXPECT_EQ(parse({0xF0, 0x7D, 0xF8, 0x10, 0xFE, 0xF7}),
              (std::vector<Sent>{shortMessage({0xF8}), shortMessage({0xFE}), longMessage({0xF0, 0x7D, 0x10, 0xF7})}));
}

TEST_F(ParserTest, LongSysExIsCutTo512BytesEndingInF7) {
    std::vector<uint8_t> bytes{0xF0};
    for (int i = 0; i < 598; ++i) bytes.push_back(i & 0x7F);
    bytes.push_back(0xF7);
    auto sent = parse(bytes);
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].bytes.size(), 512u);
    EXPECT_EQ(std::vector<uint8_t>(sent[0].bytes.begin(), sent[0].bytes.end() - 1),
              std::vector<uint8_t>(bytes.begin(), bytes.begin() + 511));
    EXPECT_EQ(sent[0].bytes.back(), 0xF7);

    // Exactly 512 bytes pass unchanged.
    bytes.resize(511);
    bytes.push_back(0xF7);
    EXPECT_EQ(parse(bytes), std::vector<Sent>{longMessage(bytes)});
}

TEST_F(ParserTest, StrayBytesSendNothing) {
    EXPECT_TRUE(parse({0xF7}).empty());
    EXPECT_TRUE(parse({0x10, 0x20, 0x30}).empty());
    EXPECT_TRUE(parse({0xF4, 0xF5, 0xF9, 0xFD}).empty());
    EXPECT_EQ(parse({0xF6, 0xFA, 0xFB, 0xFC, 0xFF}),
              (std::vector<Sent>{shortMessage({0xF6}), shortMessage({0xFA}), shortMessage({0xFB}),
                                 shortMessage({0xFC}), shortMessage({0xFF})}));
}

TEST_F(ParserTest, MissingDataBytesAtTheEndSendNothing) {
    // The input is copied to the heap at its exact size so that a read past its end is caught
    // by sanitizers; the result must not carry invented bytes either way.
    for (std::vector<uint8_t> bytes : std::vector<std::vector<uint8_t>>{
             {0x90}, {0x90, 0x3C}, {0xC0}, {0xF2, 0x01}, {0xF1}, {0xF3}, {0x80, 0x3C, 0x40, 0x3C}}) {
        MIDIOutputParser fresh;
        std::vector<Sent> sent;
        auto* copy = new uint8_t[bytes.size()];
        std::copy(bytes.begin(), bytes.end(), copy);
        fresh.parse(copy, bytes.size(), [&](const uint8_t* data, size_t length, bool isLong) {
            sent.push_back({std::vector<uint8_t>(data, data + length), isLong});
        });
        delete[] copy;
        if (bytes.size() == 4)
            EXPECT_EQ(sent, std::vector<Sent>{shortMessage({0x80, 0x3C, 0x40})});
        else
            EXPECT_TRUE(sent.empty()) << sent.size();
    }
    // The running status of a cut message stays for the next call.
    parse({0x90, 0x3C});
    EXPECT_EQ(parse({0x40, 0x00}), std::vector<Sent>{shortMessage({0x90, 0x40, 0x00})});
}

TEST_F(ParserTest, NullOrEmptyInputDoesNothing) {
    std::vector<Sent> sent;
    parser.parse(nullptr, 3, [&](const uint8_t*, size_t, bool) { sent.push_back({}); });
    uint8_t note = 0x90;
    parser.parse(&note, 0, [&](const uint8_t*, size_t, bool) { sent.push_back({}); });
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(parser.runningStatus(), 0);
}

}  // namespace
