#pragma once

#include "bridge/NativeCall.h"
#include "wav/TrnWavProcThread.h"

#include <memory>

class JavaScriptInterface;
class WaveformPeaksDelegate;

// WAV files for the device: conversion into and out of its internal format (background
// jobs reporting by event) and the format and tempo metadata of a file.
class NativeCall_trnWav : public NativeCall {
public:
    explicit NativeCall_trnWav(NativeObjects* objects);
    std::string moduleName() const override { return "trnWav"; }

private:
    template <class Job>
    void startJob(const Args& args);
    std::string formatWithAcidChunk(const std::string& path);

    // Shared with every job, which may outlive the module.
    std::shared_ptr<wav::TrnWavJobDelegate> jobEvents_;
    int startPeaks(const Args& args);

    // Shared with the peaks workers, which may outlive the module at shutdown.
    std::shared_ptr<WaveformPeaksDelegate> peaksDelegate_;
    int lastPeaksJob_ = 0;
};

// A job's end as "finishedAlignTo4byteData" (import, with "samples") or
// "finishedConvertDataFormat" (export), with the JSON result.
class TrnWavJobEvents : public wav::TrnWavJobDelegate {
public:
    explicit TrnWavJobEvents(JavaScriptInterface* controller) : controller_(controller) {}
    void jobFinished(wav::WavJobKind kind, const std::string& from, const std::string& to, bool ok,
                     uint32_t frames) override;

private:
    JavaScriptInterface* controller_;
};
