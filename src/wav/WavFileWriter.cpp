#include "wav/WavFileWriter.h"

#include <algorithm>
#include <memory>

namespace wav {

bool WavFileWriter::copyData(WavStream& reader) {
    uint32_t blockAlign = reader.format().blockAlign;
    if (blockAlign == 0 || blockAlign > kBufferSize) return false;
    const uint32_t piece = kBufferSize / blockAlign * blockAlign;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[piece]);
    for (uint32_t remaining = reader.size(); remaining != 0;) {
        uint32_t n = std::min(remaining, piece);
        if (reader.read(buffer.get(), n) < n) return false;
        if (writer_->write(buffer.get(), n) != n) return false;
        remaining -= n;
    }
    return true;
}

}  // namespace wav
