#include "WavBytes.h"
#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using namespace wav;
using namespace wavbytes;

namespace {

class WaveformPeaksTest : public ::testing::Test {
protected:
    WaveformPeaksTest() {
        setenv("XDG_CACHE_HOME", home.file("cache").c_str(), 1);
        mkdir(home.file("work").c_str(), 0700);
    }
    ~WaveformPeaksTest() override { unsetenv("XDG_CACHE_HOME"); }

    std::string file(const std::string& name) const { return home.file("work/" + name); }

    // Asks for peaks and waits for their event: the JSON body, after checking the job number.
    Json peaks(const std::string& path, int columns) {
        std::string answer = controller.invokeNative({"$$trnWav_peaks", path, std::to_string(columns)});
        EXPECT_EQ(answer[0], 'd') << answer;
        for (int i = 0; i < 4000; ++i) {
            std::string event = controller.takeEvent();
            if (!event.empty()) {
                std::string head = "trnWav\fpeaks\f" + answer.substr(1) + "\f";
                EXPECT_EQ(event.compare(0, head.size(), head), 0) << event;
                return parseJson(event.substr(head.size()));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "no peaks event";
        return Json::object();
    }

    TempHome home;
    TarnAppWebViewController controller;
};

// 2 s of stereo float: the first second silent, then a 441 Hz sine of 0.8 on the left and
// a square of 0.3 on the right.
std::string sineAfterSilence() {
    std::string data;
    for (int i = 0; i < 88200; ++i) {
        bool sounding = i >= 44100;
        float left = sounding ? 0.8f * static_cast<float>(std::sin(2 * M_PI * 441.0 * i / 44100.0)) : 0.0f;
        float right = sounding ? (i % 100 < 50 ? 0.3f : -0.3f) : 0.0f;
        data += f32(left) + f32(right);
    }
    return wavFile(format(3, 2, 32), data);
}

std::vector<double> numbers(const Json& list) {
    std::vector<double> out;
    for (const Json& v : list) out.push_back(v.get<double>());
    return out;
}

}  // namespace

TEST_F(WaveformPeaksTest, ColumnsFollowTheSoundInEachSampleFormat) {
    writeFile(file("sine.wav"), sineAfterSilence());
    Json sine = peaks(file("sine.wav"), 4);
    EXPECT_EQ(sine["path"], file("sine.wav"));
    EXPECT_EQ(sine["frames"], 88200);
    EXPECT_EQ(sine["sampleRate"], 44100);
    EXPECT_EQ(sine["columns"], 4);
    EXPECT_EQ(numbers(sine["min"]), (std::vector<double>{0, 0, -0.8, -0.8}));
    EXPECT_EQ(numbers(sine["max"]), (std::vector<double>{0, 0, 0.8, 0.8}));

    // 16-bit mono, 30 frames of a square at half scale over 7 columns; more columns than frames
    // leaves the extra ones silent rather than failing.
    std::string square;
    for (int i = 0; i < 30; ++i) square += s16(i % 2 ? -16384 : 16384);
    writeFile(file("square.wav"), wavFile(format(1, 1, 16, 22050), square));
    Json sq = peaks(file("square.wav"), 7);
    EXPECT_EQ(sq["sampleRate"], 22050);
    EXPECT_EQ(numbers(sq["min"]), std::vector<double>(7, -0.5));
    EXPECT_EQ(numbers(sq["max"]), std::vector<double>(7, 0.5));
    // 24-bit stereo: a quarter of full scale down on the left, half up on the right.
    writeFile(file("s24.wav"), wavFile(format(1, 2, 24), s24(-0x200000) + s24(0x400000) + s24(-0x200000) + s24(0x400000)));
    Json deep = peaks(file("s24.wav"), 1);
    EXPECT_EQ(numbers(deep["min"]), std::vector<double>{-0.25});
    EXPECT_EQ(numbers(deep["max"]), std::vector<double>{0.5});
    Json wide = peaks(file("square.wav"), 40);
    EXPECT_EQ(wide["max"].size(), 40u);
    EXPECT_EQ(wide["max"][39], 0.0);
}

// A-law is not read directly: the decoder path gives the same kind of answer.
TEST_F(WaveformPeaksTest, OtherEncodingsAreDecoded) {
    std::string square;
    for (int i = 0; i < 4410; ++i) square += (i / 10) % 2 ? '\x2A' : '\xAA';
    writeFile(file("alaw.wav"), wavFile(WaveFormat{6, 1, 44100, 44100, 1, 8}, square));
    Json decoded = peaks(file("alaw.wav"), 5);
    ASSERT_FALSE(decoded.contains("error")) << decoded.dump();
    EXPECT_EQ(decoded["frames"], 4410);
    EXPECT_EQ(decoded["sampleRate"], 44100);
    for (int c = 0; c < 5; ++c) {
        EXPECT_GT(decoded["max"][c].get<double>(), 0.5);
        EXPECT_NEAR(decoded["min"][c].get<double>(), -decoded["max"][c].get<double>(), 0.01);
    }
}

TEST_F(WaveformPeaksTest, TheCacheAnswersUntilTheFileChanges) {
    writeFile(file("take.wav"), sineAfterSilence());
    struct stat before {};
    ASSERT_EQ(stat(file("take.wav").c_str(), &before), 0);
    EXPECT_EQ(peaks(file("take.wav"), 4)["max"][3], 0.8);

    // Same size and time, other samples: the cached peaks answer.
    std::string silent = wavFile(format(3, 2, 32), std::string(88200 * 8, '\0'));
    writeFile(file("take.wav"), silent);
    timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, file("take.wav").c_str(), times, 0), 0);
    EXPECT_EQ(peaks(file("take.wav"), 4)["max"][3], 0.8);
    // Another column count is another entry; a new modification time reads the file again.
    EXPECT_EQ(peaks(file("take.wav"), 2)["max"][1], 0.0);
    times[1].tv_sec += 5;
    ASSERT_EQ(utimensat(AT_FDCWD, file("take.wav").c_str(), times, 0), 0);
    EXPECT_EQ(peaks(file("take.wav"), 4)["max"][3], 0.0);
}

TEST_F(WaveformPeaksTest, UnreadableFilesGiveAnError) {
    // The data chunk claims 8000 frames; the file holds 100.
    std::string body = std::string(800, '\x10');
    writeFile(file("cut.wav"), riff(chunk("fmt ", formatBody(format(3, 2, 32))) + chunk("data", body, 64000)));
    Json cut = peaks(file("cut.wav"), 10);
    EXPECT_EQ(cut["path"], file("cut.wav"));
    EXPECT_TRUE(cut["error"].is_string());
    EXPECT_EQ(cut.count("min"), 0u);
    EXPECT_TRUE(peaks(file("missing.wav"), 10)["error"].is_string());
    writeFile(file("text.wav"), "not sound at all");
    EXPECT_TRUE(peaks(file("text.wav"), 10)["error"].is_string());
    EXPECT_EQ(controller.invokeNative({"$$trnWav_peaks", file("cut.wav"), "0"})[0], 'e');
    EXPECT_EQ(controller.invokeNative({"$$trnWav_peaks", file("cut.wav"), "wide"})[0], 'e');
}
