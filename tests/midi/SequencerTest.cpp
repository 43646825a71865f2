// The sequencer and its file reader against a recording delegate (no MIDI server).
#include "SmfBuilder.h"
#include "base/Text.h"
#include "midi/Sequencer.h"
#include "midi/SequencerFile.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace {

class Recorder : public SequencerDelegate {
public:
    void sequencerOutput(const std::string& song, const std::string& metronome) override {
        std::lock_guard<std::mutex> lock(mutex);
        sends.push_back(song);
        this->song += song;
        clicks += metronome;
    }
    void sequencerDidStop() override {
        std::lock_guard<std::mutex> lock(mutex);
        ++stops;
    }
    void sequencerTempoChanged(int bpm) override {
        std::lock_guard<std::mutex> lock(mutex);
        tempos.push_back(bpm);
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        sends.clear();
        song.clear();
        clicks.clear();
        tempos.clear();
        stops = 0;
    }
    std::string songHex() {
        std::lock_guard<std::mutex> lock(mutex);
        return hexEncode(song);
    }

    std::mutex mutex;
    std::vector<std::string> sends;
    std::string song;
    std::string clicks;
    std::vector<int> tempos;
    int stops = 0;
};

// Bn 79 00 7B 00 for every channel: what a locate sends first.
std::string locateResetHex() {
    std::string bytes;
    for (int c = 0; c < 16; ++c) bytes += {char(0xB0 | c), 0x79, 0, 0x7B, 0};
    return hexEncode(bytes);
}

std::string allChannelsHex(int controller) {
    std::string bytes;
    for (int c = 0; c < 16; ++c) bytes += {char(0xB0 | c), char(controller), 0};
    return hexEncode(bytes);
}

class SequencerTest : public ::testing::Test {
protected:
    SequencerTest() { sequencer.setDelegate(&recorder); }
    void load(const std::string& file) {
        ASSERT_TRUE(sequencer.load(file));
        recorder.clear();
    }
    Recorder recorder;
    Sequencer sequencer;
};

// --- the file reader ---------------------------------------------------------------------------

TEST(SequencerFileTest, AnEmptyTrackLoadsWithNoBeatsAndBadHeadersAreRefused) {
    Sequencer sequencer;
    std::string empty = smfFile(0, 96, {SmfTrack()});
    ASSERT_EQ(empty.size(), 22u);
    EXPECT_TRUE(sequencer.load(empty));
    EXPECT_EQ(sequencer.totalBeats(), 0);

    SmfTrack track = notesEveryBeat(4, 96);
    track.end(48);
    std::string good = smfFile(0, 96, {track});
    ASSERT_TRUE(sequencer.load(good));
    EXPECT_EQ(sequencer.totalBeats(), 4);
    std::string smpte = good;
    smpte[12] = char(0xE7);  // -25 frames per second
    smpte[13] = 40;
    std::string noDivision = good;
    noDivision[12] = noDivision[13] = 0;
    std::string longHeader = good;
    longHeader[7] = 7;
    for (const std::string& bad : {smpte, noDivision, longHeader, good.substr(0, 21), "RIFF" + good.substr(4)}) {
        EXPECT_FALSE(sequencer.load(bad));
        // A refused file leaves an empty sequence, not the last one.
        EXPECT_EQ(sequencer.totalBeats(), 0);
    }
}

TEST(SequencerFileTest, RunningStatusAfterAProgramChangeTakesOneDataByte) {
    SmfTrack track;
    track.raw(0, {0xC0, 0x05}).raw(10, {0x06}).raw(20, {0x90, 60, 100}).raw(5, {61, 90}).end();
    std::vector<Sequencer::Event> events;
    ASSERT_TRUE(SequencerFile::readTrack(reinterpret_cast<const uint8_t*>(track.body().data()), track.body().size(),
                                         events));
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(hexEncode(events[1].data), "C006");
    EXPECT_EQ(events[1].delta, 10u);
    EXPECT_EQ(events[2].delta, 20u);
    EXPECT_EQ(hexEncode(events[3].data), "903D5A");
    EXPECT_EQ(events[4].meta, 0x2F);
}

