#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

// One sample player's playback stream on the sound server: 16-bit samples in the
// chosen sink's own channel count and rate, a short buffer, and a wait for room that
// the render thread blocks on (the server's write requests wake it).
class SamplePlayerOutput {
public:
    SamplePlayerOutput() = default;
    ~SamplePlayerOutput();
    SamplePlayerOutput(const SamplePlayerOutput&) = delete;
    SamplePlayerOutput& operator=(const SamplePlayerOutput&) = delete;

    // Connects to the sink named sinkName (the default sink when empty or unknown); a
    // stream on a chosen sink stays there (it ends with the sink instead of moving).
    // False when no server or sink takes the stream; nothing is left open then.
    bool open(const std::string& sinkName);
    void close();
    bool isOpen() const { return stream_ != nullptr; }

    int channels() const { return channels_; }
    int rate() const { return rate_; }
    // Frames the render thread produces per wake-up.
    uint32_t periodFrames() const { return periodFrames_; }
    // The name of the sink the stream plays to.
    const std::string& sinkName() const { return sink_; }

    // Blocks until a period's worth of room is free; false when the stream failed or
    // interrupt() was called.
    bool waitForRoom();
    // Queues frames (channels × 16 bits each); false when the server refused them.
    bool write(const int16_t* samples, uint32_t frames);
    // Wakes a waiting render thread and makes waitForRoom() answer false from now on.
    void interrupt();
    // Underruns the server reported since open.
    uint32_t underruns() const { return underruns_; }

    // Length of one period and of the whole buffer, in seconds.
    static constexpr double kPeriodSeconds = 0.02;
    static constexpr int kPeriods = 4;

private:
    bool connectContext();
    bool learnSink(const std::string& name);
    bool connectStream(const std::string& device, bool fixed);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    int channels_ = 0;
    int rate_ = 0;
    uint32_t periodFrames_ = 0;
    std::string sink_;
    std::atomic<bool> interrupted_{false};
    std::atomic<uint32_t> underruns_{0};
};
