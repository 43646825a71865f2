#include "audio/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<int16_t> constantFrames(size_t frames, int16_t left, int16_t right) {
    std::vector<int16_t> s(frames * 2);
    for (size_t f = 0; f < frames; ++f) {
        s[2 * f] = left;
        s[2 * f + 1] = right;
    }
    return s;
}

float dB(float amplitude) { return 20.0f * std::log10(amplitude / 32768.0f); }

TEST(GainTest, FollowsTheVolumeLaw) {
    EXPECT_EQ(gainForVolume(-0.5f), 0.0f);
    EXPECT_EQ(gainForVolume(0.0f), 0.0f);
    EXPECT_EQ(gainForVolume(1.0f), 1.0f);
    EXPECT_EQ(gainForVolume(1.5f), 1.0f);
    EXPECT_FLOAT_EQ(gainForVolume(0.5f), std::pow(0.5f, 1.75f));
    EXPECT_FLOAT_EQ(gainForVolume(0.25f), std::pow(0.25f, 1.75f));

    LevelMeter meter(1);
    std::vector<int16_t> s = {1000, -1000, 32767, -32768, 7, -7};
    applyGain(s.data(), 3, 0.5f, meter);
    EXPECT_EQ(s, (std::vector<int16_t>{500, -500, 16383, -16384, 3, -3}));  // truncated toward zero
}

TEST(LevelMeterTest, OneSlotWindowReportsTheBufferJustMeasured) {
    LevelMeter meter(1);
    auto s = constantFrames(1024, 8192, 16384);
    applyGain(s.data(), 1024, 1.0f, meter);
    meter.advance(1024);
    EXPECT_NEAR(meter.peakPower(0, true), dB(8192), 1e-3);
    EXPECT_NEAR(meter.peakPower(1, true), dB(16384), 1e-3);
    EXPECT_EQ(meter.peakPower(2, true), -120.0f);
    EXPECT_EQ(meter.peakPower(0, false), -120.0f);
}

TEST(LevelMeterTest, FourSlotWindowReportsABufferThreeBuffersLater) {
    LevelMeter meter(4);
    auto loud = constantFrames(1024, 4096, 4096);
    applyGain(loud.data(), 1024, 1.0f, meter);
    meter.advance(1024);
    EXPECT_EQ(meter.peakPower(0, true), -120.0f);  // nothing has reached the running values yet
    for (int i = 0; i < 2; ++i) {
        meter.advance(1024);
        EXPECT_EQ(meter.peakPower(0, true), -120.0f);
    }
    meter.advance(1024);
    EXPECT_NEAR(meter.peakPower(0, true), dB(4096), 1e-3);
}

TEST(LevelMeterTest, AFallingLevelDecaysFromTheHeldLevel) {
    LevelMeter meter(1);
    auto loud = constantFrames(1024, 16384, 16384);
    applyGain(loud.data(), 1024, 1.0f, meter);
    meter.advance(1024);
    ASSERT_NEAR(meter.peakPower(0, true), dB(16384), 1e-3);

    auto quiet = constantFrames(1024, 1024, 1024);
    applyGain(quiet.data(), 1024, 1.0f, meter);
    meter.advance(1024);
    const float held = 16384, rms = 1024;
    const float expected = held + (rms - held) * (1.0f - std::exp(-6.0f * 1024 / 44100.0f));
    EXPECT_NEAR(meter.peakPower(0, true), dB(expected), 1e-3);

    // Reading twice without new buffers measures nothing new: the running values were reset.
    meter.advance(1024);
    EXPECT_LT(meter.peakPower(0, true), dB(expected));
}

TEST(LevelMeterTest, SilenceAndClearingGiveTheFloor) {
    LevelMeter meter(4);
    auto silent = constantFrames(1024, 0, 0);
    for (int i = 0; i < 5; ++i) {
        applyGain(silent.data(), 1024, 1.0f, meter);
        meter.advance(1024);
    }
    EXPECT_EQ(meter.peakPower(0, true), -120.0f);
    auto tiny = constantFrames(1024, 1, 1);
    for (int i = 0; i < 4; ++i) {
        applyGain(tiny.data(), 1024, 1.0f, meter);
        meter.advance(1024);
    }
    // The running values gathered the last three silent buffers and the first quiet one.
    EXPECT_NEAR(meter.peakPower(1, true), dB(0.5f), 1e-3);  // −96.3 dB: above the floor
    meter.clear();
    EXPECT_EQ(meter.peakPower(1, true), -120.0f);
}

}  // namespace