TEST(SequencerFileTest, EventsOfEveryKindAreKeptAsTheyStand) {
    SmfTrack track;
    track.sysex(0, std::string("\x7D\x10\x01\xF7", 4)).raw(1, {0xF7, 0x02, 0xF8, 0xFA}).tempo(2, 400000)
        .raw(3, {0xE1, 0x00, 0x40}).end().note(0, 0, 60, 1);  // nothing after end-of-track is read
    std::vector<Sequencer::Event> events;
    ASSERT_TRUE(SequencerFile::readTrack(reinterpret_cast<const uint8_t*>(track.body().data()), track.body().size(),
                                         events));
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(hexEncode(events[0].data), "F07D1001F7");
    EXPECT_EQ(hexEncode(events[1].data), "F8FA");
    EXPECT_EQ(events[2].meta, 0x51);
    EXPECT_EQ(hexEncode(events[2].data), "061A80");
    EXPECT_EQ(hexEncode(events[3].data), "E10040");
    // An undefined status and a quantity of five bytes are faults.
    for (auto bad : {std::vector<int>{0x00, 0xF4}, std::vector<int>{0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 1, 1},
                     std::vector<int>{0x00, 0x40, 0x40}}) {
        std::string bytes(bad.begin(), bad.end());
        events.clear();
        EXPECT_FALSE(SequencerFile::readTrack(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), events));
    }
}

TEST(SequencerFileTest, ChunkLengthsAndTrackCountsNeverLeadPastTheData) {
    SmfTrack first = notesEveryBeat(2, 96);
    first.end(48);
    SmfTrack second = notesEveryBeat(8, 96, 1);
    second.end(48);
    std::string file = smfFile(1, 96, {first, second});
    SequencerFile::Contents contents;

    // The second track cut in the middle of an event: its earlier events stay.
    std::string cut = file.substr(0, file.size() - second.body().size() / 2 - 1);
    ASSERT_TRUE(SequencerFile::read(reinterpret_cast<const uint8_t*>(cut.data()), cut.size(), contents));
    ASSERT_EQ(contents.tracks.size(), 2u);
    EXPECT_EQ(contents.tracks[0].size(), 5u);
    EXPECT_GT(contents.tracks[1].size(), 2u);
    EXPECT_LT(contents.tracks[1].size(), 17u);

    // A header that claims many tracks and a chunk that claims gigabytes.
    std::string claims = file;
    claims[10] = char(0xFF);
    claims[11] = char(0xFF);
    size_t secondChunk = 14 + 8 + first.body().size();
    claims.replace(secondChunk + 4, 4, bigEndian(0x7FFFFFF0, 4));
    ASSERT_TRUE(SequencerFile::read(reinterpret_cast<const uint8_t*>(claims.data()), claims.size(), contents));
    EXPECT_EQ(contents.tracks.size(), 2u);
    EXPECT_EQ(contents.tracks[1].size(), 17u);

    // Unknown chunks are skipped; a faulty track ends the walk but keeps what came before.
    SmfTrack faulty;
    faulty.note(0, 2, 64, 100).raw(96, {0xF4});
    std::string walked = smfFile(1, 96, {first, faulty, second});
    walked.insert(14, smfChunk("XFIH", "whatever"));
    ASSERT_TRUE(SequencerFile::read(reinterpret_cast<const uint8_t*>(walked.data()), walked.size(), contents));
    ASSERT_EQ(contents.tracks.size(), 2u);
    EXPECT_EQ(contents.tracks[1].size(), 1u);
}

// --- playing by ticks --------------------------------------------------------------------------

