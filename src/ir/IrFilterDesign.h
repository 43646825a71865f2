#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

namespace wav {

// Reports the fraction (0 ... 1) of a step done; returns false when the step must stop.
using IrStepProgress = std::function<bool(double)>;

// The sample rate every filter response is delivered at.
constexpr int kIrFilterRate = 48000;

// Resamples a mono response to 48 kHz with libswresample (its windowed-sinc filter, long
// enough to keep the pass band flat to 20 kHz), returning the whole filtered response
// (delayed by the resampler's filter). The input is returned unchanged at 48 kHz already.
// An empty result with a non-empty input means it was stopped or failed.
std::vector<double> resampleTo48k(const std::vector<double>& input, int sampleRate, const IrStepProgress& step);

// The minimum-phase response with the same magnitude response as the input, cut to length
// values (homomorphic method: the real cepstrum of the log magnitude, folded onto positive
// quefrencies, exponentiated back). Magnitudes below 1e-8 of the peak (-160 dB) are raised to
// that floor so that spectral zeros stay finite. Empty when stopped.
std::vector<double> minimumPhase(const std::vector<double>& response, size_t length, const IrStepProgress& step);

// Fades the last eighth of the response out with a half Hann window, so that cutting a
// response that has not died away yet does not leave a step at its end.
void fadeOutTail(std::vector<double>& response);

// The largest magnitude of the response's frequency response, sampled on at least
// 8 x its length points (0 for silence).
double peakMagnitude(const std::vector<double>& response);

}  // namespace wav
