#pragma once

#include <string>

// Makes a track catalogue from a folder of track sets, so that a band or a teacher can
// serve one from any web server, a file share or a USB stick.
//
// FOLDER holds one sub-folder per track set. Each has a set.json:
//   {"title": "...", "description": "...", "date": "2026-05-01" (ISO 8601),
//    "image": "cover.png" (optional, a file of the set),
//    "tracks": {"01 Intro.wav": {"title": "...", "description": "..."}} (optional)}
// and the set's audio files (.wav, .mp3, .m4a), numbered in file-name order.
// The document goes to FOLDER/tracksets.json, its keys relative to its own folder
// ("contentDomain": "./"), so the folder can be moved or served from anywhere.
struct CatalogueResult {
    bool ok = false;
    std::string message;  // what went wrong, naming the file; or what was written
    int sets = 0;
    int tracks = 0;
};

CatalogueResult makeCatalogue(const std::string& folder);