TEST_F(SequencerTest, LoadTakesTheTempoAtTickZeroAndFilesWithoutOneReturnToTheDefault) {
    SmfTrack fast;
    fast.tempo(0, 250000);
    fast.note(0, 0, 60, 100).noteOff(96, 0, 60).end();
    ASSERT_TRUE(sequencer.load(smfFile(0, 96, {fast})));
    EXPECT_EQ(recorder.tempos, std::vector<int>{240});
    EXPECT_EQ(sequencer.tempo(), 240);
    // Nothing of the song is played by loading.
    EXPECT_EQ(recorder.songHex().find("903C64"), std::string::npos);
    recorder.clear();
    SmfTrack plain = notesEveryBeat(2, 96);
    ASSERT_TRUE(sequencer.load(smfFile(0, 96, {plain})));
    EXPECT_EQ(recorder.tempos, std::vector<int>{120});
    EXPECT_EQ(sequencer.tempo(), 120);
}

TEST_F(SequencerTest, AnEventIsPlayedByTheAdvanceThatMovesPastItsTick) {
    SmfTrack track = notesEveryBeat(4, 96);
    track.end(48);
    load(smfFile(0, 96, {track}));
    EXPECT_EQ(sequencer.totalBeats(), 4);
    sequencer.advance(1);
    EXPECT_EQ(recorder.songHex(), "903C64");
    sequencer.advance(47);
    EXPECT_EQ(recorder.songHex(), "903C64");
    sequencer.advance(1);
    EXPECT_EQ(recorder.songHex(), "903C64803C00");
    sequencer.advance(96 * 2);  // to tick 241: the note-off at 240 is played, the note at 288 not yet
    EXPECT_EQ(recorder.songHex(), "903C64803C00903C64803C00903C64803C00");
    EXPECT_EQ(sequencer.positionBeats(), 2);
}

TEST_F(SequencerTest, LocateResetsTheChannelsAndChasesEverythingButNotes) {
    SmfTrack track;
    track.raw(0, {0xC3, 0x10}).raw(0, {0xB3, 0x07, 0x50}).note(0, 3, 60, 100).noteOff(96, 3, 60).tempo(0, 400000)
        .raw(96, {0xB3, 0x0A, 0x20}).note(96, 3, 62, 100).end(96);
    load(smfFile(0, 96, {track}));
    sequencer.locate(2.5);  // past the pan change at beat 2, before the note at beat 3
    EXPECT_EQ(recorder.songHex(), locateResetHex() + "C310" "B30750" "B30A20");
    EXPECT_EQ(recorder.tempos, std::vector<int>{150});
    EXPECT_EQ(sequencer.positionTicks(), 240);
    recorder.clear();
    sequencer.advance(48);  // to tick 288: the note there waits for the next tick
    EXPECT_EQ(recorder.songHex(), "");
    sequencer.advance(1);
    EXPECT_EQ(recorder.songHex(), "933E64");
    // Clamped to the range; the same position again sends nothing.
    sequencer.locate(100);
    EXPECT_EQ(sequencer.positionTicks(), 384);
    recorder.clear();
    sequencer.locate(4);
    EXPECT_EQ(recorder.songHex(), "");
}

TEST_F(SequencerTest, SongBytesGoOutInPiecesOfAtMost256CutBeforeAStatus) {
    SmfTrack track;
    for (int i = 0; i < 100; ++i) track.note(0, 0, 20 + i % 100, 1 + i);  // 300 bytes at tick 0
    std::string sysex(700, '\x11');
    sysex += '\xF7';
    track.sysex(1, sysex).note(0, 1, 60, 100).end(10);
    load(smfFile(0, 96, {track}));
    sequencer.advance(1);
    ASSERT_EQ(recorder.sends.size(), 2u);
    EXPECT_EQ(recorder.sends[0].size(), 255u);  // 85 whole notes
    EXPECT_EQ(recorder.sends[1].size(), 45u);
    recorder.clear();
    sequencer.advance(1);
    // The long SysEx is not split inside; the note after it follows.
    ASSERT_EQ(recorder.sends.size(), 2u);
    EXPECT_EQ(recorder.sends[0].size(), 702u);
    EXPECT_EQ(hexEncode(recorder.sends[1]), "913C64");
}

