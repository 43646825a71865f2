// Times waveform peaks of a 4-minute device track (44.1 kHz 32-bit float stereo):
// cold (read from the file, then stored in the cache) and warm (from the cache).
//   peaks_bench [seconds of audio, default 240] [columns, default 1200] [runs, default 5]
#include "audio/WaveformPeaks.h"
#include "sys/Paths.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }

// A float stereo WAV of a slowly swelling 220 Hz tone.
bool writeTrack(const std::string& path, int seconds) {
    uint32_t frames = static_cast<uint32_t>(seconds) * 44100u, data = frames * 8u;
    std::string bytes = "RIFF";
    put32(bytes, 36 + data);
    bytes += "WAVEfmt ";
    put32(bytes, 16);
    put16(bytes, 3); put16(bytes, 2); put32(bytes, 44100); put32(bytes, 44100 * 8); put16(bytes, 8); put16(bytes, 32);
    bytes += "data";
    put32(bytes, data);
    bytes.reserve(bytes.size() + data);
    for (uint32_t i = 0; i < frames; ++i) {
        float v = static_cast<float>(std::sin(i * 2 * M_PI * 220 / 44100) * (0.2 + 0.7 * i / frames));
        bytes.append(reinterpret_cast<const char*>(&v), 4);
        bytes.append(reinterpret_cast<const char*>(&v), 4);
    }
    return writeFileAtomically(path, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 240;
    int columns = argc > 2 ? std::atoi(argv[2]) : 1200;
    int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    char folder[] = "/tmp/peaks-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    std::string track = std::string(folder) + "/track.wav", cache = std::string(folder) + "/cache";
    if (!writeTrack(track, seconds)) return 1;
    WaveformPeaksCache store(cache);
    double coldBest = 1e9, warmBest = 1e9;
    for (int run = 0; run < runs; ++run) {
        std::system(("rm -rf '" + cache + "'").c_str());
        WaveformPeaks peaks;
        std::string error;
        auto start = Clock::now();
        if (!store.load(track, columns, peaks)) {
            if (!computeWaveformPeaks(track, columns, peaks, error)) { std::fprintf(stderr, "%s\n", error.c_str()); return 1; }
            store.store(track, columns, peaks);
        }
        coldBest = std::min(coldBest, msSince(start));
        start = Clock::now();
        WaveformPeaks warm;
        if (!store.load(track, columns, warm)) { std::fprintf(stderr, "the cache did not answer\n"); return 1; }
        warmBest = std::min(warmBest, msSince(start));
    }
    std::printf("peaks of %d s float stereo, %d columns: cold %.1f ms, warm %.3f ms (best of %d)\n", seconds, columns,
                coldBest, warmBest, runs);
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
    return warmBest < 50.0 ? 0 : 2;
}
