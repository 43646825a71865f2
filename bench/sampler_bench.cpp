// Eight sample players at once on a private sound server: the underruns the server
// reports, the process's CPU use, and the CPU cost of speed and pitch processing per
// player (the stretcher alone, on a decoded tone).
//
//   cmake --build build --target sampler_bench && build/tests/sampler_bench [seconds]
#include "audio/AudioTestSupport.h"
#include "audio/ExtSamplePlayer.h"
#include "audio/SamplePlayerStretch.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double since(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct RunFigures {
    uint32_t underruns = 0;
    double cpuPercent = 0;  // of one core, whole process
};

RunFigures playEight(const std::vector<std::string>& files, double seconds, float speed, float cents) {
    std::vector<std::unique_ptr<ExtSamplePlayer>> players;
    for (const std::string& path : files) {
        auto player = std::make_unique<ExtSamplePlayer>();
        if (!player->open(path)) {
            fprintf(stderr, "cannot open %s\n", path.c_str());
            std::exit(1);
        }
        player->setRepeatCount(-1);
        player->setVolume(0.3f);
        player->setSpeed(speed);
        player->setPitch(cents);
        players.push_back(std::move(player));
    }
    for (auto& p : players) p->play();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // every stream under way
    RunFigures figures;
    uint32_t before = 0;
    for (auto& p : players) before += p->underruns();
    const double cpu0 = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = since(start);
    figures.cpuPercent = 100.0 * (cpuSeconds() - cpu0) / wall;
    for (auto& p : players) figures.underruns += p->underruns();
    figures.underruns -= before;
    for (auto& p : players)
        if (!p->isPlaying()) fprintf(stderr, "a player stopped during the run\n");
    return figures;
}

// CPU seconds the stretcher takes per second of stereo 44.1 kHz audio.
double stretchCost(float speed, float cents) {
    const int rate = 44100, channels = 2;
    std::vector<int16_t> input(static_cast<size_t>(rate) * channels * 10);
    for (size_t f = 0; f < input.size() / channels; ++f)
        for (int c = 0; c < channels; ++c) input[f * channels + c] = static_cast<int16_t>(8000 * std::sin(f * 0.1425));
    SamplePlayerStretch stretch(channels, rate);
    stretch.setRatios(speed, cents);
    std::vector<int16_t> out(4096 * channels);
    const double cpu0 = cpuSeconds();
    size_t fed = 0, produced = 0;
    const size_t frames = input.size() / channels;
    while (fed < frames) {
        const size_t n = std::min(stretch.framesWanted(), frames - fed);
        stretch.feed(input.data() + fed * channels, n, fed + n == frames);
        fed += n;
        while (size_t got = stretch.take(out.data(), 4096)) produced += got;
    }
    const double cpu = cpuSeconds() - cpu0;
    return cpu / (static_cast<double>(produced) / rate);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    char folder[] = "/tmp/tarn-sampler-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) {
        const std::string path = std::string(folder) + "/tone" + std::to_string(i) + ".wav";
        ffmpegMake("-f lavfi -i sine=frequency=" + std::to_string(300 + 110 * i) + ":duration=10 -ac 2 -ar 44100", path);
        files.push_back(path);
    }
    {
        PulseServer pulse;
        printf("period %.0f ms, buffer %d periods; %.0f s per run\n", SamplePlayerOutput::kPeriodSeconds * 1000,
               SamplePlayerOutput::kPeriods, seconds);
        const RunFigures plain = playEight(files, seconds, 1.0f, 0.0f);
        printf("8 players, speed 1, pitch 0:      underruns %u, CPU %.1f %% of one core\n", plain.underruns,
               plain.cpuPercent);
        const RunFigures stretched = playEight(files, seconds, 1.5f, 300.0f);
        printf("8 players, speed 1.5, pitch +300: underruns %u, CPU %.1f %% of one core\n", stretched.underruns,
               stretched.cpuPercent);
    }
    for (auto [speed, cents] : {std::pair<float, float>{2.0f, 0.0f}, {1.0f, 1200.0f}, {0.5f, -700.0f}})
        printf("stretcher alone, speed %.1f pitch %+.0f: %.2f %% of one core per player\n", speed, cents,
               100.0 * stretchCost(speed, cents));
    shell(std::string("rm -rf '") + folder + "'");
    return 0;
}
