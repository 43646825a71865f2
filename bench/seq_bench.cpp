// Sequencer timing: a 60 s file (16th notes at 120 bpm) played through the seq module to a JACK
// capture client; the error of each note onset against the file's time (from the first onset),
// and the CPU time of the sequencer's timer thread while playing.
// Build: cmake --build build --target seq_bench; run: build/tests/seq_bench
#include "midi/SmfBuilder.h"
#include "bridge/NativeObjects.h"
#include "bridge/Text.h"
#include "midi/Sequencer.h"
#include "midi/jack/MIDITestServers.h"
#include "midi/seq/JackCapture.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kDivision = 96;
constexpr int kStep = kDivision / 4;  // a 16th note: 125 ms at 120 bpm
constexpr int kNotes = 480;           // 60 s

std::string sixteenths() {
    SmfTrack track;
    track.tempo(0, 500000);
    for (int i = 0; i < kNotes; ++i)
        track.note(i == 0 ? 0 : kStep / 2, 0, 60 + i % 12, 100).noteOff(kStep / 2, 0, 60 + i % 12);
    track.end(kStep);
    return smfFile(0, kDivision, {track});
}

// utime + stime of one thread of this process, in seconds.
double threadCpuSeconds(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

}  // namespace

int main() {
    JackServer jack;
    TempHome home;
    TarnAppWebViewController controller;
    JackCapture capture("seq-bench-capture");
    std::string endpoint;
    for (int i = 0; i < 100 && endpoint.empty(); ++i) {
        std::string list = controller.invokeNative({"$$midi_outendpoints"}).substr(1);
        auto at = list.find("{\"MIDIDeviceNameKey\":\"seq-bench-capture\"");
        if (at != std::string::npos) endpoint = list.substr(at, list.find('}', at) - at + 1);
        else std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (endpoint.empty()) {
        std::fprintf(stderr, "the capture client is not listed\n");
        return 1;
    }
    controller.invokeNative({"$$midi_outconnect", endpoint});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    controller.invokeNative({"$$seq_output", "1"});
    controller.invokeNative({"$$seq_load", hexEncode(sixteenths())});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    capture.clear();

    Sequencer& sequencer = controller.nativeObjects().sequencer();
    controller.invokeNative({"$$seq_play"});
    pid_t timerThread = sequencer.timerThreadId();
    double cpuBefore = threadCpuSeconds(timerThread);
    auto start = std::chrono::steady_clock::now();
    capture.waitFor([](const auto& m) { return withStatus(m, 0x90).size() >= size_t(kNotes); },
                    std::chrono::seconds(75));
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = threadCpuSeconds(timerThread) - cpuBefore;
    controller.invokeNative({"$$seq_stop"});

    auto onsets = withStatus(capture.messages(), 0x90);
    if (onsets.size() < 2) {
        std::fprintf(stderr, "only %zu onsets arrived\n", onsets.size());
        return 1;
    }
    std::vector<double> errors, signedErrors;
    for (size_t i = 0; i < onsets.size(); ++i) {
        double expected = double(i) * 125.0;
        double actual = double(onsets[i].time - onsets[0].time) / 1000.0;
        signedErrors.push_back(actual - expected);
        errors.push_back(std::fabs(actual - expected));
    }
    double meanSigned = 0;
    for (double e : signedErrors) meanSigned += e;
    meanSigned /= double(signedErrors.size());
    std::printf("note onsets: %zu over %.1f s (JACK dummy, 128 frames at 44.1 kHz = 2.9 ms a period)\n",
                onsets.size(), wall);
    std::printf("onset error against the file's time: median %.2f ms, p99 %.2f ms, max %.2f ms, mean signed %+.2f ms\n",
                percentile(errors, 0.5), percentile(errors, 0.99), percentile(errors, 1.0), meanSigned);
    std::printf("timer thread CPU while playing: %.2f s of %.1f s (%.2f%% of one core)\n", cpu, wall,
                100.0 * cpu / wall);
    return 0;
}
