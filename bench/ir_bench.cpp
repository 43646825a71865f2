// Impulse-response jobs: time per job, per type, for a 2 s stereo 48 kHz 24-bit response
// (decaying noise with repeats every 250 ms), read from a WAV file and written out as the
// job does. Prints the median of several runs of the whole job and of the strategy alone.
//   ir_bench [runs]
#include "ir/IRConvertWorker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace wav;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<double> response(int rate, int seconds) {
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 0.2);
    std::vector<double> x(size_t(rate) * seconds * 2);
    for (size_t n = 0; n < x.size() / 2; ++n) {
        double t = double(n) / rate;
        double v = noise(random) * std::exp(-6.9 * t / 0.8);
        if (n % (rate / 4) == 0) v += 0.8 * std::pow(0.5, double(n / (rate / 4)));
        x[2 * n] = std::clamp(v, -0.99, 0.99);
        x[2 * n + 1] = std::clamp(0.8 * v, -0.99, 0.99);
    }
    return x;
}

void writeWav(const std::string& path, const std::vector<double>& x, int rate) {
    std::string data;
    for (double v : x) {
        int32_t s = int32_t(std::lround(v * 8388607.0));
        data.append({char(s), char(s >> 8), char(s >> 16)});
    }
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    std::string fmt = u16(1) + u16(2) + u32(rate) + u32(rate * 6) + u16(6) + u16(24);
    std::string body = "WAVEfmt " + u32(16) + fmt + "data" + u32(data.size()) + data;
    FILE* f = fopen(path.c_str(), "wb");
    std::string file = "RIFF" + u32(body.size()) + body;
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int rate = 48000;
    char folderTemplate[] = "/tmp/ir_bench.XXXXXX";
    std::string folder = std::string(mkdtemp(folderTemplate)) + "/";
    const std::string input = folder + "response.wav";
    const std::vector<double> x = response(rate, 2);
    writeWav(input, x, rate);

    std::printf("%-12s %12s %14s\n", "type", "job (ms)", "strategy (ms)");
    for (const char* type : {"OverDrive", "Distortion", "Delay", "AnalogDelay", "Reverb", "dummy"}) {
        std::vector<double> jobTimes, strategyTimes;
        for (int r = 0; r < runs; ++r) {
            std::mutex mutex;
            std::condition_variable cv;
            bool finished = false;
            auto start = Clock::now();
            IRConvertWorker worker(2, input, "bench", makeIrConverterStrategy(type), folder,
                                   [&](const std::string&, IRConvertWorker::Notice notice) {
                                       if (notice != IRConvertWorker::Notice::Result) return;
                                       std::lock_guard<std::mutex> lock(mutex);
                                       finished = true;
                                       cv.notify_all();
                                   });
            worker.startConvert();
            {
                std::unique_lock<std::mutex> lock(mutex);
                cv.wait(lock, [&] { return finished; });
            }
            jobTimes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            worker.join();
            if (worker.result() != kIrSuccess) {
                std::fprintf(stderr, "%s: result %d\n", type, worker.result());
                return 1;
            }
            unlink(worker.pathL().c_str());
            unlink(worker.pathR().c_str());

            auto strategy = makeIrConverterStrategy(type);
            strategy->setChannels(2);
            strategy->setSampleRate(rate);
            strategy->setFrameCount(x.size() / 2);
            strategy->setInput(x.data());
            start = Clock::now();
            strategy->process(2);
            strategyTimes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::printf("%-12s %12.2f %14.2f\n", type, median(jobTimes), median(strategyTimes));
    }
    // The same response at 44.1 kHz exercises the resampler of the filter types.
    const std::string input44 = folder + "response44.wav";
    writeWav(input44, response(44100, 2), 44100);
    for (const char* type : {"OverDrive", "Distortion"}) {
        std::vector<double> times;
        for (int r = 0; r < runs; ++r) {
            auto strategy = makeIrConverterStrategy(type);
            std::vector<double> x44 = response(44100, 2);
            strategy->setChannels(2);
            strategy->setSampleRate(44100);
            strategy->setFrameCount(x44.size() / 2);
            strategy->setInput(x44.data());
            auto start = Clock::now();
            strategy->process(2);
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::printf("%-12s %12s %14.2f  (44.1 kHz input, resampled)\n", type, "", median(times));
    }
    unlink(input.c_str());
    unlink(input44.c_str());
    rmdir(folder.c_str());
    return 0;
}
