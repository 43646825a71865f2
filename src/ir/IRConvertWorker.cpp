#include "ir/IRConvertWorker.h"

#include "wav/FileStream.h"
#include "wav/WavStream.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace wav {

namespace {

constexpr unsigned kProgressIntervalMs = 100;
constexpr uint32_t kReadBlock = 64 * 1024;

// One sample of the given width as a double: PCM 8-bit unsigned, 16/24/32-bit signed, each
// scaled by 2^-(bits-1); IEEE float widened unchanged.
double decodeSample(const unsigned char* p, uint16_t tag, uint32_t bytes) {
    if (tag == kWaveFormatIeeeFloat) {
        float value;
        std::memcpy(&value, p, 4);
        return value;
    }
    switch (bytes) {
    case 1: return (static_cast<int>(p[0]) - 128) * (1.0 / 128.0);
    case 2: return static_cast<int16_t>(p[0] | (p[1] << 8)) * (1.0 / 32768.0);
    case 3: {
        int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                         static_cast<uint32_t>(p[2]) << 24) >> 8;
        return v * (1.0 / 8388608.0);
    }
    default: {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v * (1.0 / 2147483648.0);
    }
    }
}

// Bytes per sample the job can read for the format; 0 for any other width.
uint32_t readableWidth(uint16_t tag, uint16_t bits) {
    if (tag == kWaveFormatIeeeFloat) return bits == 32 ? 4 : 0;
    return (bits == 8 || bits == 16 || bits == 24 || bits == 32) ? bits / 8u : 0;
}

}  // namespace

IRConvertWorker::IRConvertWorker(int stereoProc, std::string path, std::string procId,
                                 std::unique_ptr<IIrConverterStrategy> strategy, std::string folder, Notifier notifier)
    : stereoProc_(stereoProc), path_(std::move(path)), procId_(std::move(procId)), thread_(this),
      strategy_(std::move(strategy)), folder_(std::move(folder)), notifier_(std::move(notifier)), timer_(this) {}

IRConvertWorker::~IRConvertWorker() {
    thread_.join();
    timer_.stop();
}

bool IRConvertWorker::startConvert() { return thread_.start(false) != 0; }

void IRConvertWorker::cancel() {
    if (strategy_) strategy_->cancel(1);
}

void IRConvertWorker::join() { thread_.join(); }

int IRConvertWorker::result() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return result_;
}

std::string IRConvertWorker::pathL() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return pathL_;
}

std::string IRConvertWorker::pathR() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return pathR_;
}

void IRConvertWorker::timerproc() {
    progress_.store(strategy_->progress());
    notifier_(procId_, Notice::Progress);
}

void IRConvertWorker::report(int code, const std::string& left, const std::string& right) {
    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        result_ = code;
        pathL_ = left;
        pathR_ = right;
    }
    notifier_(procId_, Notice::Result);
}

void IRConvertWorker::run() {
    if (!strategy_) return report(kIrFailedUnknown, "", "");
    if (path_.empty()) return report(kIrFailedInputFileNotFound, "", "");
    timer_.start(kProgressIntervalMs);
    int code = convert();
    timer_.stop();
    if (code != kIrSuccess) return report(code, "", "");
    progress_.store(strategy_->progress());
    notifier_(procId_, Notice::Progress);
    report(kIrSuccess, folder_ + "KRV" + procId_ + ".tmp", folder_ + "KRV" + procId_ + "_R.tmp");
}

int IRConvertWorker::convert() {
    std::vector<double> samples;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    size_t frames = 0;
    {
        // A zero byte would cut the path short: the file named would not be the one asked for.
        if (path_.find('\0') != std::string::npos) return kIrFailedInputFileFormatError;
        FileStream file;
        if (!file.openForReading(path_)) return kIrFailedInputFileFormatError;
        WavStream wav(&file);
        if (!wav.open()) return kIrFailedInputFileFormatError;
        const WaveFormat& format = wav.format();
        const uint16_t tag = wav.fileFormatTag();
        channels = format.channels;
        sampleRate = format.sampleRate;
        if ((tag != kWaveFormatPcm && tag != kWaveFormatIeeeFloat) || (channels != 1 && channels != 2))
            return kIrFailedInputFileFormatError;
        // No frame size, or a rate no recording is made at: the file describes no audio the
        // strategies could measure (and resampling 1 Hz to 48 kHz would only take long).
        if (format.blockAlign == 0 || sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate)
            return kIrFailedInputFileFormatError;
        frames = wav.size() / format.blockAlign;
        const size_t wanted = frames * channels;
        if (wanted > kMaxSamples) return kIrFailedInputFileFormatError;
        const uint32_t width = readableWidth(tag, format.bitsPerSample);
        if (wanted > 0 && width == 0) return kIrFailedUnknown;
        // Samples the file cannot hold are missing for sure: fail before allocating for them.
        if (uint64_t{wanted} * width > file.size()) return kIrFailedUnknown;
        samples.resize(wanted);
        std::vector<unsigned char> block(kReadBlock - kReadBlock % (width ? width : 1));
        size_t done = 0;
        while (done < wanted) {
            if (strategy_->isCanceled()) return kIrFailedCanceled;
            const auto count = static_cast<uint32_t>(std::min<uint64_t>(block.size() / width, wanted - done));
            const uint32_t got = wav.read(block.data(), count * width);
            for (uint32_t i = 0; i + width <= got; i += width)
                samples[done++] = decodeSample(block.data() + i, tag, width);
            if (got < count * width) return kIrFailedUnknown;
        }
    }  // the input is closed here

    if (strategy_->isCanceled()) return kIrFailedCanceled;
    strategy_->setChannels(channels);
    strategy_->setSampleRate(static_cast<int>(std::min<uint32_t>(sampleRate, INT32_MAX)));
    strategy_->setFrameCount(frames);
    strategy_->setInput(samples.data());
    if (strategy_->isCanceled()) return kIrFailedCanceled;
    strategy_->process(stereoProc_);
    if (strategy_->isCanceled()) return kIrFailedCanceled;

    const std::string left = folder_ + "KRV" + procId_ + ".tmp";
    const std::string right = folder_ + "KRV" + procId_ + "_R.tmp";
    const size_t length = strategy_->outputLength();
    auto writeChannel = [&](const std::string& target, int channel) {
        FileStream out;
        if (!out.createExclusive(target)) return false;
        std::vector<float> values(length);
        for (size_t i = 0; i < length; ++i) values[i] = strategy_->output(i, channel);
        const auto bytes = static_cast<uint32_t>(length * sizeof(float));
        bool ok = out.write(values.data(), bytes) == bytes;
        ok = out.close() && ok;
        if (!ok) ::unlink(target.c_str());  // a short file is no output
        return ok;
    };
    // Files written before a failure are removed: the page hears of no path on failure.
    if (!writeChannel(left, 0)) return kIrFailedOutputFileError;
    if (strategy_->isCanceled()) {
        ::unlink(left.c_str());
        return kIrFailedCanceled;
    }
    if (!writeChannel(right, 1)) {
        ::unlink(left.c_str());
        return kIrFailedOutputFileError;
    }
    return kIrSuccess;
}

}  // namespace wav
