#include "audio/WaveChunkFile.h"

#include "sys/FileIO.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
void putLe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
constexpr size_t kStreamBuffer = 1 << 20;
}  // namespace

WaveChunkFile::~WaveChunkFile() {
    if (file_) fclose(file_);
}

bool WaveChunkFile::openRead(const std::string& path) {
    if (file_) return false;
    int fd = openRegularFile(path);
    if (fd < 0) return false;
    file_ = fdopen(fd, "rb");
    if (!file_) {
        ::close(fd);
        return false;
    }
    setvbuf(file_, nullptr, _IOFBF, kStreamBuffer);
    writing_ = false;
    if (!findChunks()) {
        fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

bool WaveChunkFile::findChunks() {
    unsigned char header[12];
    if (fread(header, 1, 12, file_) != 12) return false;
    if (memcmp(header, "RIFF", 4) != 0 || memcmp(header + 8, "WAVE", 4) != 0) return false;
    struct stat st {};
    if (fstat(fileno(file_), &st) != 0) return false;
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);

    bool haveFormat = false;
    uint64_t pos = 12;
    for (;;) {
        unsigned char chunk[8];
        if (fseeko(file_, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
        if (fread(chunk, 1, 8, file_) != 8) return false;
        const uint32_t size = le32(chunk + 4);
        pos += 8;
        if (memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > 4096) return false;
            std::string bytes(size, '\0');
            if (fread(&bytes[0], 1, size, file_) != size) return false;
            format_ = WaveFormat::fromBytes(bytes.substr(0, WaveFormat::kBytes));
            if (format_.tag == kWaveFormatExtensible && size >= 26) {
                format_.tag = static_cast<uint16_t>(static_cast<unsigned char>(bytes[24]) |
                                                    (static_cast<unsigned char>(bytes[25]) << 8));
            }
            haveFormat = true;
        } else if (memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat || format_.blockAlign == 0) return false;
            dataStart_ = pos;
            // A size beyond the end of the file (an unfinished recording) means "up to the end".
            dataSize_ = std::min<uint64_t>(size, fileSize > pos ? fileSize - pos : 0);
            dataPos_ = 0;
            return fseeko(file_, static_cast<off_t>(dataStart_), SEEK_SET) == 0;
        }
        pos += size + (size & 1);
        if (pos >= fileSize) return false;
    }
}

bool WaveChunkFile::openWrite(const std::string& path, const WaveFormat& format) {
    if (file_) return false;
    file_ = fopen(path.c_str(), "wb");
    if (!file_) return false;
    setvbuf(file_, nullptr, _IOFBF, kStreamBuffer);
    writing_ = true;
    format_ = format;
    dataSize_ = 0;
    std::string head = "RIFF";
    head += std::string(4, '\0');
    head += "WAVEfmt ";
    head += std::string("\x12\0\0\0", 4);
    head += format.toBytes();
    head += "data";
    head += std::string(4, '\0');
    dataStart_ = head.size();
    if (fwrite(head.data(), 1, head.size(), file_) != head.size()) failed_ = true;
    return !failed_;
}

long WaveChunkFile::read(void* buffer, size_t size) {
    if (!file_ || writing_) return -1;
    uint64_t left = dataSize_ - dataPos_;
    if (size > left) size = static_cast<size_t>(left);
    if (size == 0) return 0;
    size_t got = fread(buffer, 1, size, file_);
    if (got == 0 && ferror(file_)) return -1;
    dataPos_ += got;
    return static_cast<long>(got);
}

bool WaveChunkFile::write(const void* data, size_t size) {
    if (!file_ || !writing_ || failed_) return false;
    if (size && fwrite(data, 1, size, file_) != size) {
        failed_ = true;
        return false;
    }
    dataSize_ += size;
    return true;
}

bool WaveChunkFile::close() {
    if (!file_) return false;
    bool ok = true;
    if (writing_) {
        ok = !failed_;
        // RIFF sizes are 32-bit; a larger file cannot be described.
        if (dataStart_ + dataSize_ + 1 > 0xFFFFFFFFull) ok = false;
        if (ok && (dataSize_ & 1)) ok = fputc(0, file_) != EOF;
        if (ok) {
            unsigned char size[4];
            putLe32(size, static_cast<uint32_t>(dataStart_ - 8 + dataSize_ + (dataSize_ & 1)));
            ok = fseeko(file_, 4, SEEK_SET) == 0 && fwrite(size, 1, 4, file_) == 4;
            putLe32(size, static_cast<uint32_t>(dataSize_));
            ok = ok && fseeko(file_, static_cast<off_t>(dataStart_ - 4), SEEK_SET) == 0 &&
                 fwrite(size, 1, 4, file_) == 4;
        }
        ok = (fflush(file_) == 0) && ok;
    }
    ok = (fclose(file_) == 0) && ok;
    file_ = nullptr;
    return ok;
}