TEST_F(SequencerTest, MuteSilencesNewlyMutedChannelsOnceAndDropsTheirNotes) {
    SmfTrack track;
    track.note(0, 0, 60, 100).note(0, 1, 61, 100).raw(0, {0xB0, 0x07, 0x10}).end(96);
    load(smfFile(0, 96, {track}));
    EXPECT_EQ(sequencer.mute(1), 1u);
    EXPECT_EQ(recorder.songHex(), "B07B00");
    EXPECT_EQ(sequencer.mute(1), 1u);
    EXPECT_EQ(sequencer.mute(3), 3u);
    EXPECT_EQ(recorder.songHex(), "B07B00B17B00");
    sequencer.mute(2);
    recorder.clear();
    sequencer.advance(1);
    // Channel 1 plays again; channel 2 is muted; controllers pass on muted channels.
    EXPECT_EQ(recorder.songHex(), "903C64B00710");
}

TEST_F(SequencerTest, TransposeSkipsTheDrumChannelAndLeavesOutNotesBeyondTheRange) {
    SmfTrack track;
    track.note(0, 0, 60, 100).note(0, 9, 36, 100).note(0, 2, 120, 100).noteOff(10, 0, 60).noteOff(0, 9, 36)
        .noteOff(0, 2, 120).end(96);
    load(smfFile(0, 96, {track}));
    EXPECT_EQ(sequencer.transpose(10), 10);
    EXPECT_EQ(recorder.songHex(), allChannelsHex(0x7B));
    recorder.clear();
    sequencer.advance(1);
    EXPECT_EQ(recorder.songHex(), "904664" "992464");
    sequencer.advance(10);
    EXPECT_EQ(recorder.songHex(), "904664" "992464" "804600" "892400");
    sequencer.transpose(-70);
    sequencer.locate(0);
    recorder.clear();
    sequencer.advance(20);
    EXPECT_EQ(recorder.songHex(), "992464" "923264" "892400" "823200");
}

TEST_F(SequencerTest, TheMetronomeClicksEveryBeatAndFollowsTheTimeSignature) {
    SmfTrack track;
    track.timeSignature(0, 3, 2, 24).note(0, 0, 60, 100).end(96 * 6);
    load(smfFile(0, 96, {track}));
    sequencer.setMetronomeSounds({hexDecode("994C7F"), hexDecode("994B40")});
    sequencer.advance(96 * 2);
    EXPECT_EQ(recorder.clicks, "");  // off
    EXPECT_TRUE(sequencer.metronome(true));
    sequencer.locate(0);
    recorder.clear();
    std::string clicks;
    for (int beat = 0; beat < 6; ++beat) {
        sequencer.advance(96);
        clicks += hexEncode(recorder.clicks) + "|";
        recorder.clear();
    }
    EXPECT_EQ(clicks, "994C7F|994B40|994B40|994C7F|994B40|994B40|");
}

TEST_F(SequencerTest, AClickOfNoLengthDoesNotHangTheMetronome) {
    SmfTrack track;
    track.timeSignature(0, 0, 2, 1).note(1, 0, 60, 100).timeSignature(1, 4, 0, 1).end(100);
    ASSERT_TRUE(sequencer.load(smfFile(0, 1, {track})));
    sequencer.metronome(true);
    sequencer.setMetronomeSounds({"\x99\x4C\x7F"});
    sequencer.advance(50);
    EXPECT_FALSE(recorder.clicks.empty());
}

