// A change of rate in a file conversion: the level of tones across the band, what comes
// through from above the new Nyquist frequency, and dither when samples are reduced.
#include "audio/AudioConverter.h"
#include "audio/AudioTestSupport.h"
#include "support/TempHome.h"
#include "support/ToneMeasure.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double dB(double ratio) { return 20 * std::log10(ratio + 1e-30); }

TEST(AudioResample, From48To44kHzTonesKeepTheirLevelAndNothingAboveNyquistComesThrough) {
    TempHome home;
    const std::string in = home.path() + "/tone.wav", out = home.path() + "/out.wav";
    const wav::WaveFormat floatTarget = wav::pcmFormat(wav::kWaveFormatIeeeFloat, 1, 44100, 32);
    // Limits well short of what the resampler reaches (0.01 dB, below -140 dB) and well
    // beyond a plain low-quality one (fractions of a dB at 19 kHz, aliases at -60 dB).
    for (double f : {1000.0, 19000.0, 23000.0}) {
        ASSERT_TRUE(writeToneWav(in, f, 0.5, 48000, 1.0));
        ASSERT_TRUE(convertAudioFile(in, out, floatTarget));
        WavContents wav = readWav(out);
        ASSERT_TRUE(wav.ok);
        EXPECT_EQ(wav.rate, 44100u);
        std::vector<float> samples = wav.samplesFloat();
        EXPECT_NEAR(samples.size(), 44100u, 2u);
        ToneFit fit = fitTone(samples, f, 44100);
        if (f < 22050) {
            EXPECT_NEAR(dB(fit.amplitude / 0.5), 0.0, 0.05) << f << " Hz";
            EXPECT_LT(dB(fit.residualRms / 0.5), -100) << f << " Hz";
        } else {
            EXPECT_LT(dB(fit.totalRms / 0.5), -120) << f << " Hz";
        }
    }
}

TEST(AudioResample, ReducingTo16BitsDithersSoATonBelowTheLastBitSurvives) {
    TempHome home;
    const std::string in = home.path() + "/quiet.wav", out = home.path() + "/out16.wav";
    // A third of the last bit of 16: plain rounding makes it silence.
    const double lsb = 1.0 / 32768, amplitude = lsb / 3;
    ASSERT_TRUE(writeToneWav(in, 1000, amplitude, 48000, 4.0));
    ASSERT_TRUE(convertAudioFile(in, out, wav::pcmFormat(wav::kWaveFormatPcm, 1, 44100, 16)));
    WavContents wav = readWav(out);
    ASSERT_TRUE(wav.ok);
    ASSERT_EQ(wav.bits, 16);
    std::vector<float> samples;
    for (int16_t s : wav.samples16()) samples.push_back(static_cast<float>(s / 32768.0));
    ToneFit fit = fitTone(samples, 1000, 44100);
    // The tone is there under the noise, at about its level; TPDF noise is about 0.5 LSB RMS.
    EXPECT_NEAR(fit.amplitude / amplitude, 1.0, 0.35);
    EXPECT_GT(fit.residualRms, 0.3 * lsb);
    EXPECT_LT(fit.residualRms, 1.0 * lsb);
}

}  // namespace
