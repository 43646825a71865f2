#include "audio/AudioSampleJobs.h"

#include "audio/AudioConverter.h"
#include "audio/AudioFileInfo.h"
#include "audio/WaveChunkFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

constexpr size_t kFramesPerBlock = 16384;

// Removes the file it names when it goes out of scope.
struct RemovedAfterwards {
    std::string path;
    ~RemovedAfterwards() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

// Opens the source as a WAV of PCM or float samples, converting a compressed or
// otherwise unreadable source into a temporary 16-bit WAV first.
bool openSamples(const std::string& source, WaveChunkFile& wav, RemovedAfterwards& temporary) {
    AudioFileInfo info = inspectAudioFile(source);
    if (!info.readable) return false;
    const uint16_t tag = info.format.formatTag;
    if ((tag == wav::kWaveFormatPcm || tag == wav::kWaveFormatIeeeFloat) && wav.openRead(source)) {
        const wav::WaveFormat& f = wav.format();
        if ((f.formatTag == wav::kWaveFormatPcm || f.formatTag == wav::kWaveFormatIeeeFloat) && f.channels > 0 &&
            f.blockAlign == f.channels * (f.bitsPerSample / 8) && f.bitsPerSample % 8 == 0)
            return true;
        wav.close();
    }
    temporary.path = makeTemporaryFile(".wav");
    if (temporary.path.empty()) return false;
    wav::WaveFormat pcm = wav::pcmFormat(wav::kWaveFormatPcm, info.format.channels, info.format.sampleRate, 16);
    return convertAudioFile(source, temporary.path, pcm) && wav.openRead(temporary.path);
}

void removeAll(const std::vector<std::string>& paths) {
    for (const auto& path : paths) ::unlink(path.c_str());
}

}  // namespace

bool splitAudioFile(const std::string& source, const std::vector<std::string>& outputs) {
    if (outputs.empty()) return false;
    RemovedAfterwards temporary;
    WaveChunkFile in;
    if (!openSamples(source, in, temporary)) return false;
    const wav::WaveFormat src = in.format();
    size_t k = src.channels / outputs.size();
    if (k == 0) return false;
    k = std::min<size_t>(k, 2);
    const size_t bytesPerSample = src.bitsPerSample / 8;

    wav::WaveFormat outFormat = src;
    outFormat.channels = static_cast<uint16_t>(k);
    outFormat.blockAlign = static_cast<uint16_t>(k * bytesPerSample);
    outFormat.avgBytesPerSec = outFormat.blockAlign * src.sampleRate;

    std::vector<std::unique_ptr<WaveChunkFile>> files;
    bool ok = true;
    for (const auto& path : outputs) {
        files.push_back(std::make_unique<WaveChunkFile>());
        if (!files.back()->openWrite(path, outFormat)) ok = false;
    }
    std::vector<uint8_t> block(src.blockAlign * kFramesPerBlock);
    std::vector<uint8_t> part(outFormat.blockAlign * kFramesPerBlock);
    while (ok) {
        long got = in.read(block.data(), block.size());
        if (got < 0) ok = false;
        if (got <= 0) break;
        const size_t frames = static_cast<size_t>(got) / src.blockAlign;
        for (size_t j = 0; j < files.size() && ok; ++j) {
            const size_t offset = j * k * bytesPerSample;
            for (size_t f = 0; f < frames; ++f)
                memcpy(&part[f * outFormat.blockAlign], &block[f * src.blockAlign + offset], outFormat.blockAlign);
            ok = files[j]->write(part.data(), frames * outFormat.blockAlign);
        }
    }
    for (auto& file : files) ok = file->close() && ok;
    if (!ok) removeAll(outputs);
    return ok;
}

bool reverseAudioFile(const std::string& source, const std::string& output) {
    RemovedAfterwards temporary;
    WaveChunkFile in;
    if (!openSamples(source, in, temporary)) return false;
    const wav::WaveFormat format = in.format();
    const size_t frameBytes = format.blockAlign;
    const size_t blockBytes = frameBytes * kFramesPerBlock;

    // The data is copied into a scratch file first so that it can be walked backwards
    // whatever the source's layout.
    RemovedAfterwards scratch{makeTemporaryFile(".dat")};
    if (scratch.path.empty()) return false;
    FILE* data = fopen(scratch.path.c_str(), "w+b");
    if (!data) return false;
    std::vector<uint8_t> block(blockBytes);
    bool ok = true;
    uint64_t total = 0;
    for (;;) {
        long got = in.read(block.data(), block.size());
        if (got < 0) ok = false;
        if (got <= 0) break;
        if (fwrite(block.data(), 1, static_cast<size_t>(got), data) != static_cast<size_t>(got)) {
            ok = false;
            break;
        }
        total += static_cast<uint64_t>(got);
    }
    in.close();
    total -= total % frameBytes;  // a trailing partial frame is not a frame

    const wav::WaveFormat& outFormat = format;
    WaveChunkFile out;
    const bool created = ok && fflush(data) == 0 && out.openWrite(output, outFormat);
    ok = ok && created;
    uint64_t end = total;
    while (ok && end > 0) {
        const size_t size = static_cast<size_t>(std::min<uint64_t>(end, blockBytes));
        end -= size;
        if (fseeko(data, static_cast<off_t>(end), SEEK_SET) != 0 || fread(block.data(), 1, size, data) != size) {
            ok = false;
            break;
        }
        const size_t frames = size / frameBytes;
        for (size_t a = 0, b = frames - 1; a < b; ++a, --b)
            std::swap_ranges(&block[a * frameBytes], &block[a * frameBytes] + frameBytes, &block[b * frameBytes]);
        ok = out.write(block.data(), size);
    }
    fclose(data);
    ok = out.close() && ok;
    if (!ok && created) ::unlink(output.c_str());
    return ok;
}
