// libFuzzer entry: arbitrary bytes as a file in a looper's track folder, read the two
// ways the track table reads one: the WAV header with its "acid" chunk, and the audio
// format through the decoder.
#include "audio/AudioFileInfo.h"
#include "wav/WavInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// One file, rewritten for every input, in a folder of this run's own.
const std::string& trackPath() {
    static const std::string path = [] {
        char folder[] = "/tmp/track_fuzz.XXXXXX";
        if (!mkdtemp(folder)) abort();
        return std::string(folder) + "/take.wav";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = trackPath();
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) abort();
    if (size && fwrite(data, 1, size, file) != size) abort();
    fclose(file);
    wav::WavInfo info;
    wav::readWavInfo(path, info);
    AudioFileInfo audio = inspectAudioFile(path);
    (void)audio;
    return 0;
}
