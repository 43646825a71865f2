#include "audio/AudioModuleFixture.h"

#include <cmath>
#include <dirent.h>
#include <thread>
#include <unistd.h>

namespace {

class AudioPlayerTest : public WithSoundServer, public AudioModuleFixture {
protected:
    // A stereo 1 kHz tone at half scale.
    std::string tone(double seconds, const std::string& name = "tone.wav") {
        const std::string path = file(name);
        EXPECT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + path + "' synth " + std::to_string(seconds) +
                        " sine 1000 vol 0.5"),
                  0);
        return path;
    }
    double number(const std::string& text) {
        EXPECT_EQ(text.substr(0, 1), "f") << text;
        return std::stod(text.substr(1));
    }
    // The player events of the path, by name.
    std::vector<std::string> playerEvents(const std::string& path) {
        events.drainFor(std::chrono::milliseconds(20));
        std::vector<std::string> names;
        for (const auto& e : events.of("player", path)) names.push_back(e[1]);
        return names;
    }
    bool waitForPlayerEvent(const std::string& name, const std::string& path, int seconds = 20) {
        return events.waitFor("player", name, path, std::chrono::seconds(seconds));
    }
    // Plays the file to its end while the sink's monitor is recorded.
    ToneMeasure playAndMeasure(const std::string& path) {
        MonitorCapture capture(pulse.sinkName(), file("capture-" + std::to_string(++captures_) + ".raw"));
        EXPECT_EQ(call({"$$player_open", path}), "b1");
        call({"$$player_play"});
        EXPECT_TRUE(waitForPlayerEvent("eof", path));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return measureTone(capture.stop());
    }
    int captures_ = 0;
};

// Descriptors of this process open on path.
int descriptorsOn(const std::string& path) {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    while (dirent* entry = readdir(dir)) {
        char target[4096];
        std::string link = std::string("/proc/self/fd/") + entry->d_name;
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == path) ++count;
    }
    closedir(dir);
    return count;
}

TEST_F(AudioPlayerTest, PlaysTheToneAtItsLevelAndVolumeFollowsTheLaw) {
    const std::string path = tone(1.5);
    WavContents src = readWav(path);
    const ToneMeasure expected = measureTone(src.samples16());

    ToneMeasure full = playAndMeasure(path);
    EXPECT_NEAR(full.frequency, 1000, 20);
    EXPECT_NEAR(full.rms, expected.rms, expected.rms * 0.03);
    EXPECT_GT(full.seconds, 1.4);
    EXPECT_LT(full.seconds, 2.5);

    EXPECT_EQ(call({"$$player_volume", "0.5"}), "f0.500000");
    EXPECT_EQ(call({"$$player_volume", "1.5"}), "f0.500000");  // out of range: ignored
    ToneMeasure half = playAndMeasure(path);
    EXPECT_NEAR(half.rms / full.rms, std::pow(0.5, 1.75), 0.01);
    EXPECT_NEAR(half.frequency, 1000, 20);
}

TEST_F(AudioPlayerTest, PlayingToTheEndSendsStopThenEofAndRewinds) {
    const std::string path = tone(0.6);
    ASSERT_EQ(call({"$$player_open", path}), "b1");
    EXPECT_NEAR(number(call({"$$player_totaltime"})), 0.6, 0.01);
    EXPECT_EQ(call({"$$player_file"}), "s" + path);
    call({"$$player_play"});
    EXPECT_EQ(call({"$$player_status"}), "d1");
    ASSERT_TRUE(waitForPlayerEvent("eof", path));
    EXPECT_EQ(playerEvents(path), (std::vector<std::string>{"stop", "eof"}));
    EXPECT_EQ(call({"$$player_time"}), "f0.000000");
    EXPECT_EQ(call({"$$player_status"}), "d0");

    // At the start again: play runs the file once more.
    call({"$$player_play"});
    ASSERT_TRUE(events.waitFor([&](const EventCollector::Event&) { return playerEvents(path).size() == 4; },
                               std::chrono::seconds(20)));
    EXPECT_EQ(playerEvents(path), (std::vector<std::string>{"stop", "eof", "stop", "eof"}));
}

