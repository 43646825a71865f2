#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One sound server endpoint: a sink (render) or a source (capture).
struct AudioDeviceInfo {
    std::string name;  // the description a user sees
    std::string uid;   // the server's name for it
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint16_t bitDepth = 0;
    bool current = false;  // the server's default for its direction
};

enum class AudioDirection { Capture, Render };

// The server's sources (monitors of sinks left out) or sinks, in the server's order.
// Empty when no sound server answers.
std::vector<AudioDeviceInfo> listAudioEndpoints(AudioDirection direction);
