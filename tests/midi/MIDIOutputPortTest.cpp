#include "midi/MIDIClient.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

// An output connection that records what is written to it and can be told to fail.
class RecordingOutput : public MIDIOutputEndpoint {
public:
    explicit RecordingOutput(int failWith = 0) : failWith_(failWith) {}
    bool open(const MIDIEndpointInfo&) override { return open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    int sendShort(const uint8_t* data, size_t length) override { return record(data, length, false); }
    int sendLong(const uint8_t* data, size_t length) override { return record(data, length, true); }

    std::vector<std::vector<uint8_t>> messages;
    std::vector<bool> kinds;

private:
    int record(const uint8_t* data, size_t length, bool isLong) {
        if (!open_) return 0;
        if (failWith_) return failWith_;
        messages.emplace_back(data, data + length);
        kinds.push_back(isLong);
        return 0;
    }
    int failWith_;
    bool open_ = true;
};

class ErrorRecorder : public MIDIClientDelegate {
public:
    void midiErrorDidOccur(int32_t code) override {
        std::lock_guard<std::mutex> lock(mutex);
        errors.push_back(code);
    }
    std::mutex mutex;
    std::vector<int32_t> errors;
};

TEST(MIDIOutputPort, WritesEveryMessageToEveryConnection) {
    MIDIClient client;
    auto* first = new RecordingOutput;
    auto* second = new RecordingOutput;
    client.outputPort()->attach("a", std::unique_ptr<MIDIOutputEndpoint>(first));
    client.outputPort()->attach("b", std::unique_ptr<MIDIOutputEndpoint>(second));
    const uint8_t bytes[] = {0x90, 0x3C, 0x40, 0xF0, 0x7D, 0x10, 0x01, 0xF7};
    client.outputPort()->send(bytes, sizeof bytes);
    for (auto* output : {first, second}) {
        ASSERT_EQ(output->messages.size(), 2u);
        EXPECT_EQ(output->messages[0], (std::vector<uint8_t>{0x90, 0x3C, 0x40}));
        EXPECT_EQ(output->messages[1], (std::vector<uint8_t>{0xF0, 0x7D, 0x10, 0x01, 0xF7}));
        EXPECT_EQ(output->kinds, (std::vector<bool>{false, true}));
    }
}

TEST(MIDIOutputPort, AWriteErrorClosesThatConnectionAndIsReported) {
    MIDIClient client;
    ErrorRecorder recorder;
    client.setDelegate(&recorder);
    auto* broken = new RecordingOutput(8);
    auto* good = new RecordingOutput;
    client.outputPort()->attach("a-broken", std::unique_ptr<MIDIOutputEndpoint>(broken));
    client.outputPort()->attach("b-good", std::unique_ptr<MIDIOutputEndpoint>(good));

    const uint8_t note[] = {0x90, 0x3C, 0x40};
    client.outputPort()->send(note, sizeof note);
    client.outputPort()->send(note, sizeof note);

    EXPECT_EQ(recorder.errors, std::vector<int32_t>{8});  // once: the closed one is skipped later
    EXPECT_FALSE(broken->isOpen());
    EXPECT_TRUE(client.outputPort()->isConnected("a-broken"));  // it stays in the table
    EXPECT_EQ(good->messages.size(), 2u);
    client.setDelegate(nullptr);
}

// Page sends and MIDI thru can send on one port at once; neither may break into the other's
// SysEx or running status.
TEST(MIDIOutputPort, ConcurrentSendsNeverInterleaveMessages) {
    MIDIClient client;
    auto* output = new RecordingOutput;
    client.outputPort()->attach("a", std::unique_ptr<MIDIOutputEndpoint>(output));

    std::vector<uint8_t> sysEx{0xF0};
    for (int i = 0; i < 40; ++i) sysEx.push_back(0x11);
    sysEx.push_back(0xF7);
    std::vector<uint8_t> notes{0x95, 0x22, 0x33, 0x22, 0x00};
    auto sendMany = [&](const std::vector<uint8_t>& bytes) {
        for (int round = 0; round < 20000; ++round) client.outputPort()->send(bytes.data(), bytes.size());
    };
    std::thread a([&] { sendMany(sysEx); });
    std::thread b([&] { sendMany(notes); });
    a.join();
    b.join();

    size_t sysExCount = 0, noteCount = 0, mangled = 0;
    for (const auto& message : output->messages) {
        if (message == sysEx)
            ++sysExCount;
        else if (message == std::vector<uint8_t>{0x95, 0x22, 0x33} || message == std::vector<uint8_t>{0x95, 0x22, 0x00})
            ++noteCount;
        else
            ++mangled;
    }
    EXPECT_EQ(sysExCount, 20000u);
    EXPECT_EQ(noteCount, 40000u);
    EXPECT_EQ(mangled, 0u);
}

}  // namespace
