#include "wav/WavConversion.h"

#include "wav/WavExport.h"
#include "wav/WavFileWriter.h"
#include "wav/WavImport.h"

namespace wav {

namespace {

// Opens the reader, creates the writer and copies; every chunk is closed on the way out,
// the writer's (data size, then RIFF size) before the reader's.
template <class Writer>
bool convert(DataStream* source, DataStream* destination, const WavTargetFormat& target, uint32_t* frames) {
    WavStream reader(source);
    if (!reader.open()) return false;
    Writer writer(destination, &target);
    WavFileWriter copier(&writer);
    if (!writer.create(reader.format())) return false;
    if (!copier.copyData(reader)) return false;
    if (frames) *frames = writer.size() / writer.format().blockAlign;
    return true;
}

}  // namespace

bool importWav(DataStream* source, DataStream* destination, const WavTargetFormat& target, uint32_t* frames) {
    return convert<WavImport>(source, destination, target, frames);
}

bool exportWav(DataStream* source, DataStream* destination, const WavTargetFormat& target) {
    return convert<WavExport>(source, destination, target, nullptr);
}

}  // namespace wav
