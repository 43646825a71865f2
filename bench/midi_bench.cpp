// MIDI throughput and latency: the output parser alone, sending through a port, and the
// round trip of an edit-mode read through the bridge, JACK and the looper simulator.
// Build: cmake --build build --target midi_bench; run: build/tests/midi_bench
#include "midi/MIDIClient.h"
#include "midi/MIDIOutputParser.h"

#include "midi/jack/MIDITestServers.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Notes with running status and SysEx messages, about a megabyte.
std::vector<uint8_t> traffic() {
    std::vector<uint8_t> bytes;
    while (bytes.size() < (1u << 20)) {
        bytes.insert(bytes.end(), {0x90, 0x3C, 0x40, 0x3E, 0x40, 0x40, 0x40});
        bytes.push_back(0xF0);
        for (int i = 0; i < 120; ++i) bytes.push_back(i & 0x7F);
        bytes.push_back(0xF7);
    }
    return bytes;
}

class NullOutput : public MIDIOutputEndpoint {
public:
    bool open(const MIDIEndpointInfo&) override { return true; }
    bool isOpen() const override { return true; }
    int sendShort(const uint8_t*, size_t) override { ++messages; return 0; }
    int sendLong(const uint8_t*, size_t) override { ++messages; return 0; }
    size_t messages = 0;
};

void benchParser(const std::vector<uint8_t>& bytes) {
    MIDIOutputParser parser;
    size_t messages = 0;
    auto start = Clock::now();
    for (int round = 0; round < 20; ++round)
        parser.parse(bytes.data(), bytes.size(), [&](const uint8_t*, size_t, bool) { ++messages; });
    double s = seconds(Clock::now() - start);
    std::printf("parser: %.0f MB/s, %.2f M messages/s\n", 20 * bytes.size() / s / 1e6, messages / s / 1e6);
}

void benchPortSend(const std::vector<uint8_t>& bytes) {
    MIDIClient client;
    auto* output = new NullOutput;
    client.outputPort()->attach("null", std::unique_ptr<MIDIOutputEndpoint>(output));
    auto start = Clock::now();
    for (int round = 0; round < 20; ++round) client.outputPort()->send(bytes.data(), bytes.size());
    double s = seconds(Clock::now() - start);
    std::printf("port send (one connection): %.0f MB/s, %.2f M messages/s\n", 20 * bytes.size() / s / 1e6,
                output->messages / s / 1e6);
}

void benchRoundTrip() {
    JackServer jack;
    TempHome home;
    LooperSim sim("Bench Looper", "00000000");
    TarnAppWebViewController controller;
    auto endpoint = [&](const char* list) {
        std::string text = controller.invokeNative({list}).substr(1);
        auto at = text.find("{\"MIDIDeviceNameKey\":\"Bench Looper\"");
        return text.substr(at, text.find('}', at) - at + 1);
    };
    controller.invokeNative({"$$midi_inconnect", endpoint("$$midi_inendpoints")});
    controller.invokeNative({"$$midi_outconnect", endpoint("$$midi_outendpoints")});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::vector<double> times;
    for (int i = 0; i < 100; ++i) {
        while (!controller.takeEvent().empty()) {
        }
        auto start = Clock::now();
        controller.invokeNative({"$$midi_send", "F07D1000000000117F7000000000000110F7"});
        for (;;) {
            std::string event = controller.takeEvent();
            if (event.rfind("midi\fmessage\fF07D", 0) == 0) break;
            if (Clock::now() - start > std::chrono::seconds(2)) break;
            if (event.empty()) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        times.push_back(seconds(Clock::now() - start) * 1000);
    }
    std::sort(times.begin(), times.end());
    std::printf("edit-mode read round trip (JACK dummy, 128 frames at 44.1 kHz): median %.2f ms, 90%% %.2f ms, "
                "max %.2f ms\n",
                times[50], times[90], times.back());
}

}  // namespace

int main() {
    auto bytes = traffic();
    benchParser(bytes);
    benchPortSend(bytes);
    benchRoundTrip();
    return 0;
}
