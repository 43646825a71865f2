// Resampling quality, 48 kHz to 44.1 kHz float: the program's import conversion beside
// sox's "rate -v" and ffmpeg's default resampler on the same inputs in the same run.
//   pass band: tones stepped from 20 Hz to 20 kHz; the largest level error (dB)
//   aliasing:  tones stepped from 22.1 to 23.9 kHz (above the new Nyquist frequency);
//              the loudest that comes through (dB below the tone)
//   noise:     for in-band tones, what is left after taking the tone away (dB below it)
//   time:      for a 5-minute stereo file of music-like noise
//   cmake --build build --target resample_bench && build/tests/resample_bench
#include "audio/AudioConverter.h"
#include "wav/WaveFormat.h"
#include "support/ToneMeasure.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

struct Quality {
    double passband = 0;   // largest |level error| in the pass band, dB
    double aliasing = -400;
    double noise = -400;
};

using Resampler = std::function<bool(const std::string& in, const std::string& out)>;

Quality measure(const std::string& dir, const Resampler& resample) {
    Quality q;
    const std::string in = dir + "/tone48.wav", out = dir + "/tone441.wav";
    std::vector<double> tones;
    for (double f : {20.0, 50.0, 100.0, 1000.0}) tones.push_back(f);
    for (double f = 2000; f <= 20000; f += 1000) tones.push_back(f);
    const size_t inBand = tones.size();
    for (double f = 22100; f <= 23900; f += 300) tones.push_back(f);
    for (size_t i = 0; i < tones.size(); ++i) {
        const double f = tones[i], amplitude = 0.5;
        if (!writeToneWav(in, f, amplitude, 48000, 2.0) || !resample(in, out)) {
            std::fprintf(stderr, "resampling a %.0f Hz tone failed\n", f);
            std::exit(1);
        }
        std::vector<float> samples;
        if (!readFloatWav(out, samples, 44100)) {
            std::fprintf(stderr, "cannot read %s\n", out.c_str());
            std::exit(1);
        }
        ToneFit fit = fitTone(samples, f, 44100);
        if (i < inBand) {
            q.passband = std::max(q.passband, std::fabs(20 * std::log10(fit.amplitude / amplitude)));
            q.noise = std::max(q.noise, 20 * std::log10(fit.residualRms * std::sqrt(2.0) / amplitude + 1e-30));
        } else {
            q.aliasing = std::max(q.aliasing, 20 * std::log10(fit.totalRms * std::sqrt(2.0) / amplitude + 1e-30));
        }
    }
    return q;
}

double timeOf(const std::function<bool()>& job) {
    auto start = std::chrono::steady_clock::now();
    if (!job()) {
        std::fprintf(stderr, "a timed conversion failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    char pattern[] = "/tmp/tarn-resample-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    const wav::WaveFormat target = wav::pcmFormat(wav::kWaveFormatIeeeFloat, 1, 44100, 32);
    struct Entry {
        const char* name;
        Resampler resample;
    };
    const Entry entries[] = {
        {"tarn", [&](const std::string& in, const std::string& out) { return convertAudioFile(in, out, target); }},
        {"sox rate -v",
         [&](const std::string& in, const std::string& out) {
             return run("sox '" + in + "' -e floating-point -b 32 '" + out + "' rate -v 44100 2>/dev/null");
         }},
        {"ffmpeg default",
         [&](const std::string& in, const std::string& out) {
             return run("ffmpeg -nostdin -hide_banner -v error -y -i '" + in + "' -ar 44100 -c:a pcm_f32le '" + out + "'");
         }},
    };
    const std::string music = dir + "/music48.wav", musicOut = dir + "/music441.wav";
    if (!run("sox -n -r 48000 -c 2 -b 24 '" + music + "' synth 300 pinknoise gain -6 2>/dev/null")) return 1;
    const wav::WaveFormat stereo = wav::pcmFormat(wav::kWaveFormatIeeeFloat, 2, 44100, 32);
    std::printf("48 kHz -> 44.1 kHz, float out\n");
    std::printf("%-16s %14s %14s %14s %14s\n", "", "pass band dB", "aliasing dB", "noise dB", "5 min [s]");
    std::vector<Quality> results;
    for (const Entry& e : entries) {
        Quality q = measure(dir, e.resample);
        results.push_back(q);
        double seconds = 0;
        if (e.name == entries[0].name)
            seconds = timeOf([&] { return convertAudioFile(music, musicOut, stereo); });
        else
            seconds = timeOf([&] { return e.resample(music, musicOut); });
        std::printf("%-16s %14.4f %14.1f %14.1f %14.2f\n", e.name, q.passband, q.aliasing, q.noise, seconds);
    }
    // The lines scripts/bench.sh puts in its table.
    std::printf("passband: %.4f dB (sox %.4f dB)\n", results[0].passband, results[1].passband);
    std::printf("aliasing: %.1f dB (sox %.1f dB)\n", results[0].aliasing, results[1].aliasing);
    std::printf("(-400 dB: nothing at all came through)\n");
    run("rm -rf '" + dir + "'");
    return 0;
}
