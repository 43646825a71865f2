#include "audio/WaveformPeaks.h"

#include "audio/AudioFileReader.h"
#include "sys/Paths.h"
#include "wav/FileStream.h"
#include "wav/WavStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>

namespace {

// Spreads frames over the columns as they arrive: frame i belongs to column
// i * columns / frames.
class PeakAccumulator {
public:
    PeakAccumulator(WaveformPeaks& out, int columns, int64_t frames) : out_(out), frames_(frames) {
        out_.columns = columns;
        out_.frames = frames;
        out_.min.assign(columns, 0.0f);
        out_.max.assign(columns, 0.0f);
        nextColumnAt_ = frames > 0 ? boundary(1) : INT64_MAX;
    }

    // Adds interleaved float frames.
    void add(const float* samples, size_t frames, int channels) {
        for (size_t f = 0; f < frames; ++f, ++at_) {
            while (at_ >= nextColumnAt_ && column_ + 1 < out_.columns) {
                ++column_;
                nextColumnAt_ = boundary(column_ + 1);
            }
            float& lo = out_.min[column_];
            float& hi = out_.max[column_];
            for (int c = 0; c < channels; ++c) {
                float v = samples[f * channels + c];
                if (v < lo) lo = v;
                if (v > hi) hi = v;
            }
        }
    }

    int64_t seen() const { return at_; }

private:
    int64_t boundary(int column) const {
        // The first frame of `column`: ceil(column * frames / columns), without overflow for long files.
        return static_cast<int64_t>((static_cast<__int128>(column) * frames_ + out_.columns - 1) / out_.columns);
    }

    WaveformPeaks& out_;
    int64_t frames_;
    int64_t at_ = 0;
    int column_ = 0;
    int64_t nextColumnAt_;
};

// One sample of the WAV's own format as a float in -1..1, or false for a format not read here.
bool toFloat(const uint8_t* in, uint16_t tag, uint16_t bits, float& out) {
    if (tag == 3 && bits == 32) { std::memcpy(&out, in, 4); return true; }
    if (tag == 3 && bits == 64) { double d; std::memcpy(&d, in, 8); out = static_cast<float>(d); return true; }
    if (tag != 1) return false;
    switch (bits) {
    case 8: out = (static_cast<int>(in[0]) - 128) / 128.0f; return true;
    case 16: out = static_cast<int16_t>(in[0] | in[1] << 8) / 32768.0f; return true;
    case 24: {
        uint32_t bits24 = uint32_t{in[0]} << 8 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 24;
        out = static_cast<int32_t>(bits24) / 2147483648.0f;
        return true;
    }
    case 32: { int32_t v; std::memcpy(&v, in, 4); out = v / 2147483648.0f; return true; }
    default: return false;
    }
}

enum class WavRead { Done, NotWav, Failed };

WavRead readWavPeaks(const std::string& path, int columns, WaveformPeaks& out, std::string& error) {
    wav::FileStream file;
    if (!file.openForReading(path)) {
        error = std::strerror(errno);
        return WavRead::Failed;
    }
    wav::WavStream stream(&file);
    if (!stream.open()) return WavRead::NotWav;
    const wav::WaveFormat& format = stream.format();
    unsigned channels = format.channels, bytes = format.bitsPerSample / 8u;
    float probe;
    uint8_t zero[8] = {};
    if (channels == 0 || bytes == 0 || format.blockAlign != channels * bytes || !toFloat(zero, format.formatTag, format.bitsPerSample, probe))
        return WavRead::NotWav;
    int64_t frames = stream.size() / format.blockAlign;
    PeakAccumulator peaks(out, columns, frames);
    std::vector<uint8_t> raw(4096 * format.blockAlign);
    std::vector<float> samples(4096 * channels);
    while (peaks.seen() < frames) {
        uint32_t want = static_cast<uint32_t>(std::min<int64_t>(4096, frames - peaks.seen())) * format.blockAlign;
        uint32_t got = stream.read(raw.data(), want);
        size_t whole = got / format.blockAlign;
        if (whole == 0) break;
        for (size_t i = 0; i < whole * channels; ++i) toFloat(&raw[i * bytes], format.formatTag, format.bitsPerSample, samples[i]);
        peaks.add(samples.data(), whole, static_cast<int>(channels));
    }
    // A data chunk that claims more than the file holds: the file was cut short.
    if (peaks.seen() < frames) {
        error = "The file ends before its sound does (it is cut short).";
        return WavRead::Failed;
    }
    out.sampleRate = static_cast<int>(format.sampleRate);
    return WavRead::Done;
}

bool readDecodedPeaks(const std::string& path, int columns, WaveformPeaks& out, std::string& error) {
    const int rate = 44100, channels = 2;
    AudioFileReader reader;
    if (!reader.open(path, channels, rate, AudioFileReader::Sample::Float)) {
        error = "This is no audio file Tarn can read.";
        return false;
    }
    // The length is only an estimate before decoding, so the sound is first outlined in
    // blocks of frames (lowest and highest sample of each), a few blocks per column, and the
    // blocks are spread over the columns at the end. Long files stay small in memory.
    double seconds = reader.duration();
    int64_t block = seconds > 0 ? std::max<int64_t>(1, static_cast<int64_t>(seconds * rate) / (int64_t{columns} * 4)) : 64;
    std::vector<float> lows, highs;
    float lo = 0, hi = 0;
    int64_t inBlock = 0, frames = 0;
    std::vector<uint8_t> data;
    for (;;) {
        AudioFileReader::Status status = reader.read(data);
        if (status == AudioFileReader::Status::Error) { error = "The file could not be decoded to its end."; return false; }
        size_t count = data.size() / (sizeof(float) * channels);
        const float* samples = reinterpret_cast<const float*>(data.data());
        for (size_t f = 0; f < count; ++f) {
            lo = std::min({lo, samples[2 * f], samples[2 * f + 1]});
            hi = std::max({hi, samples[2 * f], samples[2 * f + 1]});
            if (++inBlock == block) { lows.push_back(lo); highs.push_back(hi); lo = hi = 0; inBlock = 0; }
        }
        frames += static_cast<int64_t>(count);
        if (status == AudioFileReader::Status::End) break;
    }
    if (inBlock) { lows.push_back(lo); highs.push_back(hi); }
    PeakAccumulator low(out, columns, static_cast<int64_t>(lows.size()));
    low.add(lows.data(), lows.size(), 1);
    std::vector<float> keepMin = out.min;
    WaveformPeaks high;
    PeakAccumulator up(high, columns, static_cast<int64_t>(highs.size()));
    up.add(highs.data(), highs.size(), 1);
    out.min = std::move(keepMin);
    out.max = std::move(high.max);
    out.frames = frames;
    out.sampleRate = rate;
    return true;
}

}  // namespace

