#include "audio/AudioDevice.h"
#include "audio/AudioModuleFixture.h"

#include <atomic>
#include <glib.h>
#include <thread>

namespace {

class AudioEndpointsTest : public WithSoundServer, public AudioModuleFixture {
protected:
    // Waits until the watcher is connected (it connects in the background).
    bool watcherConnected() {
        for (int i = 0; i < 200 && !controller.nativeObjects().audioDevice().connected(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return controller.nativeObjects().audioDevice().connected();
    }
    size_t changedEvents() const {
        size_t n = 0;
        for (const auto& e : events.all()) n += e.size() == 2 && e[0] == "audio" && e[1] == "changed";
        return n;
    }
};

TEST_F(AudioEndpointsTest, TheNullSinkIsListedAndCurrentAndMonitorsAreNoInputs) {
    Json outputs = callJson({"$$audio_outputs"});
    ASSERT_EQ(outputs.size(), 1u) << outputs.dump();
    EXPECT_EQ(outputs[0]["AudioDeviceUIDKey"], "tarn_null");
    EXPECT_FALSE(outputs[0]["AudioDeviceNameKey"].get<std::string>().empty());
    EXPECT_EQ(outputs[0]["AudioDeviceSampleRateKey"], 44100);
    EXPECT_EQ(outputs[0]["AudioDeviceChannelsKey"], 2);
    // PipeWire offers every sink as 32-bit float.
    EXPECT_EQ(outputs[0]["AudioDeviceBitDepthKey"], pulse.isPipeWire() ? 32 : 16);
    EXPECT_EQ(outputs[0]["AudioDeviceCurrentKey"], true);
    EXPECT_EQ(call({"$$audio_inputs"}), "s[]");

    pulse.addSource("tarn_mic", 48000, 1);
    Json inputs = callJson({"$$audio_inputs"});
    ASSERT_EQ(inputs.size(), 1u) << inputs.dump();
    EXPECT_EQ(inputs[0]["AudioDeviceUIDKey"], "tarn_mic");
    EXPECT_EQ(inputs[0]["AudioDeviceSampleRateKey"], 48000);
    EXPECT_EQ(inputs[0]["AudioDeviceChannelsKey"], 1);
    // The server's default source is still the sink's monitor, which is not an input.
    EXPECT_EQ(inputs[0]["AudioDeviceCurrentKey"], pulse.pactl("get-default-source").find("tarn_mic") == 0);
}

TEST_F(AudioEndpointsTest, EndpointsComingAndGoingSendChangedButANewDefaultDoesNot) {
    ASSERT_TRUE(watcherConnected());
    std::string module = pulse.pactl("load-module module-null-sink sink_name=tarn_second");
    ASSERT_TRUE(events.waitFor([](const EventCollector::Event& e) { return e == EventCollector::Event{"audio", "changed"}; },
                               std::chrono::seconds(10)));
    EXPECT_EQ(callJson({"$$audio_outputs"}).size(), 2u);

    events.drainFor(std::chrono::milliseconds(300));
    const size_t before = changedEvents();
    pulse.pactl("set-default-sink tarn_second");
    events.drainFor(std::chrono::milliseconds(500));
    EXPECT_EQ(changedEvents(), before);
    Json outputs = callJson({"$$audio_outputs"});
    for (const auto& o : outputs) EXPECT_EQ(o["AudioDeviceCurrentKey"], o["AudioDeviceUIDKey"] == "tarn_second");

    pulse.pactl("unload-module " + module.substr(0, module.find('\n')));
    ASSERT_TRUE(events.waitFor([&](const EventCollector::Event&) { return changedEvents() > before; },
                               std::chrono::seconds(10)));
    EXPECT_EQ(callJson({"$$audio_outputs"}).size(), 1u);
}

// Runs the default main context (where the window's timers fire) for the given time.
void runMainLoopFor(std::chrono::milliseconds time) {
    auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The window's bridge leaves the sound server alone until its page has loaded; a second
// later the endpoint watch runs and reports on its own, with no audio call made.
TEST_F(AudioEndpointsTest, AWindowWatchesTheSoundServerOnlyOnceItsPageHasLoaded) {
    pulse.pactl("load-module module-null-sink sink_name=tarn_early");
    events.drainFor(std::chrono::milliseconds(1500));
    EXPECT_EQ(changedEvents(), 0u);

    controller.onPageLoaded();
    runMainLoopFor(std::chrono::milliseconds(1500));
    bool reported = false;
    for (int attempt = 0; attempt < 10 && !reported; ++attempt) {
        // The watch connects in the background: a sink may come before it listens.
        pulse.pactl("load-module module-null-sink sink_name=tarn_late" + std::to_string(attempt));
        reported = events.waitFor([](const EventCollector::Event& e) { return e == EventCollector::Event{"audio", "changed"}; },
                                  std::chrono::seconds(1));
    }
    EXPECT_TRUE(reported);
}

// Records what the watcher reports.
struct RecordingDelegate : AudioDeviceDelegate {
    std::atomic<int> addedRemoved{0}, defaults{0};
    void audioObjectAddedRemoved(const std::string&, uint32_t) override { ++addedRemoved; }
    void audioObjectDefaultChanged(int flow, int, const std::string& id) override {
        if (flow == 0 && id == "tarn_other") ++defaults;
    }
};

TEST_F(AudioEndpointsTest, TheWatcherTellsADefaultChangeApart) {
    RecordingDelegate delegate;
    AudioDevice device;
    device.setDelegate(&delegate);
    for (int i = 0; i < 200 && !device.connected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(device.connected());
    pulse.pactl("load-module module-null-sink sink_name=tarn_other");
    for (int i = 0; i < 200 && delegate.addedRemoved < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int added = delegate.addedRemoved;
    EXPECT_GE(added, 1);
    pulse.pactl("set-default-sink tarn_other");
    for (int i = 0; i < 200 && delegate.defaults < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(delegate.defaults, 1);
    EXPECT_EQ(delegate.addedRemoved, added);
    device.setDelegate(nullptr);
}

TEST(AudioEndpointsWithoutServerTest, ListsAreEmptyAndNothingBreaks) {
    TempHome home;
    setenv("PULSE_SERVER", ("unix:" + home.file("no-server")).c_str(), 1);
    {
        TarnAppWebViewController controller;
        EXPECT_EQ(controller.invokeNative({"$$audio_outputs"}), "s[]");
        EXPECT_EQ(controller.invokeNative({"$$audio_inputs"}), "s[]");
        EXPECT_FALSE(controller.nativeObjects().audioDevice().connected());
    }
    unsetenv("PULSE_SERVER");
}

}  // namespace
