#pragma once

#include "bridge/NativeCall.h"

#include <memory>

class WaveformPeaksDelegate;

// WAV files for the device: conversion into and out of its internal format (background
// jobs reporting by event) and the format and tempo metadata of a file.
class NativeCall_trnWav : public NativeCall {
public:
    explicit NativeCall_trnWav(NativeObjects* objects);
    std::string moduleName() const override { return "trnWav"; }
    void call(int function, const Args& args, CallResult& result) override;

private:
    template <class Job>
    void startJob(const Args& args);
    std::string formatWithAcidChunk(const std::string& path);
    int startPeaks(const Args& args);

    // Shared with the peaks workers, which may outlive the module at shutdown.
    std::shared_ptr<WaveformPeaksDelegate> peaksDelegate_;
    int lastPeaksJob_ = 0;
};
