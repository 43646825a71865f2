// The seq module through the real bridge, playing to the application's MIDI output over a JACK
// server; a capture client on the other side records the bytes and their arrival times.
#include "JackCapture.h"
#include "midi/SmfBuilder.h"
#include "base/Text.h"
#include "midi/jack/MIDIBridgeFixture.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::string hex(const std::string& bytes) { return hexEncode(bytes); }

// Milliseconds from the first message to each of them.
std::vector<double> offsetsMs(const std::vector<JackCapture::Message>& messages) {
    std::vector<double> offsets;
    for (const auto& message : messages) offsets.push_back((message.time - messages.front().time) / 1000.0);
    return offsets;
}

std::vector<int> keysOf(const std::vector<JackCapture::Message>& messages) {
    std::vector<int> keys;
    for (const auto& message : messages) keys.push_back(message.bytes.size() > 1 ? uint8_t(message.bytes[1]) : -1);
    return keys;
}

bool has(const std::vector<JackCapture::Message>& messages, const std::string& hexBytes) {
    for (const auto& message : messages)
        if (hex(message.bytes) == hexBytes) return true;
    return false;
}

// Timer wake-ups and the JACK period (2.9 ms) both add to an onset's lateness. On a busy
// machine the dummy backend's own cycle now and then runs late by tens of milliseconds, which
// delays what arrives in it: one onset of a run may be that late, no more.
constexpr double kToleranceMs = 12;
constexpr double kStalledCycleMs = 80;

class SeqModuleTest : public MIDIBridgeTest {
protected:
    SeqModuleTest() : capture("seq-capture") {}

    // Connects the application's output to the capture client and lets the sequencer play there.
    void SetUp() override {
        std::string endpoint;
        for (int i = 0; i < 200 && endpoint.empty(); ++i) {
            endpoint = endpointOf("$$midi_outendpoints", "seq-capture");
            if (endpoint.empty()) std::this_thread::sleep_for(50ms);
        }
        ASSERT_FALSE(endpoint.empty());
        ASSERT_EQ(call({"$$midi_outconnect", endpoint}), "v");
        // The first cycle of a new connection may miss a message: probe until one arrives.
        bool through = false;
        for (int attempt = 0; attempt < 20 && !through; ++attempt) {
            call({"$$midi_send", "F07D00F7"});
            through = capture.waitFor([](const auto& m) { return !m.empty(); }, 250ms);
        }
        ASSERT_TRUE(through);
        std::this_thread::sleep_for(50ms);
        capture.clear();
        ASSERT_EQ(call({"$$seq_output", "1"}), "v");
    }

    // Loads a file and forgets what the load itself sent (the channel resets of its locate).
    void load(const std::string& file) {
        ASSERT_EQ(call({"$$seq_load", hex(file)}), "b1");
        capture.waitFor([](const auto& m) { return has(m, "BF7B00"); }, 2s);
        capture.clear();
    }

    // Waits for an event, running the main context meanwhile (the end of a range is handled there).
    std::string waitPumping(const std::string& prefix, std::chrono::milliseconds timeout = 10s) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        do {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            std::string event = waitForEventStartingWith(prefix, 10ms);
            if (!event.empty()) return event;
        } while (std::chrono::steady_clock::now() < deadline);
        return "";
    }

    void expectEvery(const std::vector<JackCapture::Message>& onsets, const std::vector<double>& expectedMs) {
        ASSERT_EQ(onsets.size(), expectedMs.size());
        // Measured from the median lateness, so that a late first onset counts as one.
        std::vector<double> offsets = offsetsMs(onsets), lateness;
        for (size_t i = 0; i < offsets.size(); ++i) lateness.push_back(offsets[i] - expectedMs[i]);
        std::vector<double> sorted = lateness;
        std::sort(sorted.begin(), sorted.end());
        double median = sorted[sorted.size() / 2];
        int late = 0;
        for (size_t i = 0; i < lateness.size(); ++i) {
            EXPECT_NEAR(lateness[i], median, kStalledCycleMs) << "onset " << i;
            if (std::fabs(lateness[i] - median) > kToleranceMs) ++late;
        }
        EXPECT_LE(late, 1) << ::testing::PrintToString(offsets);
    }

    JackCapture capture;
};