bool computeWaveformPeaks(const std::string& path, int columns, WaveformPeaks& out, std::string& error) {
    out = WaveformPeaks{};
    switch (readWavPeaks(path, columns, out, error)) {
    case WavRead::Done: return true;
    case WavRead::Failed: return false;
    case WavRead::NotWav: break;
    }
    out = WaveformPeaks{};
    return readDecodedPeaks(path, columns, out, error);
}

// --- cache: "TARNPEAKS1\n", the key line, then columns, frames, rate and the floats.

namespace {
const char MAGIC[] = "TARNPEAKS1\n";

template <class T>
void put(std::string& bytes, const T& value) { bytes.append(reinterpret_cast<const char*>(&value), sizeof value); }

template <class T>
bool take(const std::string& bytes, size_t& at, T& value) {
    if (bytes.size() - at < sizeof value) return false;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    at += sizeof value;
    return true;
}
}  // namespace

bool WaveformPeaksCache::keyOf(const std::string& path, int columns, std::string& file, std::string& key) const {
    struct stat facts {};
    if (stat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode)) return false;
    key = path + '\n' + std::to_string(facts.st_size) + ' ' + std::to_string(facts.st_mtim.tv_sec) + '.' +
          std::to_string(facts.st_mtim.tv_nsec) + ' ' + std::to_string(columns) + '\n';
    char name[32];
    std::snprintf(name, sizeof name, "%016zx.peaks", std::hash<std::string>{}(path + '\n' + std::to_string(columns)));
    file = withSlash(folder_) + name;
    return true;
}

bool WaveformPeaksCache::load(const std::string& path, int columns, WaveformPeaks& out) const {
    std::string file, key, bytes;
    if (!keyOf(path, columns, file, key) || !readWholeFile(file, bytes)) return false;
    std::string head = MAGIC + key;
    if (bytes.compare(0, head.size(), head) != 0) return false;
    size_t at = head.size();
    int32_t count = 0, rate = 0;
    int64_t frames = 0;
    if (!take(bytes, at, count) || !take(bytes, at, frames) || !take(bytes, at, rate) || count != columns) return false;
    if (bytes.size() - at != 2 * sizeof(float) * static_cast<size_t>(count)) return false;
    out.columns = count;
    out.frames = frames;
    out.sampleRate = rate;
    out.min.resize(count);
    out.max.resize(count);
    std::memcpy(out.min.data(), bytes.data() + at, sizeof(float) * count);
    std::memcpy(out.max.data(), bytes.data() + at + sizeof(float) * count, sizeof(float) * count);
    return true;
}

void WaveformPeaksCache::store(const std::string& path, int columns, const WaveformPeaks& peaks) const {
    std::string file, key;
    if (!keyOf(path, columns, file, key) || !makeFolders(folder_)) return;
    std::string bytes = MAGIC + key;
    put(bytes, static_cast<int32_t>(peaks.columns));
    put(bytes, static_cast<int64_t>(peaks.frames));
    put(bytes, static_cast<int32_t>(peaks.sampleRate));
    bytes.append(reinterpret_cast<const char*>(peaks.min.data()), sizeof(float) * peaks.min.size());
    bytes.append(reinterpret_cast<const char*>(peaks.max.data()), sizeof(float) * peaks.max.size());
    writeFileAtomically(file, bytes);  // a cache that cannot be written only costs time
}

void WaveformPeaksThread::run() {
    WaveformPeaks peaks;
    if (cache_.load(path_, columns_, peaks)) {
        delegate_->peaksReady(job_, path_, peaks);
        return;
    }
    std::string error;
    if (!computeWaveformPeaks(path_, columns_, peaks, error)) {
        delegate_->peaksFailed(job_, path_, error);
        return;
    }
    cache_.store(path_, columns_, peaks);
    delegate_->peaksReady(job_, path_, peaks);
}
