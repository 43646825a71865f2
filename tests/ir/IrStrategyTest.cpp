#include "ir/IrConverterStrategy.h"
#include "ir/IrDelayStrategy.h"
#include "ir/IrFilterStrategies.h"

#include <atomic>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <thread>

using namespace wav;

namespace {

// Runs a strategy on interleaved samples and returns its output per channel.
struct Outputs {
    std::vector<float> left, right;
};

Outputs run(IIrConverterStrategy& s, const std::vector<double>& samples, int channels, int rate, int stereoProc = 2) {
    s.setChannels(channels);
    s.setSampleRate(rate);
    s.setFrameCount(samples.size() / channels);
    s.setInput(samples.data());
    s.process(stereoProc);
    Outputs out;
    for (size_t i = 0; i < s.outputLength(); ++i) {
        out.left.push_back(s.output(i, 0));
        out.right.push_back(s.output(i, 1));
    }
    return out;
}

// The magnitude in dB of a response's DTFT at f Hz.
double magnitudeDb(const std::vector<float>& h, double f, double rate) {
    std::complex<double> sum = 0;
    for (size_t n = 0; n < h.size(); ++n) sum += double(h[n]) * std::polar(1.0, -2 * M_PI * f * n / rate);
    return 20 * std::log10(std::abs(sum));
}

std::vector<double> interleave(const std::vector<double>& l, const std::vector<double>& r) {
    std::vector<double> out;
    for (size_t i = 0; i < l.size(); ++i) {
        out.push_back(l[i]);
        out.push_back(r[i]);
    }
    return out;
}

// A unit impulse after `silence` zero frames, in a response of `frames` frames.
std::vector<double> impulse(size_t frames, size_t silence, double level = 1.0) {
    std::vector<double> x(frames, 0.0);
    x[silence] = level;
    return x;
}

}  // namespace

TEST(IrFilterStrategyTest, AUnitImpulseGivesAFlatMagnitudeResponse) {
    IrConverterOverDriveStrategy overdrive;
    // A quiet lead-in (below 2^-9) is skipped and counted at 48 kHz.
    auto x = impulse(4800, 100);
    x[50] = 0.0019;
    Outputs out = run(overdrive, x, 1, 48000);
    ASSERT_EQ(out.left.size(), 3354u);
    EXPECT_EQ(overdrive.onsetSkip48k(), 100u);
    for (double f = 0; f <= 24000; f += 250) EXPECT_NEAR(magnitudeDb(out.left, f, 48000), 0.0, 0.1) << f << " Hz";
    EXPECT_EQ(out.right, out.left) << "a mono input gives the same filter on both outputs";
    EXPECT_EQ(overdrive.progress(), 100);
}

TEST(IrFilterStrategyTest, AOnePoleLowPassAt44kKeepsItsMagnitudeResponseAt48k) {
    const double a = 0.8, rate = 44100;
    std::vector<double> x(4410);
    for (size_t n = 0; n < x.size(); ++n) x[n] = (1 - a) * std::pow(a, double(n));
    for (auto* strategy : std::initializer_list<IIrConverterStrategy*>{new IrConverterOverDriveStrategy,
                                                                        new IrConverterDistortionStrategy}) {
        std::unique_ptr<IIrConverterStrategy> owned(strategy);
        Outputs out = run(*strategy, x, 1, int(rate));
        for (double f = 20; f <= 20000; f *= 1.25) {
            double expected = 20 * std::log10((1 - a) / std::abs(1.0 - a * std::polar(1.0, -2 * M_PI * f / rate)));
            EXPECT_NEAR(magnitudeDb(out.left, f, 48000), expected, 0.5) << f << " Hz";
        }
    }
}