std::string fourBeatsAt(uint32_t tempo, int beats = 4) {
    SmfTrack track;
    track.tempo(0, tempo);
    track.raw(0, {0xC0, 0x05});
    SmfTrack notes = notesEveryBeat(beats, 96, 0, 60, true);
    notes.end(48);
    return smfFile(1, 96, {track.end(), notes});
}

TEST_F(SeqModuleTest, At120BpmANoteEveryBeatArrivesEvery500MsAndTheEndReportsStop) {
    load(fourBeatsAt(500000, 5));
    EXPECT_EQ(call({"$$seq_totalbeats"}), "d5");
    EXPECT_EQ(call({"$$seq_tempo"}), "d120");
    ASSERT_EQ(call({"$$seq_play"}), "v");
    EXPECT_EQ(waitPumping("seq\f"), "seq\fstop");
    auto messages = capture.messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(hex(messages.front().bytes), "C005");  // what precedes the first note comes first
    auto onsets = withStatus(messages, 0x90);
    EXPECT_EQ(keysOf(onsets), (std::vector<int>{60, 61, 62, 63, 64}));
    expectEvery(onsets, {0, 500, 1000, 1500, 2000});
    EXPECT_EQ(call({"$$seq_position"}), "d0");
}

TEST_F(SeqModuleTest, UserTempoScalesTheFileAndALaterTempoEventPlaysAt120) {
    SmfTrack track = notesEveryBeat(5, 96, 0, 60, true);
    track.end(48);
    SmfTrack tempos;
    tempos.tempo(0, 500000).tempo(192, 250000).end();
    load(smfFile(1, 96, {tempos, track}));
    EXPECT_EQ(call({"$$seq_tempo", "60"}), "d60");
    EXPECT_EQ(call({"$$seq_tempo", "1000"}), "d60");  // out of bounds: only answered
    ASSERT_EQ(call({"$$seq_play"}), "v");
    EXPECT_EQ(waitPumping("seq\f"), "seq\ftempo\f120");
    EXPECT_EQ(waitPumping("seq\f"), "seq\fstop");
    expectEvery(withStatus(capture.messages(), 0x90), {0, 1000, 2000, 2500, 3000});
}

TEST_F(SeqModuleTest, ALoopRangeRepeatsUntilPaused) {
    load(fourBeatsAt(500000));
    ASSERT_EQ(call({"$$seq_range", "1", "3"}), "v");
    EXPECT_EQ(call({"$$seq_position"}), "d1");
    ASSERT_TRUE(capture.waitFor([](const auto& m) { return has(m, "BF7B00"); }, 2s));
    capture.clear();
    ASSERT_EQ(call({"$$seq_play", "1"}), "v");
    ASSERT_TRUE(capture.waitFor([](const auto& m) { return withStatus(m, 0x90).size() >= 5; }, 5s));
    ASSERT_EQ(call({"$$seq_pause"}), "v");
    EXPECT_EQ(waitPumping("seq\f"), "seq\fstop");
    auto messages = capture.messages();
    auto onsets = withStatus(messages, 0x90);
    onsets.resize(5);
    EXPECT_EQ(keysOf(onsets), (std::vector<int>{61, 62, 61, 62, 61}));
    expectEvery(onsets, {0, 500, 1000, 1500, 2000});
    EXPECT_TRUE(has(messages, "B07900"));  // the channels are reset at the wrap
}

TEST_F(SeqModuleTest, MuteSilencesANewlyMutedChannelOnce) {
    EXPECT_EQ(call({"$$seq_mute", "1"}), "d1");
    ASSERT_TRUE(capture.waitFor([](const auto& m) { return !m.empty(); }, 2s));
    EXPECT_EQ(call({"$$seq_mute", "1"}), "d1");
    EXPECT_EQ(call({"$$seq_mute"}), "d1");
    std::this_thread::sleep_for(300ms);
    auto messages = capture.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(hex(messages[0].bytes), "B07B00");
}

