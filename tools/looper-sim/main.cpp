// looper-sim: a looper's MIDI side for tests. See README.md for the command line and output.
#include "LooperDevice.h"
#include "SimPorts.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::atomic<bool> stopping{false};

void stop(int) { stopping = true; }

int usage() {
    std::fprintf(stderr,
                 "usage: looper-sim --name NAME --model HEX [--busy-ms N] [--edit-mode 0|1] [--api jack|alsa] [--stream MS]\n"
                 "                  [--alsa-port NAME | --rawmidi hw:X,0,0]\n");
    return 2;
}

void say(const char* what, const std::vector<uint8_t>& bytes) {
    std::printf("%s %s\n", what, hexText(bytes).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string name, model, api, alsaPort, rawmidi;
    long busyMs = 0, editMode = 0, streamMs = 0;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) return usage();
        std::string value = argv[++i];
        if (option == "--name") name = value;
        else if (option == "--model") model = value;
        else if (option == "--busy-ms") busyMs = std::strtol(value.c_str(), nullptr, 10);
        else if (option == "--edit-mode") editMode = std::strtol(value.c_str(), nullptr, 10);
        else if (option == "--api") api = value;
        else if (option == "--alsa-port") alsaPort = value;
        else if (option == "--rawmidi") rawmidi = value;
        else if (option == "--stream") streamMs = std::strtol(value.c_str(), nullptr, 10);
        else return usage();
    }
    std::vector<uint8_t> modelId;
    if (name.empty() || !parseHex(model, modelId) || modelId.empty() || busyMs < 0 || streamMs < 0 || editMode < 0 || editMode > 1)
        return usage();
    if (api.empty()) {
        const char* wanted = std::getenv("TARN_MIDI_API");
        api = (wanted && std::strcmp(wanted, "jack") == 0) || access("/dev/snd/seq", R_OK | W_OK) != 0 ? "jack" : "alsa";
    }

    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);
    Inbox inbox;
    std::string error;
    std::unique_ptr<SimPorts> ports;
    if (!rawmidi.empty()) ports = openRawMidiPorts(rawmidi, inbox, error);
    else if (!alsaPort.empty()) ports = attachAlsaPorts(alsaPort, inbox, error);
    else ports = api == "alsa" ? openAlsaPorts(name, inbox, error) : openJackPorts(name, inbox, error);
    if (!ports) {
        std::fprintf(stderr, "looper-sim: %s\n", error.c_str());
        return 1;
    }
    LooperDevice device(modelId, std::chrono::milliseconds(busyMs), static_cast<uint8_t>(editMode));
    std::printf("ready %s\n", name.c_str());
    std::fflush(stdout);

    uint8_t shownMode = device.editMode();
    std::vector<uint8_t> message;
    // --stream: a note and a short SysEx every MS milliseconds, unprinted, as a device that
    // never stops talking (for tests that open and close connections while it sends).
    const std::vector<uint8_t> streamed[] = {{0x90, 0x3C, 0x40}, {0xF0, 0x7D, 0x10, 0x00, 0x01, 0x02, 0x03, 0xF7}};
    auto nextStream = std::chrono::steady_clock::now();
    while (!stopping) {
        if (ports->lost()) {
            std::fprintf(stderr, "looper-sim: the MIDI device went away\n");
            return 1;
        }
        if (streamMs > 0 && std::chrono::steady_clock::now() >= nextStream) {
            for (const auto& m : streamed) ports->send(m);
            nextStream += std::chrono::milliseconds(streamMs);
        }
        if (inbox.pop(message, streamMs > 0 ? 1 : 20)) {
            say("recv", message);
            for (const auto& answer : device.receive(message)) {
                ports->send(answer);
                say("sent", answer);
            }
        }
        uint8_t mode = device.editMode();
        if (mode != shownMode) {
            std::printf("mode %d\n", mode);
            std::fflush(stdout);
            shownMode = mode;
        }
    }
    return 0;
}
