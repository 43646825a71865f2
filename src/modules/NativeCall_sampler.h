#pragma once

#include "audio/SamplePlayer.h"
#include "bridge/NativeCall.h"

#include <functional>
#include <string>

class JavaScriptInterface;

// Numbered sample players that play files at the same time, each to its own sink.
class NativeCall_sampler : public NativeCall {
public:
    explicit NativeCall_sampler(NativeObjects* objects);
    std::string moduleName() const override { return "sampler"; }
    static constexpr int kMaxPlayers = 32;

private:
    using Answer = void (*)(CallResult& result);
    using PlayerCall = void (*)(SamplePlayer& player, const Args& args, CallResult& result);

    // The player numbered by the text; "invalid vector subscript" when there is none.
    SamplePlayer& player(const std::string& number) const;
    // A call on the player numbered by args[0]; before any player exists it answers with
    // before (nothing when null).
    std::function<void(const Args&, CallResult&)> onPlayer(Answer before, PlayerCall body);
    // Makes count players, once (later calls change nothing).
    void create(int count);
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