TEST_F(AudioPlayerTest, LocateStartsPlaybackThereAndTimeCountsFromIt) {
    const std::string path = tone(4);
    ASSERT_EQ(call({"$$player_open", path}), "b1");
    call({"$$player_play"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    call({"$$player_locate", "2.0"});
    EXPECT_EQ(call({"$$player_status"}), "d0");  // locating stops the sound
    EXPECT_EQ(call({"$$player_time"}), "f2.000000");
    EXPECT_TRUE(events.of("player", path).empty());  // and says nothing
    call({"$$player_play"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double t = number(call({"$$player_time"}));
    EXPECT_GT(t, 2.2);
    EXPECT_LT(t, 2.9);
    // Two seconds remain.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitForPlayerEvent("eof", path));
    const double rest = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GT(rest, 1.0);
    EXPECT_LT(rest, 3.0);

    call({"$$player_stop"});
    EXPECT_EQ(playerEvents(path).back(), "stop");
}

TEST_F(AudioPlayerTest, PauseHoldsThePositionAndStopRewinds) {
    const std::string path = tone(3);
    ASSERT_EQ(call({"$$player_open", path}), "b1");
    call({"$$player_play"});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    call({"$$player_pause"});
    EXPECT_EQ(call({"$$player_status"}), "d2");
    const double held = number(call({"$$player_time"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(number(call({"$$player_time"})), held);
    EXPECT_EQ(call({"$$player_peakpower", "0"}), "f-120.000000");  // not active
    call({"$$player_play"});
    EXPECT_EQ(call({"$$player_status"}), "d1");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(number(call({"$$player_time"})), held);
    const double level = number(call({"$$player_peakpower", "0"}));
    EXPECT_NEAR(level, 20 * std::log10(0.5 / std::sqrt(2.0)), 1.0);
    EXPECT_EQ(call({"$$player_peakpower", "2"}), "f-120.000000");
    call({"$$player_stop"});
    EXPECT_EQ(call({"$$player_status"}), "d0");
    EXPECT_EQ(call({"$$player_time"}), "f0.000000");
    EXPECT_EQ(playerEvents(path), std::vector<std::string>{"stop"});
}

// A file held open keeps its volume from being ejected: a stopped or finished player
// lets go of it, and plays it again from the start when asked.
TEST_F(AudioPlayerTest, AStoppedPlayerLetsGoOfItsFileAndPlaysItAgain) {
    const std::string path = tone(0.5);
    ASSERT_EQ(call({"$$player_open", path}), "b1");
    EXPECT_EQ(descriptorsOn(path), 1);
    call({"$$player_play"});
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    call({"$$player_stop"});
    EXPECT_EQ(descriptorsOn(path), 0);
    EXPECT_EQ(call({"$$player_file"}), "s" + path);
    EXPECT_EQ(call({"$$player_time"}), "f0.000000");
    call({"$$player_play"});
    EXPECT_EQ(call({"$$player_status"}), "d1");
    EXPECT_TRUE(waitForPlayerEvent("eof", path));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(descriptorsOn(path), 0) << "released at the end too";
    EXPECT_EQ(playerEvents(path), (std::vector<std::string>{"stop", "stop", "eof"}));
    // Gone while let go of: playing it again fails quietly, no error event.
    ASSERT_EQ(unlink(path.c_str()), 0);
    call({"$$player_play"});
    EXPECT_EQ(call({"$$player_status"}), "d0");
}

TEST_F(AudioPlayerTest, BrokenFilesNeverTakeThePlayerDown) {
    EXPECT_EQ(call({"$$player_open", file("missing.wav")}), "b");
    EXPECT_EQ(call({"$$player_totaltime"}), "f0.000000");
    EXPECT_EQ(call({"$$player_file"}), "s");
    call({"$$player_play"});
    EXPECT_EQ(call({"$$player_status"}), "d0");  // nothing open: nothing plays

    writeFile(file("noise.mp3"), std::string(20000, '\x33'));
    EXPECT_EQ(call({"$$player_open", file("noise.mp3")}), "b");

    // A WAV cut off in its data, and an MP3 whose frames turn into garbage.
    const std::string whole = readFile(tone(1.0));
    writeFile(file("cut.wav"), whole.substr(0, whole.size() / 2));
    ffmpegMake("-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=2 -ac 2 -c:a libmp3lame -b:a 128k",
               file("damaged.mp3"));
    std::string mp3 = readFile(file("damaged.mp3"));
    for (size_t i = mp3.size() / 3; i < mp3.size(); i += 7) mp3[i] = static_cast<char>(i * 31);
    writeFile(file("damaged.mp3"), mp3);
    for (const std::string& path : {file("cut.wav"), file("damaged.mp3")}) {
        if (call({"$$player_open", path}) != "b1") continue;
        call({"$$player_play"});
        ASSERT_TRUE(events.waitFor(
            [&](const EventCollector::Event& e) {
                return e.size() == 3 && e[0] == "player" && e[2] == path && (e[1] == "eof" || e[1] == "error");
            },
            std::chrono::seconds(20)))
            << path;
        auto names = playerEvents(path);
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(names[0], "stop");
    }
    EXPECT_EQ(call({"$$player_speed", "1.5"}), "f1.000000");
    EXPECT_EQ(call({"$$player_pitch", "300"}), "f0.000000");
    EXPECT_EQ(call({"$$player_channels"}), "d2");
}

TEST_F(AudioPlayerTest, ChoosingADeviceStopsAndRemembersIt) {
    const std::string path = tone(3);
    ASSERT_EQ(call({"$$player_open", path}), "b1");
    call({"$$player_play"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(call({"$$player_device", "tarn_null"}), "starn_null");
    EXPECT_EQ(call({"$$player_status"}), "d0");
    EXPECT_EQ(playerEvents(path), std::vector<std::string>{"stop"});
    EXPECT_EQ(call({"$$player_device"}), "starn_null");
    // An unknown device plays on the default one.
    call({"$$player_device", "no-such-sink"});
    call({"$$player_play"});
    EXPECT_EQ(call({"$$player_status"}), "d1");
    call({"$$player_output", "0"});
    EXPECT_EQ(call({"$$player_status"}), "d0");
    call({"$$player_play"});
    EXPECT_EQ(call({"$$player_status"}), "d1");
}

}  // namespace
