#pragma once

#include "audio/AudioPlayer.h"
#include "bridge/NativeCall.h"

class JavaScriptInterface;

// Preview of one audio file through the output unit.
class NativeCall_player : public NativeCall {
public:
    explicit NativeCall_player(NativeObjects* objects);
    std::string moduleName() const override { return "player"; }
};

// Player reports as "player" events carrying the file path.
class _AudioPlayerDelegate : public AudioPlayerDelegate {
public:
    explicit _AudioPlayerDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void playerEndOfFile(const std::string& path) override;
    void playerStopped(const std::string& path) override;
    void playerError(const std::string& path) override;

private:
    JavaScriptInterface* controller_;
};