TEST_F(SeqModuleTest, NotesOnChannel10AreNeverTransposed) {
    SmfTrack track;
    track.note(0, 0, 60, 100).note(0, 9, 36, 100).noteOff(48, 0, 60).noteOff(0, 9, 36).end(48);
    load(smfFile(0, 96, {track}));
    EXPECT_EQ(call({"$$seq_transpose", "5"}), "d5");
    ASSERT_TRUE(capture.waitFor([](const auto& m) { return has(m, "BF7B00"); }, 2s));
    capture.clear();
    ASSERT_EQ(call({"$$seq_play"}), "v");
    EXPECT_EQ(waitPumping("seq\f"), "seq\fstop");
    std::vector<std::string> notes;
    for (const auto& message : capture.messages())
        if ((uint8_t(message.bytes[0]) & 0xE0) == 0x80) notes.push_back(hex(message.bytes));
    EXPECT_EQ(notes, (std::vector<std::string>{"904164", "992464", "804100", "892400"}));
}

TEST_F(SeqModuleTest, StoppingMidSongSilencesAllSixteenChannels) {
    load(fourBeatsAt(500000, 8));
    ASSERT_EQ(call({"$$seq_play"}), "v");
    ASSERT_TRUE(capture.waitFor([](const auto& m) { return withStatus(m, 0x90).size() >= 2; }, 3s));
    ASSERT_EQ(call({"$$seq_stop"}), "v");
    EXPECT_EQ(waitPumping("seq\f"), "seq\fstop");
    EXPECT_EQ(call({"$$seq_position"}), "d0");
    ASSERT_TRUE(capture.waitFor([](const auto& m) { return has(m, "BF7B00"); }, 2s));
    std::string soundOff;
    for (const auto& message : capture.messages())
        if (message.bytes.size() == 3 && message.bytes[1] == 0x78) soundOff += hex(message.bytes);
    std::string expected;
    for (int channel = 0; channel < 16; ++channel) expected += hex({char(0xB0 | channel), 0x78, 0});
    EXPECT_EQ(soundOff, expected);
}

TEST_F(SeqModuleTest, WithOutputTypeZeroNothingIsSentButEventsStillCome) {
    ASSERT_EQ(call({"$$seq_output", "0"}), "v");
    ASSERT_EQ(call({"$$seq_load", hex(fourBeatsAt(250000, 2))}), "b1");
    EXPECT_EQ(waitPumping("seq\f"), "seq\ftempo\f240");
    ASSERT_EQ(call({"$$seq_play"}), "v");
    EXPECT_EQ(waitPumping("seq\f"), "seq\fstop");
    ASSERT_EQ(call({"$$seq_mute", "65535"}), "d65535");
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(capture.messages().empty());
}

TEST_F(SeqModuleTest, TheMetronomePlaysTheGivenSoundsOnEachClick) {
    EXPECT_EQ(call({"$$seq_metroset", "{\"a\":\"99\"}"}).substr(0, 1), "e");
    EXPECT_EQ(call({"$$seq_metroset", "[1,2]"}).substr(0, 1), "e");
    ASSERT_EQ(call({"$$seq_metroset", "[\"994C7F\",\"994b40\"]"}), "v");
    EXPECT_EQ(call({"$$seq_metro"}), "b");
    ASSERT_EQ(call({"$$seq_metro", "1"}), "b1");
    SmfTrack track;
    track.tempo(0, 250000).timeSignature(0, 3, 2, 24).end(96 * 4);
    load(smfFile(0, 96, {track}));
    ASSERT_EQ(call({"$$seq_play"}), "v");
    EXPECT_EQ(waitPumping("seq\f", 5s).substr(0, 9), "seq\ftempo");
    EXPECT_EQ(waitPumping("seq\f"), "seq\fstop");
    auto clicks = withStatus(capture.messages(), 0x99);
    EXPECT_EQ(keysOf(clicks), (std::vector<int>{0x4C, 0x4B, 0x4B, 0x4C}));
    expectEvery(clicks, {0, 250, 500, 750});
}

TEST_F(SeqModuleTest, AFileThatIsNotMIDILoadsNothing) {
    EXPECT_EQ(call({"$$seq_load", "52494646"}), "b");
    EXPECT_EQ(call({"$$seq_totalbeats"}), "d0");
    EXPECT_EQ(call({"$$seq_load", hex(fourBeatsAt(500000))}), "b1");
    EXPECT_EQ(call({"$$seq_totalbeats"}), "d4");
    ASSERT_EQ(call({"$$seq_locate", "2.9"}), "v");
    EXPECT_EQ(call({"$$seq_position"}), "d2");
}

}  // namespace
