#pragma once

#include "midi/Sequencer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Reading a Standard MIDI File into event lists. Nothing is read past the bytes given,
// whatever the header's track count and the chunk lengths claim.
namespace SequencerFile {

struct Contents {
    int division = 0;
    std::vector<std::vector<Sequencer::Event>> tracks;
};

// False for data that is not a Standard MIDI File with a 6-byte header and a division in
// ticks per quarter note (SMPTE time and a division of 0 are refused). At most the header's
// number of "MTrk" chunks are read, in order; other chunks are skipped. A track that ends in
// a fault (a cut-off event, an undefined status) keeps the events before it, and no later
// track is read.
bool read(const uint8_t* bytes, size_t length, Contents& contents);

// Parses one chunk's body into events, up to an end-of-track event (kept) or the end.
// False when an event is malformed or cut off; events holds those before it.
bool readTrack(const uint8_t* bytes, size_t length, std::vector<Sequencer::Event>& events);

}  // namespace SequencerFile
