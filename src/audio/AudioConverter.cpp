#include "audio/AudioConverter.h"

#include "audio/AudioFileReader.h"
#include "audio/AudioFileWriter.h"
#include "audio/WaveChunkFile.h"
#include "sys/Paths.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Packs 32-bit samples into their upper three bytes (24-bit little-endian).
void packTo24(std::vector<uint8_t>& data) {
    size_t samples = data.size() / 4;
    uint8_t* p = data.data();
    for (size_t i = 0; i < samples; ++i) {
        p[3 * i] = p[4 * i + 1];
        p[3 * i + 1] = p[4 * i + 2];
        p[3 * i + 2] = p[4 * i + 3];
    }
    data.resize(samples * 3);
}

void tell(const ConversionProgress& progress, const AudioFileReader& reader) {
    if (!progress) return;
    double fraction = reader.fractionRead();
    if (fraction >= 0) progress(fraction);
}

bool convertToWav(const std::string& source, const std::string& output, const wav::WaveFormat& target,
                  const ConversionProgress& progress) {
    AudioFileReader::Sample sample;
    if (target.formatTag == wav::kWaveFormatIeeeFloat) {
        if (target.bitsPerSample != 32) return false;
        sample = AudioFileReader::Sample::Float;
    } else {
        switch (target.bitsPerSample) {
        case 8: sample = AudioFileReader::Sample::U8; break;
        case 16: sample = AudioFileReader::Sample::S16; break;
        case 24:
        case 32: sample = AudioFileReader::Sample::S32; break;
        default: return false;
        }
    }
    AudioFileReader reader;
    reader.preferStudioResampling(target.formatTag == wav::kWaveFormatIeeeFloat ? 0 : target.bitsPerSample);
    if (!reader.open(source, target.channels, static_cast<int>(target.sampleRate), sample)) return false;
    WaveChunkFile wav;
    if (!wav.openWrite(output, target)) return false;
    std::vector<uint8_t> block;
    for (;;) {
        AudioFileReader::Status status = reader.read(block);
        if (status == AudioFileReader::Status::End) break;
        if (status == AudioFileReader::Status::Error) return wav.close(), false;
        if (target.bitsPerSample == 24) packTo24(block);
        if (!wav.write(block.data(), block.size())) return wav.close(), false;
        tell(progress, reader);
    }
    return wav.close();
}

bool convertToCompressed(const std::string& source, const std::string& output, const wav::WaveFormat& target,
                         const ConversionProgress& progress) {
    const bool aac = target.formatTag == wav::kWaveFormatAac;
    AudioFileReader reader;
    if (!reader.open(source, target.channels, static_cast<int>(target.sampleRate), AudioFileReader::Sample::Float))
        return false;
    AudioFileWriter writer;
    if (!writer.open(output, aac ? "ipod" : "mp3", aac ? "aac" : "libmp3lame", target.channels,
                     static_cast<int>(target.sampleRate), int64_t(target.avgBytesPerSec) * 8,
                     AudioFileWriter::Input::Float))
        return false;
    std::vector<uint8_t> block;
    for (;;) {
        AudioFileReader::Status status = reader.read(block);
        if (status == AudioFileReader::Status::End) break;
        if (status == AudioFileReader::Status::Error) return writer.finish(), false;
        if (!writer.write(block.data(), static_cast<int>(block.size() / reader.bytesPerFrame())))
            return writer.finish(), false;
        tell(progress, reader);
    }
    return writer.finish();
}

}  // namespace

std::string makeTemporaryFile(const std::string& suffix) {
    std::string pattern = temporaryFolder() + "___XXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0) return std::string();
    ::close(fd);
    return std::string(name.data());
}

bool convertAudioFile(const std::string& source, const std::string& destination, const wav::WaveFormat& target,
                      const ConversionProgress& progress) {
    const bool wav = target.formatTag == wav::kWaveFormatPcm || target.formatTag == wav::kWaveFormatIeeeFloat;
    if (!wav && target.formatTag != wav::kWaveFormatAac && target.formatTag != wav::kWaveFormatMp3) return false;
    if (destination.empty()) return false;
    // A hidden sibling of the destination, so the final rename stays on one file system.
    std::string folder = folderOf(destination);
    std::string pattern = folder + ".~" + nameOf(destination) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return false;
    ::close(fd);
    const std::string partial(name.data());
    bool ok = wav ? convertToWav(source, partial, target, progress) : convertToCompressed(source, partial, target, progress);
    if (ok) {
        // mkstemp made the file private; give it the permissions of any new file.
        mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::chmod(partial.c_str(), 0666 & ~mask) == 0 && ::rename(partial.c_str(), destination.c_str()) == 0;
    }
    if (!ok) ::unlink(partial.c_str());
    return ok;
}
