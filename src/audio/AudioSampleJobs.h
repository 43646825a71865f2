#pragma once

#include <string>
#include <vector>

// Splits the source into one WAV per output path: output j takes channels j·k … j·k+k−1
// with k = channels / outputs clamped to 2; channels beyond outputs·k are dropped.
// Sources that are not PCM or float WAVs go through a temporary 16-bit WAV first.
// On failure no output is left behind.
bool splitAudioFile(const std::string& source, const std::vector<std::string>& outputs);

// Writes the source's frames in reverse order (each frame kept intact) into a WAV
// of the source's format (a temporary 16-bit WAV first for compressed sources).
bool reverseAudioFile(const std::string& source, const std::string& output);
