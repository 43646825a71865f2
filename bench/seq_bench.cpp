// Sequencer timing: a 60 s file (16th notes at 120 bpm) played to the application's MIDI output
// and a JACK capture client behind it; the error of each note onset against the file's time
// (from the first onset) as it leaves the sequencer and as it arrives, and the CPU time of the
// sequencer's timer thread while playing.
// Build: cmake --build build --target seq_bench; run: build/tests/seq_bench
#include "midi/SmfBuilder.h"
#include "modules/NativeObjects.h"
#include "midi/MIDIClient.h"
#include "midi/MIDIClock.h"
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

// Plays to the application's MIDI output as the seq module does, noting when each note-on
// leaves the sequencer (on the MIDI clock).
class TimingDelegate : public SequencerDelegate {
public:
    explicit TimingDelegate(MIDIOutputPort* port) : port_(port) {}
    void sequencerOutput(const std::string& song, const std::string&) override {
        uint64_t now = midiClockMicroseconds();
        for (size_t i = 0; i + 2 < song.size(); ++i)
            if (uint8_t(song[i]) == 0x90 && song[i + 2] != 0) sent.push_back(now);
        port_->send(reinterpret_cast<const uint8_t*>(song.data()), song.size());
    }
    std::vector<uint64_t> sent;

private:
    MIDIOutputPort* port_;
};

// Each time's distance from its place on the 125 ms grid of the first, in ms.
void report(const char* what, const std::vector<uint64_t>& times) {
    std::vector<double> errors;
    double meanSigned = 0;
    for (size_t i = 0; i < times.size(); ++i) {
        double error = double(times[i] - times[0]) / 1000.0 - double(i) * 125.0;
        meanSigned += error;
        errors.push_back(std::fabs(error));
    }
    meanSigned /= double(times.size());
    std::printf("%s: %zu onsets, error median %.2f ms, p99 %.2f ms, max %.2f ms, mean signed %+.2f ms\n", what,
                times.size(), percentile(errors, 0.5), percentile(errors, 0.99), percentile(errors, 1.0), meanSigned);
}

}  // namespace

int main() {
    JackServer jack;
    TempHome home;
    TarnAppWebViewController controller;
    JackCapture capture("seq-bench-capture");
    std::string endpoint;
    for (int i = 0; i < 100 && endpoint.empty(); ++i) {
        std::string list = controller.invokeNative({"$$midi_outendpoints"});
        auto at = list.find("{\"MIDIDeviceNameKey\":\"seq-bench-capture\"");
        if (at != std::string::npos)
            endpoint = list.substr(at, list.find('}', at) - at + 1);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (endpoint.empty()) {
        std::fprintf(stderr, "the capture client is not listed\n");
        return 1;
    }
    controller.invokeNative({"$$midi_outconnect", endpoint});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    TimingDelegate delegate(controller.nativeObjects().midiClient().outputPort());
    Sequencer sequencer;
    sequencer.setDelegate(&delegate);
    sequencer.load(sixteenths());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    capture.clear();
    delegate.sent.clear();

    sequencer.play(false);
    pid_t timerThread = sequencer.timerThreadId();
    double cpuBefore = threadCpuSeconds(timerThread);
    auto start = std::chrono::steady_clock::now();
    capture.waitFor([](const auto& m) { return withStatus(m, 0x90).size() >= size_t(kNotes); },
                    std::chrono::seconds(75));
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = threadCpuSeconds(timerThread) - cpuBefore;
    sequencer.stop();

    std::vector<uint64_t> arrived;
    for (const auto& message : withStatus(capture.messages(), 0x90)) arrived.push_back(message.time);
    if (arrived.size() < 2 || delegate.sent.size() < 2) {
        std::fprintf(stderr, "only %zu onsets arrived\n", arrived.size());
        return 1;
    }
    std::printf("a 60 s file of 16th notes at 120 bpm, JACK dummy backend at 128 frames, 44.1 kHz (2.9 ms)\n");
    report("sent by the sequencer", delegate.sent);
    report("arrived at the capture client", arrived);
    std::printf("timer thread CPU while playing: %.2f s of %.1f s (%.2f%% of one core)\n", cpu, wall,
                100.0 * cpu / wall);
    return 0;
}
