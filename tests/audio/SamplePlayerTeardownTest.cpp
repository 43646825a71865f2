#include "audio/AudioTestSupport.h"
#include "audio/ExtSamplePlayer.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

// A player destroyed while its render thread is inside the time-stretcher (a page reload or
// quit during a sample played faster and higher) must stop that thread before the stretcher
// goes. Each round leaves the destruction a fresh chance to meet a render period.
TEST(SamplePlayerTeardownTest, DestroyedWhileStretchingStopsItsRenderFirst) {
    PulseServer pulse;
    TempHome home;
    const std::string path = home.file("tone.wav");
    ffmpegMake("-f lavfi -i sine=frequency=440:duration=3 -ac 2 -ar 44100", path);
    for (int round = 0; round < 24; ++round) {
        auto player = std::make_unique<ExtSamplePlayer>();
        ASSERT_TRUE(player->open(path));
        player->setRepeatCount(-1);
        player->setSpeed(1.5f);
        player->setPitch(300.0f);
        player->play();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (player->currentTime() < 0.1f && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_GE(player->currentTime(), 0.1f) << "the stretched sound never started";
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 4 * 7));
        player.reset();
    }
}

}  // namespace
