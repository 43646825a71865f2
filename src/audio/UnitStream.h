#pragma once

#include "base/Thread.h"

#include <functional>
#include <string>

struct pa_simple;

// Opens a sound server stream in the units' format (44.1 kHz, 16-bit, stereo) with a
// latency of four 4096-byte buffers. The device is the sink or source the server
// names uid; an empty uid, or one the server does not know, takes the default.
// Null when no server takes the stream.
pa_simple* openUnitStream(bool playback, const std::string& uid);

constexpr size_t kUnitBufferBytes = 4096;
constexpr size_t kUnitBufferFrames = kUnitBufferBytes / 4;
constexpr int kUnitBuffers = 4;

// A device uid as the units keep it: its first 127 characters.
std::string truncatedUid(const std::string& uid);

// Puts the calling unit thread on a real-time schedule where the system allows it
// (the units' buffers are short); stays as it is otherwise.
void raiseUnitThreadPriority();

// The thread of a unit's or player's loop: the program's thread base running one function.
// Its owner joins it before anything the loop uses goes away.
class UnitThread : public Thread {
public:
    explicit UnitThread(std::function<void()> loop) : loop_(std::move(loop)) {}
    void run() override { loop_(); }
    // True on the loop's own thread while the loop runs (a loop may stop its own unit).
    bool isLoopThread() const { return isCurrentThread() && !finished(); }

private:
    std::function<void()> loop_;
};
