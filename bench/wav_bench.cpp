// Times the trnWav conversions on a 5-minute stereo track beside sox doing the same
// conversion of the same file, and prints MB/s of source data and the ratio to sox.
// Wall time suffers from whatever else runs on the machine; the CPU time (user + system)
// of the converting thread and of the sox process is the steadier measure.
//   wav_bench [seconds of audio, default 300] [runs, default 3]
#include "wav/WavFileJob.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wav;

namespace {

using Clock = std::chrono::steady_clock;

double fileMB(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size / 1e6 : 0.0;
}

void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

double cpuSeconds(int who) {
    rusage usage;
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double wall = 1e9;
    double cpu = 1e9;
};

// Best wall and CPU times of several runs, in seconds, after one warm-up run. who: whose
// CPU time counts (RUSAGE_THREAD for our conversion, RUSAGE_CHILDREN for sox). Each run
// starts without the output file, as the page removes it before every job.
Timing best(int runs, int who, const std::string& output, const std::function<void()>& work) {
    work();
    Timing t;
    for (int i = 0; i < runs; ++i) {
        unlink(output.c_str());
        double cpu = cpuSeconds(who);
        auto start = Clock::now();
        work();
        t.wall = std::min(t.wall, std::chrono::duration<double>(Clock::now() - start).count());
        t.cpu = std::min(t.cpu, cpuSeconds(who) - cpu);
    }
    return t;
}

struct Case {
    const char* name;
    WavJobKind kind;
    WavTargetFormat target;
    bool fromTrack;        // source: the device track (export) or the 24-bit file (import)
    const char* soxArgs;   // sox options for the same conversion (-D: no dither, as ours)
};

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    char folderTemplate[] = "/tmp/wav_bench.XXXXXX";
    std::string folder = mkdtemp(folderTemplate);
    std::string source24 = folder + "/source24.wav", track = folder + "/track.wav";
    std::string ours = folder + "/ours.wav", theirs = folder + "/sox.wav";

    shell("sox -n -r 44100 -c 2 -b 24 -e signed-integer " + source24 + " synth " + std::to_string(seconds) +
          " whitenoise gain -3 2>/dev/null");
    uint32_t frames = 0;
    if (!convertWavFile(WavJobKind::Import, source24, track, WavTargetFormat{3, 32, 44100}, &frames)) return 1;
    std::printf("%d s of stereo audio, %u frames; best of %d runs\n\n", seconds, frames, runs);
    std::printf("%-26s %6s | %-26s | %-26s | %s\n", "", "", "        wall time", "    CPU time (user+sys)", "ratio");
    std::printf("%-26s %6s | %12s %13s | %12s %13s | %5s %5s\n", "conversion", "MB", "tarn MB/s", "sox MB/s",
                "tarn MB/s", "sox MB/s", "wall", "CPU");

    const Case cases[] = {
        {"import 24-bit -> float", WavJobKind::Import, {3, 32, 44100}, false, "-e floating-point -b 32"},
        {"import 24-bit -> 16-bit", WavJobKind::Import, {1, 16, 44100}, false, "-e signed-integer -b 16"},
        {"export float -> 16-bit", WavJobKind::Export, {1, 16, 44100}, true, "-e signed-integer -b 16"},
        {"export float -> 24-bit", WavJobKind::Export, {1, 24, 44100}, true, "-e signed-integer -b 24"},
        {"export float -> float", WavJobKind::Export, {3, 32, 44100}, true, "-e floating-point -b 32"},
    };
    for (const Case& c : cases) {
        const std::string& from = c.fromTrack ? track : source24;
        double mb = fileMB(from);
        Timing tarn = best(runs, RUSAGE_THREAD, ours, [&] {
            if (!convertWavFile(c.kind, from, ours, c.target, nullptr)) {
                std::fprintf(stderr, "conversion failed: %s\n", c.name);
                std::exit(1);
            }
        });
        std::string soxCommand = "sox -D " + from + " " + c.soxArgs + " " + theirs + " 2>/dev/null";
        Timing sox = best(runs, RUSAGE_CHILDREN, theirs, [&] { shell(soxCommand); });
        std::printf("%-26s %6.1f | %12.0f %13.0f | %12.0f %13.0f | %5.2f %5.2f\n", c.name, mb, mb / tarn.wall,
                    mb / sox.wall, mb / tarn.cpu, mb / sox.cpu, sox.wall / tarn.wall, sox.cpu / tarn.cpu);
    }
    // The floor a conversion bounded by the disk can reach: copying the float track.
    {
        double mb = fileMB(track);
        Timing copy = best(runs, RUSAGE_CHILDREN, theirs, [&] { shell("cp " + track + " " + theirs); });
        std::printf("\ncopying the same bytes: %.0f MB/s (cp of the float track, wall)\n", mb / copy.wall);
    }
    std::printf("\nMB: source data; ratio = sox time / tarn time (above 1: tarn is faster)\n");
    shell("rm -rf " + folder);
    return 0;
}
