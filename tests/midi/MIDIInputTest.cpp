#include "midi/MIDIClient.h"
#include "midi/MIDIClock.h"
#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDIInputLength.h"
#include "midi/MIDISystem.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(MIDIInputLength, FollowsTheStatusTable) {
    for (int status = 0; status < 0x80; ++status) EXPECT_EQ(midiInputMessageLength(status), 0u);
    for (int status = 0x80; status <= 0xBF; ++status) EXPECT_EQ(midiInputMessageLength(status), 3u);
    for (int status = 0xC0; status <= 0xDF; ++status) EXPECT_EQ(midiInputMessageLength(status), 2u);
    for (int status = 0xE0; status <= 0xEF; ++status) EXPECT_EQ(midiInputMessageLength(status), 3u);
    const size_t system[16] = {0, 2, 3, 2, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0, 0, 1};
    for (int low = 0; low < 16; ++low) EXPECT_EQ(midiInputMessageLength(0xF0 + low), system[low]) << low;
}

struct Received {
    std::vector<uint8_t> bytes;
    uint32_t time;
};

class Recorder : public MIDIInputDelegate {
public:
    void midiInputMessage(const uint8_t* data, uint32_t length, uint32_t time) override {
        messages.push_back({std::vector<uint8_t>(data, data + length), time});
    }
    std::vector<Received> messages;
};

TEST(MIDIInputPort, DeliversByTheStatusRulesWithTheClockTime) {
    MIDIClient client;
    Recorder recorder;
    client.inputPort()->setDelegate(&recorder);
    auto receive = [&](std::vector<uint8_t> bytes) { client.inputPort()->receive(bytes.data(), bytes.size()); };

    uint32_t before = midiClockMilliseconds();
    receive({0x90, 0x3C, 0x40});
    receive({0xF8});
    receive({0xFE});
    receive({0xF7});
    receive({0x3C, 0x40});
    receive({0xC0, 0x05});
    receive({0xFA});
    receive({0xE0, 0x01});  // a data byte missing: it reads as 0
    std::vector<uint8_t> sysEx(1500, 0x11);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    receive(sysEx);
    uint32_t after = midiClockMilliseconds();

    ASSERT_EQ(recorder.messages.size(), 5u);
    EXPECT_EQ(recorder.messages[0].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x40}));
    EXPECT_EQ(recorder.messages[1].bytes, (std::vector<uint8_t>{0xC0, 0x05}));
    EXPECT_EQ(recorder.messages[2].bytes, (std::vector<uint8_t>{0xFA}));
    EXPECT_EQ(recorder.messages[3].bytes, (std::vector<uint8_t>{0xE0, 0x01, 0x00}));
    EXPECT_EQ(recorder.messages[4].bytes, sysEx);  // whole, not cut into 512-byte pieces
    for (const auto& message : recorder.messages) {
        EXPECT_GE(message.time, before);
        EXPECT_LE(message.time, after);
    }
    client.inputPort()->setDelegate(nullptr);
}

TEST(MIDIClock, CountsMillisecondsFromItsFirstReading) {
    uint64_t first = midiClockMicroseconds();
    EXPECT_LT(first, 60u * 1000000u);  // the program started less than a minute ago
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint64_t later = midiClockMicroseconds();
    EXPECT_GE(later - first, 20000u);
    EXPECT_EQ(midiClockMilliseconds() / 10, static_cast<uint32_t>(midiClockMicroseconds() / 10000));
}

TEST(MIDIEndpointInfo, SplitsSystemPortNamesIntoDeviceAndPath) {
    auto alsa = MIDIEndpointInfo::fromPortName("LP Mini:LP Mini MIDI 1 24:0");
    EXPECT_EQ(alsa.deviceName, "LP Mini");
    EXPECT_EQ(alsa.entityName, "LP Mini");
    EXPECT_EQ(alsa.index, ":LP Mini MIDI 1 24:0");
    EXPECT_EQ(alsa.uid, "LP Mini:LP Mini MIDI 1 24:0");
    // Two equal devices differ in their paths.
    EXPECT_NE(MIDIEndpointInfo::fromPortName("LP Mini:LP Mini MIDI 1 28:0").uid, alsa.uid);

    auto bare = MIDIEndpointInfo::fromPortName("Looper");
    EXPECT_EQ(bare.uid, "Looper");
    EXPECT_EQ(bare.index, "Looper");
}

TEST(MIDISystem, KnowsItsOwnClientsByName) {
    EXPECT_TRUE(MIDISystem::isOwnClient("Tarn"));
    EXPECT_TRUE(MIDISystem::isOwnClient("Tarn-01"));
    EXPECT_TRUE(MIDISystem::isOwnClient("Tarn-123"));
    EXPECT_FALSE(MIDISystem::isOwnClient("Tarn-"));
    EXPECT_FALSE(MIDISystem::isOwnClient("Tarnish"));
    EXPECT_FALSE(MIDISystem::isOwnClient("Tarn-x1"));
    EXPECT_FALSE(MIDISystem::isOwnClient("LP Mini"));
}

}  // namespace
