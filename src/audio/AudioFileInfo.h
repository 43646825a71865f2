#pragma once

#include "wav/WaveFormat.h"

#include <string>

// What format inspection tells about an audio file: the format record of its first
// audio stream (tags as a WAV would carry them) and its duration in seconds.
struct AudioFileInfo {
    bool readable = false;
    wav::WaveFormat format;
    float duration = 0;
};

AudioFileInfo inspectAudioFile(const std::string& path);

// "PCM", "MP3", "AAC", or "0x%04X" of the tag.
std::string formatName(uint16_t tag);
