#include "audio/WaveChunkFile.h"

#include "wav/FileStream.h"
#include "wav/WavStream.h"

#include <algorithm>
#include <limits>

namespace {

// A WAV whose "fmt " chunk ends in an extra-size field of 0 (18 bytes in all), as the
// extended record that other programs expect of these files has it.
class ExtendedFormatWavStream : public wav::WavStream {
public:
    explicit ExtendedFormatWavStream(wav::DataStream* base) : WavStream(base) {}

protected:
    bool onWriteFormatExtension(wav::RiffChunkStream* fmt) override {
        const uint16_t noExtraBytes = 0;
        return fmt->write(&noExtraBytes, 2) == 2;
    }
};

}  // namespace

WaveChunkFile::WaveChunkFile() = default;

WaveChunkFile::~WaveChunkFile() {
    wav_.reset();
    file_.reset();
}

bool WaveChunkFile::openRead(const std::string& path) {
    if (file_) return false;
    auto file = std::make_unique<wav::FileStream>();
    if (!file->openForReading(path)) return false;
    auto stream = std::make_unique<wav::WavStream>(file.get());
    stream->setWordAligned(true);
    if (!stream->open() || stream->format().blockAlign == 0) return false;
    format_ = stream->format();
    // A size beyond the end of the file (an unfinished recording) means "up to the end".
    const uint64_t start = file->position();
    dataSize_ = std::min<uint64_t>(stream->size(), file->size() > start ? file->size() - start : 0);
    dataPos_ = 0;
    writing_ = false;
    file_ = std::move(file);
    wav_ = std::move(stream);
    return true;
}

bool WaveChunkFile::openWrite(const std::string& path, const wav::WaveFormat& format) {
    if (file_) return false;
    file_ = std::make_unique<wav::FileStream>();
    if (!file_->createTruncating(path)) {
        file_.reset();
        return false;
    }
    writing_ = true;
    format_ = format;
    dataSize_ = 0;
    wav_ = std::make_unique<ExtendedFormatWavStream>(file_.get());
    wav_->setWordAligned(true);
    if (!wav_->create(format)) failed_ = true;
    return !failed_;
}

long WaveChunkFile::read(void* buffer, size_t size) {
    if (!file_ || writing_) return -1;
    uint64_t left = dataSize_ - dataPos_;
    size = static_cast<size_t>(std::min<uint64_t>({size, left, std::numeric_limits<uint32_t>::max()}));
    if (size == 0) return 0;
    uint32_t got = wav_->read(buffer, static_cast<uint32_t>(size));
    dataPos_ += got;
    return static_cast<long>(got);
}

bool WaveChunkFile::write(const void* data, size_t size) {
    if (!file_ || !writing_ || failed_) return false;
    // RIFF sizes are 32-bit; a larger file cannot be described.
    if (size && (size > std::numeric_limits<uint32_t>::max() ||
                 wav_->write(data, static_cast<uint32_t>(size)) != size)) {
        failed_ = true;
        return false;
    }
    dataSize_ += size;
    return true;
}

bool WaveChunkFile::close() {
    if (!file_) return false;
    bool ok = !(writing_ && failed_);
    wav_->closeChunks();  // a written file gets its pad byte and sizes here
    ok = file_->close() && ok;
    wav_.reset();
    file_.reset();
    return ok;
}
