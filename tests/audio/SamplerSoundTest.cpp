#include "audio/SamplerTestSupport.h"

namespace {

class SamplerSoundTest : public SamplerFixture {
protected:
    // Plays the file on player 0 to its end while the sink is recorded.
    std::vector<int16_t> playToEnd(const std::string& path) {
        MonitorCapture capture(pulse.sinkName(), capturePath());
        call({"$$sampler_play", "0"});
        EXPECT_TRUE(waitForEof(0));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        events.drainFor(std::chrono::milliseconds(1));
        (void)path;
        return capture.stop();
    }
    // Plays a long tone, stops it after a while and returns the recording.
    std::vector<int16_t> playAndStop(const std::vector<std::string>& stopCall, int afterMs, int tailMs) {
        MonitorCapture capture(pulse.sinkName(), capturePath());
        call({"$$sampler_play", "0"});
        std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
        call(stopCall);
        std::this_thread::sleep_for(std::chrono::milliseconds(tailMs));
        return capture.stop();
    }
};

TEST_F(SamplerSoundTest, ToneAtItsLevelUntouchedAndVolumeFollowsTheLaw) {
    call({"$$sampler_create", "1"});
    const std::string path = tone(1.0);
    ASSERT_EQ(call({"$$sampler_open", "0", path}), "b1");
    const std::vector<int16_t> source = readWav(path).samples16();
    const std::vector<int16_t> recording = playToEnd(path);
    const ToneMeasure full = measureTone(recording), expected = measureTone(source);
    EXPECT_NEAR(full.frequency, 1000, 10);
    EXPECT_NEAR(full.rms, expected.rms, expected.rms * 0.02);
    EXPECT_NEAR(soundingSeconds(recording), 1.0, 0.04);
    const std::vector<int16_t> heard = withoutGaps(recording);
    // At volume 1, speed 1 and pitch 0 the samples arrive as they are in the file.
    auto firstSound = [](const std::vector<int16_t>& s) {
        size_t i = 0;
        while (i < s.size() && s[i] == 0) ++i;
        return i & ~size_t(1);
    };
    const size_t a = firstSound(heard), b = firstSound(source);
    // The first 0.1 s (short, so that a busy machine's hiccup rarely falls into it).
    ASSERT_LT(a + 8820, heard.size());
    EXPECT_TRUE(std::equal(heard.begin() + a, heard.begin() + a + 8820, source.begin() + b));

    EXPECT_EQ(call({"$$sampler_volume", "0", "0.5"}), "f0.500000");
    const ToneMeasure half = measureTone(playToEnd(path));
    EXPECT_NEAR(half.rms / full.rms, std::pow(0.5, 1.75), 0.01);
}

TEST_F(SamplerSoundTest, StatusReportsTimeStateAndLevelWhilePlaying) {
    call({"$$sampler_create", "2"});
    ASSERT_EQ(call({"$$sampler_open", "0", tone(3)}), "b1");
    call({"$$sampler_play", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Json list = status();
    EXPECT_EQ(list[0]["state"], 2);
    EXPECT_GT(list[0]["time"].get<double>(), 0.2);
    EXPECT_LT(list[0]["time"].get<double>(), 1.0);
    // A half-scale sine: RMS 0.5/√2 of full scale. The first reading after the start covers
    // only what played, not the silence the output rendered before it.
    EXPECT_NEAR(list[0]["peakpower"][0].get<double>(), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.5);
    EXPECT_NEAR(list[0]["peakpower"][1].get<double>(), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.5);
    EXPECT_EQ(list[1]["state"], 0);
    call({"$$sampler_pause", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double held = status()[0]["time"].get<double>();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(state(0), 3);
    EXPECT_EQ(status()[0]["time"].get<double>(), held);
    EXPECT_EQ(status()[0]["peakpower"][0], -120);  // a paused player is not metered
    call({"$$sampler_play", "0"});  // resumes where it was
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(state(0), 2);
    EXPECT_GT(status()[0]["time"].get<double>(), held + 0.1);
    EXPECT_LT(status()[0]["time"].get<double>(), held + 0.7);
    call({"$$sampler_pause", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    call({"$$sampler_stop", "0"});  // paused: at once
    EXPECT_EQ(state(0), 0);
    EXPECT_EQ(status()[0]["time"], 0);
}

TEST_F(SamplerSoundTest, LocateWhilePlayingGoesOnFromTheTarget) {
    call({"$$sampler_create", "1"});
    ASSERT_EQ(call({"$$sampler_open", "0", tone(4)}), "b1");
    MonitorCapture capture(pulse.sinkName(), capturePath());
    call({"$$sampler_play", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double before = status()[0]["time"].get<double>();
    call({"$$sampler_locate", "0", "3.0"});
    EXPECT_NEAR(status()[0]["time"].get<double>(), 3.0, 0.05);
    ASSERT_TRUE(waitForEof(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // What played before the move, then the last second of the file.
    EXPECT_NEAR(soundingSeconds(capture.stop()), before + 1.0, 0.08);
    EXPECT_EQ(eofs(0).size(), 1u);
}

TEST_F(SamplerSoundTest, ForcedStopIsSilentWithinFiveMilliseconds) {
    call({"$$sampler_create", "1"});
    call({"$$sampler_fadeout", "0", "1.0"});  // forcing overrides the fade-out
    ASSERT_EQ(call({"$$sampler_open", "0", tone(3)}), "b1");
    // An underrun's gap right before the stop would read as a slow fade: gaps are left out.
    const std::vector<int16_t> heard = withoutGaps(playAndStop({"$$sampler_stop", "0", "true"}, 700, 300));
    const std::vector<double> peaks = envelope(heard, 44);  // one 1 kHz cycle per window
    ASSERT_FALSE(peaks.empty());
    const double full = *std::max_element(peaks.begin(), peaks.end());
    long lastFull = -1;
    for (size_t w = 0; w < peaks.size(); ++w)
        if (peaks[w] >= 0.9 * full) lastFull = static_cast<long>(w);
    const long lastSound = lastFrameAbove(heard, 64);
    ASSERT_GE(lastFull, 0);
    const double fadeMs = (lastSound - (lastFull + 1) * 44) / 44.1;
    EXPECT_LT(fadeMs, 6.5);
    EXPECT_EQ(state(0), 0);
    EXPECT_EQ(call({"$$sampler_stop", "0", "1"}), "v");  // stopping a stopped player is harmless
}

TEST_F(SamplerSoundTest, FadeOutFallsSmoothlyToSilenceOverOneSecond) {
    call({"$$sampler_create", "1"});
    call({"$$sampler_fadeout", "0", "1.0"});
    ASSERT_EQ(call({"$$sampler_open", "0", tone(4)}), "b1");
    MonitorCapture capture(pulse.sinkName(), capturePath());
    call({"$$sampler_play", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    call({"$$sampler_stop", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(state(0), 1);  // stopping
    EXPECT_TRUE(pumpUntil([&] { return state(0) == 0; }, std::chrono::seconds(3)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::vector<int16_t> heard = capture.stop();
    const size_t window = 441;  // 10 ms
    const std::vector<double> peaks = envelope(heard, window);
    const double full = *std::max_element(peaks.begin(), peaks.end());
    size_t start = 0;
    for (size_t w = 0; w < peaks.size(); ++w)
        if (peaks[w] >= 0.98 * full) start = w + 1;  // the first window below full level
    // The fade's windows, without any gap a busy machine left in it.
    std::vector<double> fade;
    for (size_t w = start; w < peaks.size(); ++w)
        if (peaks[w] >= 64) fade.push_back(peaks[w]);
    // The linear fade through the 1.75 power law: quieter than 64 from about 0.97 s on.
    const double seconds = fade.size() * 0.01;
    EXPECT_GT(seconds, 0.9);
    EXPECT_LT(seconds, 1.05);
    for (size_t w = 1; w < fade.size(); ++w) EXPECT_LE(fade[w], fade[w - 1] * 1.01 + 2) << "window " << w;
    const double expectedMid = full * std::pow(0.5, 1.75);
    ASSERT_GT(fade.size(), 50u);
    EXPECT_NEAR(fade[50], expectedMid, expectedMid * 0.1);
    EXPECT_TRUE(eofs(0).empty());
}

TEST_F(SamplerSoundTest, FadeInRisesFromSilence) {
    call({"$$sampler_create", "1"});
    call({"$$sampler_fadein", "0", "0.5"});
    ASSERT_EQ(call({"$$sampler_open", "0", tone(1.0)}), "b1");
    const std::vector<int16_t> heard = playToEnd("");
    std::vector<double> rise;  // the sounding 10 ms windows (a gap of an underrun left out)
    for (double peak : envelope(heard, 441))
        if (peak >= 64) rise.push_back(peak);
    ASSERT_GT(rise.size(), 60u);
    const double full = *std::max_element(rise.begin(), rise.end());
    // A quarter of the way in: (1/4)^1.75 of the full level.
    EXPECT_NEAR(rise[12], full * std::pow(0.25, 1.75), full * 0.04);
    EXPECT_GT(rise[55], 0.97 * full);
}

TEST_F(SamplerSoundTest, SpeedTwoHalvesTheLengthAtTheSamePitch) {
    call({"$$sampler_create", "1"});
    ASSERT_EQ(call({"$$sampler_open", "0", tone(4)}), "b1");
    EXPECT_EQ(call({"$$sampler_speed", "0", "2.0"}), "f2.000000");
    const std::vector<int16_t> recording = playToEnd("");
    EXPECT_NEAR(soundingSeconds(recording), 2.0, 0.06);
    EXPECT_NEAR(measureTone(recording).frequency, 1000, 10);
}

TEST_F(SamplerSoundTest, PitchAnOctaveUpDoublesTheFrequencyAtTheSameLength) {
    call({"$$sampler_create", "1"});
    ASSERT_EQ(call({"$$sampler_open", "0", tone(2, 500)}), "b1");
    EXPECT_EQ(call({"$$sampler_pitch", "0", "1200"}), "f1200.000000");
    const std::vector<int16_t> recording = playToEnd("");
    EXPECT_NEAR(soundingSeconds(recording), 2.0, 0.06);
    EXPECT_NEAR(measureTone(recording).frequency, 1000, 10);
}

}  // namespace
