#include "audio/AudioModuleFixture.h"
#include "sys/Paths.h"

#include <thread>

namespace {

class AudioRecorderTest : public WithSoundServer, public AudioModuleFixture {
protected:
    // Plays a half-scale 1 kHz tone into the null sink (whose monitor is the default source).
    void playTone(double seconds) {
        const std::string path = file("tone.wav");
        ASSERT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + path + "' synth " + std::to_string(seconds) +
                        " sine 1000 vol 0.5"),
                  0);
        ASSERT_EQ(call({"$$player_open", path}), "b1");
        call({"$$player_play"});
    }
    bool waitForRecorderStop(const std::string& path) {
        return events.waitFor("recorder", "stop", path, std::chrono::seconds(20));
    }
};

TEST_F(AudioRecorderTest, PcmRecordingOfTheMonitorHoldsTheTone) {
    const std::string out = file("take.wav");
    EXPECT_EQ(call({"$$recorder_create", out, "4"}), "b1");
    EXPECT_EQ(call({"$$recorder_file"}), "s" + out);
    call({"$$recorder_record"});
    EXPECT_EQ(call({"$$recorder_status"}), "d1");
    playTone(1.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_GT(std::stod(call({"$$recorder_time"}).substr(1)), 0.5);
    ASSERT_TRUE(events.waitFor("player", "eof", file("tone.wav"), std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    call({"$$recorder_stop"});
    ASSERT_TRUE(waitForRecorderStop(out));
    EXPECT_EQ(call({"$$recorder_time"}), "f0.000000");
    EXPECT_EQ(call({"$$recorder_file"}), "s");

    WavContents take = readWav(out);
    ASSERT_TRUE(take.ok);
    EXPECT_EQ(take.tag, 1);
    EXPECT_EQ(take.channels, 2);
    EXPECT_EQ(take.rate, 44100u);
    EXPECT_EQ(take.bits, 16);
    ToneMeasure m = measureTone(take.samples16());
    ToneMeasure src = measureTone(readWav(file("tone.wav")).samples16());
    EXPECT_NEAR(m.frequency, 1000, 20);
    EXPECT_NEAR(m.rms, src.rms, src.rms * 0.03);
    EXPECT_GT(m.seconds, 1.35);
}

TEST_F(AudioRecorderTest, AacRecordingIsReadableAndVolumeScalesTheInput) {
    const std::string out = file("take.m4a");
    EXPECT_EQ(call({"$$recorder_create", out, "2"}), "b1");
    EXPECT_EQ(call({"$$recorder_volume", "0.5"}), "f0.500000");
    call({"$$recorder_record"});
    playTone(1.0);
    ASSERT_TRUE(events.waitFor("player", "eof", file("tone.wav"), std::chrono::seconds(20)));
    const double level = std::stod(call({"$$recorder_peakpower", "1"}).substr(1));
    EXPECT_LT(level, -15);  // the input gain lowers what is measured too
    EXPECT_EQ(call({"$$recorder_peakpower", "2"}), "f-120.000000");
    call({"$$recorder_stop"});
    ASSERT_TRUE(waitForRecorderStop(out));
    auto probe = probeAudio(out);
    EXPECT_EQ(probe["codec_name"], "aac");
    EXPECT_EQ(probe["channels"], "2");
    EXPECT_EQ(probe["sample_rate"], "44100");
    EXPECT_GT(std::stod(probe["duration"]), 0.8);
}

TEST_F(AudioRecorderTest, TimeIsZeroWithoutAFileAndUnknownFormatsWriteNothing) {
    EXPECT_EQ(call({"$$recorder_create", file("odd.m4a"), "7"}), "b");
    EXPECT_EQ(call({"$$recorder_create", file("odd.wav"), "-1"}), "b");
    EXPECT_FALSE(fileExists(file("odd.m4a")));
    EXPECT_FALSE(fileExists(file("odd.wav")));
    EXPECT_EQ(call({"$$recorder_create", file("no/such/folder.wav"), "4"}), "b");
    EXPECT_EQ(call({"$$recorder_create", file("x.m4a")}), "esystem exception");

    call({"$$recorder_record"});
    EXPECT_EQ(call({"$$recorder_status"}), "d1");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(call({"$$recorder_time"}), "f0.000000");
    call({"$$recorder_pause"});
    EXPECT_EQ(call({"$$recorder_status"}), "d2");
    call({"$$recorder_stop"});
    EXPECT_EQ(call({"$$recorder_status"}), "d0");
    EXPECT_EQ(call({"$$recorder_channels"}), "d2");
    events.drainFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(events.all().empty());  // nothing was written, so nothing stopped
}

TEST_F(AudioRecorderTest, ChoosingADeviceEndsTheRecordingWithStop) {
    const std::string out = file("take.wav");
    ASSERT_EQ(call({"$$recorder_create", out, "4"}), "b1");
    call({"$$recorder_record"});
    // Sound arrives once the server has linked the new stream to its source: under PipeWire
    // the session manager does that, a few hundred milliseconds later on a loaded machine.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(call({"$$recorder_device", pulse.sinkName() + ".monitor"}), "s" + pulse.sinkName() + ".monitor");
    ASSERT_TRUE(waitForRecorderStop(out));
    EXPECT_EQ(call({"$$recorder_status"}), "d0");
    WavContents take = readWav(out);
    ASSERT_TRUE(take.ok);
    EXPECT_GT(take.data.size(), 44100u);  // at least a quarter second captured, finished as a whole file
    EXPECT_EQ(take.data.size() % 4, 0u);
}

}  // namespace