TEST(IrFilterStrategyTest, MinimumPhasePutsTheEnergyFirstAndKeepsTheMagnitude) {
    // A maximum-phase FIR (its zeros outside the unit circle): the energy comes late.
    std::vector<double> fir = {0.1, 0.2, -0.3, 0.5, 1.0};
    std::vector<double> x(2000, 0.0);
    std::copy(fir.begin(), fir.end(), x.begin());
    IrConverterOverDriveStrategy overdrive;
    Outputs out = run(overdrive, x, 1, 48000);
    double inTotal = 0, outTotal = 0;
    for (double v : fir) inTotal += v * v;
    for (float v : out.left) outTotal += double(v) * v;
    double inSoFar = 0, outSoFar = 0;
    for (size_t n = 0; n < fir.size(); ++n) {
        inSoFar += fir[n] * fir[n];
        outSoFar += double(out.left[n]) * out.left[n];
        EXPECT_GE(outSoFar / outTotal + 1e-9, inSoFar / inTotal) << n;
    }
    EXPECT_GT(double(out.left[0]) * out.left[0] / outTotal, 0.5);
    EXPECT_GT(outSoFar / outTotal, 0.999999) << "nothing after the FIR's own length";
    // Same magnitude response, up to the normalisation to a 0 dB peak.
    std::vector<float> firF(fir.begin(), fir.end());
    double peak = -1e9;
    for (double f = 0; f <= 24000; f += 100) peak = std::max(peak, magnitudeDb(firF, f, 48000));
    for (double f = 0; f <= 24000; f += 1000)
        EXPECT_NEAR(magnitudeDb(out.left, f, 48000), magnitudeDb(firF, f, 48000) - peak, 0.05) << f;
}

TEST(IrFilterStrategyTest, TheChannelsShareOneGainChosenByStereoProc) {
    auto stereo = interleave(impulse(2400, 0), impulse(2400, 0, 0.5));
    struct Case {
        int stereoProc;
        float left, right;
    } cases[] = {{0, 1.0f, 0.5f}, {1, 2.0f, 1.0f}, {2, 1.0f, 0.5f}, {7, 1.0f, 0.5f}};
    for (const Case& c : cases) {
        IrConverterOverDriveStrategy overdrive;
        Outputs out = run(overdrive, stereo, 2, 48000, c.stereoProc);
        EXPECT_NEAR(out.left[0], c.left, 1e-4) << c.stereoProc;
        EXPECT_NEAR(out.right[0], c.right, 1e-4) << c.stereoProc;
    }
    // The onset is the left channel's: a right channel that starts earlier is cut with it.
    auto early = interleave(impulse(2400, 200), impulse(2400, 100));
    IrConverterDummyStrategy dummy;
    Outputs out = run(dummy, early, 2, 48000);
    EXPECT_EQ(dummy.onsetSkip48k(), 200u);
    EXPECT_FLOAT_EQ(out.left[0], 1.0f);
    EXPECT_FLOAT_EQ(out.right[0], 0.0f);
}

TEST(IrDelayStrategyTest, AnEchoTrainGivesItsDelayFeedbackAndRepeatLevels) {
    const int rate = 48000;
    std::vector<double> x(2 * rate, 0.0);
    const size_t lead = 480;  // 10 ms of silence before the direct sound
    for (int k = 0; k * 14400 + lead < x.size(); ++k) x[lead + k * 14400] = std::pow(0.5, k);
    for (bool analog : {false, true}) {
        IrConverterDelayStrategy delay(analog);
        Outputs out = run(delay, x, 1, rate, 0);
        ASSERT_EQ(out.left.size(), 119u);
        EXPECT_NEAR(out.left[0], 300.0, 0.05) << analog;
        EXPECT_NEAR(out.left[1], 0.5, 0.005);
        EXPECT_EQ(out.left[2], 6.0f) << "repeats at 0.3 ... 1.8 s";
        EXPECT_NEAR(out.left[3], 10.0, 0.01);
        for (int k = 1; k <= 6; ++k) EXPECT_NEAR(out.left[3 + k], -6.0206 * k, 0.05) << k;
        for (size_t i = 10; i < 119; ++i) EXPECT_EQ(out.left[i], -120.0f) << i;
        EXPECT_EQ(out.right, out.left);
    }
}

TEST(IrDelayStrategyTest, StereoProcChoosesTheChannelsAnalysed) {
    const int rate = 48000;
    std::vector<double> l(rate, 0.0), r(rate, 0.0);
    for (int k = 0; k < 4; ++k) {
        l[k * 14400] = std::pow(0.5, k);
        r[k * 12000] = std::pow(0.25, k);
    }
    auto x = interleave(l, r);
    IrConverterDelayStrategy both(false);
    Outputs out = run(both, x, 2, rate, 2);
    EXPECT_NEAR(out.left[0], 300.0, 0.05);
    EXPECT_NEAR(out.right[0], 250.0, 0.05);
    EXPECT_NEAR(out.right[1], 0.25, 0.005);
    IrConverterDelayStrategy right(false);
    out = run(right, x, 2, rate, 1);
    EXPECT_NEAR(out.left[0], 250.0, 0.05);
    EXPECT_EQ(out.left, out.right);
    IrConverterDelayStrategy mono(false);
    out = run(mono, l, 1, rate, 1);
    EXPECT_NEAR(out.right[0], 300.0, 0.05) << "a mono input's only channel";
}

