#pragma once

#include <string>
#include <vector>

// Pure tones in and out of float WAV files, to measure what a resampler does to them.

// A mono 32-bit float WAV of a sine of the given frequency and peak amplitude.
bool writeToneWav(const std::string& path, double frequency, double amplitude, int rate, double seconds);
// The samples of a mono 32-bit float WAV at the given rate; false for anything else.
bool readFloatWav(const std::string& path, std::vector<float>& samples, int rate);

struct ToneFit {
    double amplitude = 0;    // peak amplitude of the best-fitting sine at the frequency
    double residualRms = 0;  // what is left once that sine is taken away
    double totalRms = 0;
};
// Least-squares fit of a sine at the frequency over the middle half of the samples (the
// resampler's edges left out).
ToneFit fitTone(const std::vector<float>& samples, double frequency, int rate);
