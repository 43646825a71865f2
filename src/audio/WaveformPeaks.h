#pragma once

#include "base/Thread.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The outline of a sound for drawing: per column, the lowest and highest sample of any
// channel (-1 to 1) over that column's share of the frames.
struct WaveformPeaks {
    int columns = 0;
    std::vector<float> min, max;
    int64_t frames = 0;
    int sampleRate = 0;
};

// Reads a file's peaks: WAV files directly, anything else through FFmpeg (at 44.1 kHz).
// False with a reason in plain words when the file cannot be read to its end.
bool computeWaveformPeaks(const std::string& path, int columns, WaveformPeaks& out, std::string& error);

// Peaks kept on disk under folder, one file per path, keyed by the file's size and
// modification time and the column count; written atomically.
class WaveformPeaksCache {
public:
    explicit WaveformPeaksCache(std::string folder) : folder_(std::move(folder)) {}
    bool load(const std::string& path, int columns, WaveformPeaks& out) const;
    void store(const std::string& path, int columns, const WaveformPeaks& peaks) const;

private:
    // The cache's file name for path and the key that must match inside it; false when
    // the file cannot be looked at.
    bool keyOf(const std::string& path, int columns, std::string& file, std::string& key) const;
    std::string folder_;
};

class WaveformPeaksDelegate {
public:
    virtual ~WaveformPeaksDelegate() = default;
    virtual void peaksReady(int /*job*/, const std::string& /*path*/, const WaveformPeaks& /*peaks*/) {}
    virtual void peaksFailed(int /*job*/, const std::string& /*path*/, const std::string& /*error*/) {}
};

// One peaks request on its own thread: the cache first, else the file (then cached).
class WaveformPeaksThread : public Thread {
public:
    WaveformPeaksThread(std::shared_ptr<WaveformPeaksDelegate> delegate, std::string cacheFolder, int job,
                        std::string path, int columns)
        : delegate_(std::move(delegate)), cache_(std::move(cacheFolder)), job_(job), path_(std::move(path)),
          columns_(columns) {}
    void run() override;

private:
    std::shared_ptr<WaveformPeaksDelegate> delegate_;
    WaveformPeaksCache cache_;
    int job_;
    std::string path_;
    int columns_;
};
