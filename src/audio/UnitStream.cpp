#include "audio/UnitStream.h"

#include "audio/SoundServer.h"

#include <pulse/simple.h>

#include <pthread.h>
#include <sched.h>

pa_simple* openUnitStream(bool playback, const std::string& uid) {
    pa_sample_spec sampleFormat;
    sampleFormat.format = PA_SAMPLE_S16LE;
    sampleFormat.rate = 44100;
    sampleFormat.channels = 2;
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = playback ? kUnitBuffers * kUnitBufferBytes : static_cast<uint32_t>(-1);
    // Playback begins as soon as the first buffer is there.
    attr.prebuf = playback ? kUnitBufferBytes : static_cast<uint32_t>(-1);
    attr.minreq = playback ? kUnitBufferBytes : static_cast<uint32_t>(-1);
    attr.fragsize = playback ? static_cast<uint32_t>(-1) : kUnitBufferBytes;
    const pa_stream_direction_t direction = playback ? PA_STREAM_PLAYBACK : PA_STREAM_RECORD;
    const char* name = playback ? "Preview" : "Recording";
    pa_simple* stream = nullptr;
    if (!uid.empty()) stream = openSoundServerStream(direction, uid, name, &sampleFormat, &attr);
    if (!stream) stream = openSoundServerStream(direction, std::string(), name, &sampleFormat, &attr);
    return stream;
}

std::string truncatedUid(const std::string& uid) {
    size_t characters = 0;
    for (size_t i = 0; i < uid.size(); ++i) {
        // Count lead bytes only, so a character is never cut in two.
        if ((static_cast<unsigned char>(uid[i]) & 0xC0) != 0x80 && ++characters > 127) return uid.substr(0, i);
    }
    return uid;
}

void raiseUnitThreadPriority() {
    sched_param param{};
    param.sched_priority = 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}