TEST(IrReverbStrategyTest, AnExponentialDecayGivesItsRt60AndDecayCurve) {
    const int rate = 48000;
    const double rt60 = 1.2;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.3);
    std::vector<double> x(3 * rate, 0.0);
    const size_t lead = 240;  // 5 ms
    for (size_t n = lead; n < x.size(); ++n) {
        double t = double(n - lead) / rate;
        x[n] = std::clamp(noise(random), -0.99, 0.99) * std::pow(10.0, -3.0 * t / rt60);
    }
    x[lead] = 0.9;
    IrConverterReverbStrategy reverb;
    Outputs out = run(reverb, x, 1, rate, 0);
    ASSERT_EQ(out.left.size(), 119u);
    EXPECT_NEAR(out.left[0], rt60, 0.03 * rt60);
    EXPECT_NEAR(out.left[1], rt60, 0.06 * rt60) << "a single exponential decays early as late";
    EXPECT_NEAR(out.left[2], 5.0, 0.01);
    EXPECT_EQ(out.left[3], 30.0f);
    for (int k = 0; k <= 75; ++k) EXPECT_NEAR(out.left[4 + k], -50.0 * k * 0.020, 1.0) << k * 20 << " ms";
    for (size_t k = 4; k < 119; ++k) EXPECT_LE(out.left[k], k == 4 ? 0.0f : out.left[k - 1]) << "falls";
}

TEST(IrStrategyTest, SilenceEmptyAndHostileInputGiveFiniteOutputs) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> inputs = {{}, std::vector<double>(1000, 0.0), {nan, inf, -inf, 1.0, nan, 0.5},
                                               std::vector<double>(100, 1.0)};
    for (const char* type : {"Distortion", "OverDrive", "Delay", "AnalogDelay", "Reverb", "x"}) {
        for (const auto& in : inputs) {
            for (int rate : {1000, 8000, 384000, 1536000}) {
                auto s = makeIrConverterStrategy(type);
                Outputs out = run(*s, in, 1, rate, 2);
                EXPECT_GT(out.left.size(), 0u);
                for (float v : out.left) ASSERT_TRUE(std::isfinite(v)) << type << " at " << rate;
                EXPECT_EQ(s->progress(), 100) << type;
            }
        }
    }
}

TEST(IrStrategyTest, TypesChooseTheirStrategyAndLength) {
    struct Case {
        const char* type;
        size_t length;
    } cases[] = {{"OverDrive", 3354}, {"Distortion", 2048}, {"Delay", 119}, {"AnalogDelay", 119},
                 {"Reverb", 119},     {"overdrive", 1024},  {"", 1024}};
    std::vector<double> x = impulse(48000, 0);
    for (const Case& c : cases) {
        auto s = makeIrConverterStrategy(c.type);
        run(*s, x, 1, 48000);
        EXPECT_EQ(s->outputLength(), c.length) << c.type;
    }
}

TEST(IrStrategyTest, ProgressRisesToOneHundredAndACancelStopsEarly) {
    const int rate = 44100;
    std::mt19937 random(3);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    std::vector<double> x(2 * 10 * rate);
    for (auto& v : x) v = noise(random);
    for (const char* type : {"Distortion", "OverDrive", "Delay", "AnalogDelay", "Reverb", "dummy"}) {
        auto s = makeIrConverterStrategy(type);
        std::atomic<bool> done{false};
        std::vector<int> seen;
        std::thread watcher([&] {
            while (!done) {
                seen.push_back(s->progress());
                std::this_thread::yield();
            }
        });
        run(*s, x, 2, rate, 2);
        done = true;
        watcher.join();
        EXPECT_EQ(s->progress(), 100) << type;
        for (size_t i = 1; i < seen.size(); ++i) ASSERT_LE(seen[i - 1], seen[i]) << type;
        for (int p : seen) ASSERT_TRUE(p >= 1 && p <= 100) << type;

        auto canceled = makeIrConverterStrategy(type);
        canceled->cancel(1);
        run(*canceled, x, 2, rate, 2);
        EXPECT_TRUE(canceled->isCanceled());
        EXPECT_LT(canceled->progress(), 100) << type << " stopped before its end";
    }
}
