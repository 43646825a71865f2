#pragma once

#include "audio/AudioModuleFixture.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The sampler module against a private sound server; the sink's monitor is recorded.
class SamplerFixture : public WithSoundServer, public AudioModuleFixture {
protected:
    // A stereo sine at half scale.
    std::string tone(double seconds, int hertz = 1000, const std::string& name = "") {
        const std::string path = file(name.empty() ? "tone" + std::to_string(hertz) + "-" + std::to_string(seconds) + ".wav" : name);
        EXPECT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + path + "' synth " + std::to_string(seconds) + " sine " +
                        std::to_string(hertz) + " vol 0.5"),
                  0);
        return path;
    }
    std::string capturePath() { return file("capture-" + std::to_string(++captures_) + ".raw"); }
    static double number(const std::string& text) {
        EXPECT_TRUE(text.size() > 1 && (text[0] == 'f' || text[0] == 'd')) << text;
        return text.size() > 1 ? std::atof(text.c_str() + 1) : 0;
    }
    Json status() { return callJson({"$$sampler_status"}); }
    int state(int player) { return status()[player]["state"].get<int>(); }
    // The "eof" events of a player so far.
    std::vector<EventCollector::Event> eofs(int player) {
        events.drainFor(std::chrono::milliseconds(20));
        std::vector<EventCollector::Event> found;
        for (const auto& e : events.of("sampler", std::to_string(player)))
            if (e[1] == "eof") found.push_back(e);
        return found;
    }
    bool waitForEof(int player, int seconds = 20) {
        return events.waitFor(
            [&](const EventCollector::Event& e) {
                return e.size() >= 4 && e[0] == "sampler" && e[1] == "eof" && e[2] == std::to_string(player);
            },
            std::chrono::seconds(seconds));
    }
    // Runs the UI thread's main loop (endpoint changes reach the players there) until done.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            while (g_main_context_iteration(nullptr, FALSE)) {}
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    int captures_ = 0;
};

// The left channel's envelope: the peak over each window of frames.
inline std::vector<double> envelope(const std::vector<int16_t>& interleaved, size_t window) {
    std::vector<double> peaks;
    for (size_t f = 0; f + window <= interleaved.size() / 2; f += window) {
        int peak = 0;
        for (size_t i = f; i < f + window; ++i) peak = std::max(peak, std::abs(static_cast<int>(interleaved[2 * i])));
        peaks.push_back(peak);
    }
    return peaks;
}

// Seconds of sound in a recording: the frames of the 10 ms windows whose peak is above the
// noise floor, less the gaps a busy machine left in them (runs of eight or more silent
// frames, as withoutGaps below). Counting whole windows would add up to a window for each
// gap, which splits the sound it falls into in two.
inline double soundingSeconds(const std::vector<int16_t>& interleaved) {
    const size_t window = 441;
    size_t sounding = 0;
    for (size_t w = 0; w + window <= interleaved.size() / 2; w += window) {
        int peak = 0;
        size_t frames = 0, run = 0;
        for (size_t f = w; f < w + window; ++f) {
            const int left = interleaved[2 * f], right = interleaved[2 * f + 1];
            peak = std::max(peak, std::abs(left));
            if (left == 0 && right == 0) {
                ++run;
                continue;
            }
            frames += 1 + (run < 8 ? run : 0);
            run = 0;
        }
        if (peak >= 64) sounding += frames + (run < 8 ? run : 0);
    }
    return sounding / 44100.0;
}

// The recording without runs of eight or more silent frames (gaps of an underrun).
inline std::vector<int16_t> withoutGaps(const std::vector<int16_t>& interleaved) {
    std::vector<int16_t> kept;
    const size_t frames = interleaved.size() / 2;
    for (size_t f = 0; f < frames;) {
        size_t run = 0;
        while (f + run < frames && interleaved[2 * (f + run)] == 0 && interleaved[2 * (f + run) + 1] == 0) ++run;
        const size_t copy = run == 0 ? 1 : (run < 8 ? run : 0);
        kept.insert(kept.end(), interleaved.begin() + 2 * f, interleaved.begin() + 2 * (f + copy));
        f += run == 0 ? 1 : run;
    }
    return kept;
}

// Frame indexes of the last sample at or above the level, or −1.
inline long lastFrameAbove(const std::vector<int16_t>& interleaved, int level) {
    for (long f = static_cast<long>(interleaved.size() / 2) - 1; f >= 0; --f)
        if (std::abs(static_cast<int>(interleaved[2 * f])) >= level) return f;
    return -1;
}
