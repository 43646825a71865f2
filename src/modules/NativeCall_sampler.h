#pragma once

#include "audio/SamplePlayer.h"
#include "bridge/NativeCall.h"

#include <string>

class JavaScriptInterface;

// Numbered sample players that play files at the same time, each to its own sink.
class NativeCall_sampler : public NativeCall {
public:
    explicit NativeCall_sampler(NativeObjects* objects);
    std::string moduleName() const override { return "sampler"; }
    static constexpr int kMaxPlayers = 32;
    void call(int function, const Args& args, CallResult& result) override;

private:
    // The player numbered by the text; "invalid vector subscript" when there is none.
    SamplePlayer& player(const std::string& number) const;
    // The answer of a call made before any player exists.
    static void answerBeforeCreate(int function, CallResult& result);
    std::string statusJson() const;
};

// A player's end as the "eof" event with its number and file.
class _SamplePlayerDelegate : public SamplePlayerDelegate {
public:
    _SamplePlayerDelegate(JavaScriptInterface* controller, int number) : controller_(controller), number_(number) {}
    void samplePlayerDidEnd(const std::string& path) override;

private:
    JavaScriptInterface* controller_;
    int number_;
};
