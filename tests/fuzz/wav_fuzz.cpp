// libFuzzer entry: arbitrary bytes as a WAV file, read, searched for an "acid" chunk, and
// converted into every internal and export format.
#include "wav/MemoryStream.h"
#include "wav/WavConversion.h"
#include "wav/WavStream.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace wav;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        MemoryStream file(bytes);
        WavStream wav(&file);
        if (wav.open()) {
            AcidChunk acid;
            wav.readAcidChunk(&acid);
            char sample[64];
            wav.read(sample, sizeof sample);
            wav.readAcidChunk(&acid);
        }
    }
    for (WavTargetFormat target : {WavTargetFormat{1, 16, 44100}, WavTargetFormat{3, 32, 44100}}) {
        MemoryStream source(bytes), destination;
        uint32_t frames = 0;
        importWav(&source, &destination, target, &frames);
    }
    for (WavTargetFormat target : {WavTargetFormat{1, 16, 44100}, WavTargetFormat{1, 24, 44100}, WavTargetFormat{3, 32, 44100}}) {
        MemoryStream source(bytes), destination;
        exportWav(&source, &destination, target);
    }
    return 0;
}