TEST_F(SequencerTest, UserTempoScalesTheFileTempoMap) {
    SmfTrack track;
    track.tempo(0, 500000).note(0, 0, 60, 100).tempo(192, 250000).tempo(96, 0xFFFFFF).tempo(96, 1).end(96);
    load(smfFile(0, 96, {track}));
    EXPECT_EQ(sequencer.tempo(60), 60);
    EXPECT_EQ(sequencer.tempo(500), 60);  // out of bounds: ignored
    sequencer.advance(193);
    EXPECT_EQ(recorder.tempos, std::vector<int>{120});
    sequencer.advance(96);
    EXPECT_EQ(recorder.tempos.back(), 1);
    // A tempo that would scale to nothing stays one microsecond per quarter.
    EXPECT_EQ(sequencer.tempo(480), 480);
    sequencer.advance(96);
    EXPECT_EQ(recorder.tempos.back(), 60000000);
    EXPECT_EQ(sequencer.tempo(), 60000000);
    // And one that would scale to more than a minute a quarter stays at 1 bpm.
    EXPECT_EQ(sequencer.tempo(10), 10);
    sequencer.locate(3);
    EXPECT_EQ(recorder.tempos.back(), 1);
}

TEST_F(SequencerTest, RangeIsClampedToTheSongAndMovesAPositionOutsideIt) {
    SmfTrack track = notesEveryBeat(8, 96);
    track.end(48);
    load(smfFile(0, 96, {track}));
    sequencer.range(2, 4);
    EXPECT_EQ(sequencer.positionTicks(), 192);
    sequencer.range(3, 2);  // empty: ignored
    sequencer.locate(7);
    EXPECT_EQ(sequencer.positionTicks(), 384);
    sequencer.range(-5, 100);
    EXPECT_EQ(sequencer.positionTicks(), 384);  // inside the new range: stays
    sequencer.locate(0);
    EXPECT_EQ(sequencer.positionTicks(), 0);
    sequencer.locate(8);
    EXPECT_EQ(sequencer.positionTicks(), 768);
}

// --- playing on the timer ----------------------------------------------------------------------

// Runs the main context (where the end of the range is handled) until done or the time is up.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TEST_F(SequencerTest, TheEndOfTheRangeStopsOnTheMainThreadAndPlayStartsAgainFromTheStart) {
    SmfTrack track;
    track.tempo(0, 125000);  // 480 bpm: a beat is 125 ms
    for (int i = 0; i < 2; ++i) track.note(0, 0, 60 + i, 100).noteOff(96, 0, 60 + i);
    track.end();
    load(smfFile(0, 96, {track}));
    sequencer.play(false);
    EXPECT_TRUE(sequencer.playing());
    ASSERT_TRUE(pumpUntil([&] { return !sequencer.playing(); }, std::chrono::seconds(3)));
    EXPECT_EQ(recorder.stops, 1);
    EXPECT_EQ(sequencer.positionTicks(), 0);
    std::string played = recorder.songHex();
    EXPECT_NE(played.find("903C64803C00903D64"), std::string::npos) << played;
    // Paused at the end: play begins at the range start again.
    sequencer.locate(2);
    sequencer.pause();
    EXPECT_EQ(sequencer.positionTicks(), 0);
    recorder.clear();
    sequencer.play(false);
    ASSERT_TRUE(pumpUntil([&] { return !sequencer.playing(); }, std::chrono::seconds(3)));
    EXPECT_NE(recorder.songHex().find("903C64"), std::string::npos);
}

TEST_F(SequencerTest, PauseKeepsThePositionAndSilencesTheChannelsMidSong) {
    SmfTrack track = notesEveryBeat(16, 96);
    track.end(48);
    load(smfFile(0, 96, {track}));
    sequencer.play(true);
    sequencer.play(false);  // only the loop flag changes
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    sequencer.pause();
    EXPECT_FALSE(sequencer.playing());
    EXPECT_EQ(recorder.stops, 1);
    int64_t position = sequencer.positionTicks();
    EXPECT_GT(position, 0);
    std::string played = recorder.songHex();
    ASSERT_GE(played.size(), 96u);
    EXPECT_EQ(played.substr(played.size() - 96), allChannelsHex(0x78));
    // Not playing: pause reports nothing; stop goes back to the start.
    sequencer.pause();
    EXPECT_EQ(recorder.stops, 1);
    EXPECT_EQ(sequencer.positionTicks(), position);
    sequencer.stop();
    EXPECT_EQ(sequencer.positionTicks(), 0);
}

}  // namespace
