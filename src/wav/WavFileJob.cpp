#include "wav/WavFileJob.h"

#include "base/Text.h"
#include "wav/FileStream.h"
#include "wav/WavConversion.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace wav {

namespace {

// A new, empty file beside path with a name no one else uses; its path goes to tempPath.
bool createSibling(FileStream& stream, const std::string& path, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Keep the temporary name within the 255 bytes a folder entry may have, even for a
    // destination name near that limit; the cut never splits a UTF-8 sequence.
    name.resize(utf8CompletePrefix(name.substr(0, 160)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%d.%u.part", static_cast<int>(getpid()), counter++);
        tempPath = folder + "." + name + suffix;
        if (stream.createExclusive(tempPath)) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

}  // namespace

bool convertWavFile(WavJobKind kind, const std::string& from, const std::string& to, const WavTargetFormat& target,
                    uint32_t* frames) {
    // A path with a zero byte would name some other file to the system.
    if (from.find('\0') != std::string::npos || to.find('\0') != std::string::npos) return false;
    if (to.empty() || to.back() == '/') return false;
    FileStream source;
    if (!source.openForReading(from)) return false;
    FileStream destination;
    std::string tempPath;
    if (!createSibling(destination, to, tempPath)) return false;

    uint32_t written = 0;
    bool ok = kind == WavJobKind::Import ? importWav(&source, &destination, target, &written)
                                         : exportWav(&source, &destination, target);
    ok = destination.close() && ok;
    source.close();
    if (ok && ::rename(tempPath.c_str(), to.c_str()) != 0) ok = false;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    if (frames) *frames = written;
    return true;
}

}  // namespace wav
