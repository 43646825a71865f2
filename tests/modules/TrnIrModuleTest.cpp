#include "wav/WavBytes.h"
#include "base/Json.h"
#include "support/TempHome.h"
#include "sys/Paths.h"
#include "webview/TarnAppWebViewController.h"

#include <chrono>
#include <cmath>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using namespace wavbytes;

namespace {

using Event = std::vector<std::string>;

Event split(const std::string& text) {
    Event out(1);
    for (char c : text) {
        if (c == '\f') out.emplace_back();
        else out.back() += c;
    }
    return out;
}

bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::vector<float> floats(const std::string& bytes) {
    std::vector<float> out(bytes.size() / 4);
    std::memcpy(out.data(), bytes.data(), out.size() * 4);
    return out;
}

class TrnIrModuleTest : public ::testing::Test {
protected:
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }

    static std::string job(const std::string& path, int stereoProc, const std::string& type) {
        return jsonText(Json{{"path", path}, {"stereoProc", stereoProc}, {"type", type}});
    }
    std::string convert(const std::string& path, const std::string& type = "OverDrive", int stereoProc = 2) {
        std::string result = call({"$$trnIr_convert", job(path, stereoProc, type)});
        EXPECT_EQ(result.size(), 37u) << result;
        return result.substr(1);
    }

    // Runs the main loop until the job's result has arrived; the job's events in order.
    Event events(const std::string& procId, std::vector<Event>* progress = nullptr) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            for (std::string text = controller.takeEvent(); !text.empty(); text = controller.takeEvent())
                received.push_back(split(text));
            for (size_t i = 0; i < received.size(); ++i) {
                const Event& e = received[i];
                if (e.size() == 6 && e[1] == "onResult" && e[2] == procId) {
                    if (progress)
                        for (size_t j = 0; j < i; ++j)
                            if (received[j][1] == "onProgress" && received[j][2] == procId) progress->push_back(received[j]);
                    return e;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ADD_FAILURE() << "no result for " << procId;
        return {};
    }
    int resultOf(const std::string& path, const std::string& type = "OverDrive") {
        Event e = events(convert(path, type));
        return e.size() == 6 ? std::stoi(e[3]) : -1;
    }

    std::string file(const std::string& name) const { return home.file(name); }

    TempHome home;
    TarnAppWebViewController controller;
    std::vector<Event> received;
};

TEST_F(TrnIrModuleTest, InputsThatAreNoUsablePcmOrFloatWavFailWithTheirCodes) {
    EXPECT_EQ(resultOf(""), 4097) << "only an empty path";
    EXPECT_EQ(resultOf(file("missing.wav")), 4099);
    writeFile(file("text.wav"), "just some words, no RIFF here");
    EXPECT_EQ(resultOf(file("text.wav")), 4099);
    WaveFormat pcm = format(1, 2, 16, 48000);
    writeFile(file("extensible.wav"), riff(chunk("fmt ", extensibleBody(pcm, 1)) + chunk("data", std::string(400, 0))));
    EXPECT_EQ(resultOf(file("extensible.wav")), 4099);
    writeFile(file("three.wav"), wavFile(format(1, 3, 16, 48000), std::string(600, 0)));
    EXPECT_EQ(resultOf(file("three.wav")), 4099);
    writeFile(file("alaw.wav"), wavFile(format(6, 1, 8, 8000), std::string(800, 0x55)));
    EXPECT_EQ(resultOf(file("alaw.wav")), 4099);
    WaveFormat noRate = format(1, 1, 16, 0);
    writeFile(file("norate.wav"), wavFile(noRate, std::string(200, 1)));
    EXPECT_EQ(resultOf(file("norate.wav")), 4099);
    // Readable formats whose samples the job cannot all read.
    writeFile(file("short.wav"), wavFile(format(1, 1, 16, 48000), s16(1000), "") + "");
    std::string truncated = riff(chunk("fmt ", formatBody(format(1, 1, 16, 48000))) + chunk("data", s16(5), 4000));
    writeFile(file("truncated.wav"), truncated);
    EXPECT_EQ(resultOf(file("truncated.wav")), 4096);
    writeFile(file("double.wav"), wavFile(format(3, 1, 64, 48000), std::string(80, 0)));
    EXPECT_EQ(resultOf(file("double.wav")), 4096);
    EXPECT_EQ(resultOf(file("short.wav")), 0);
}

TEST_F(TrnIrModuleTest, EverySampleWidthIsScaledToPlusMinusOne) {
    // The dummy hands the samples from the onset back unchanged: 0.5 left, -0.25 right.
    struct Case {
        uint16_t tag, bits;
        std::string half, minusQuarter;
    } cases[] = {{1, 8, std::string(1, char(192)), std::string(1, char(96))},
                 {1, 16, s16(16384), s16(-8192)},
                 {1, 24, s24(4194304), s24(-2097152)},
                 {1, 32, u32(1u << 30), u32(uint32_t(-(1 << 29)))},
                 {3, 32, f32(0.5f), f32(-0.25f)}};
    for (const Case& c : cases) {
        for (uint16_t channels : {1, 2}) {
            std::string data = c.half + (channels == 2 ? c.minusQuarter : "");
            std::string zero = c.bits == 8 ? std::string(1, char(128)) : std::string(c.bits / 8, 0);
            for (int i = 0; i < 99; ++i) data += channels == 2 ? zero + zero : zero;
            std::string path = file("w" + std::to_string(c.bits) + "_" + std::to_string(c.tag) + "_" + std::to_string(channels));
            writeFile(path, wavFile(format(c.tag, channels, c.bits, 44100), data));
            Event e = events(convert(path, "anything"));
            ASSERT_EQ(e.size(), 6u);
            ASSERT_EQ(e[3], "0") << c.bits << " bits";
            std::vector<float> left = floats(readFile(e[4])), right = floats(readFile(e[5]));
            ASSERT_EQ(left.size(), 1024u) << "the dummy's length";
            ASSERT_EQ(right.size(), 1024u);
            EXPECT_FLOAT_EQ(left[0], 0.5f) << c.bits << " bits, " << channels;
            EXPECT_FLOAT_EQ(right[0], channels == 2 ? -0.25f : 0.5f) << c.bits << " bits, " << channels;
            EXPECT_FLOAT_EQ(left[1], 0.0f);
        }
    }
}

TEST_F(TrnIrModuleTest, ASuccessfulJobReportsProgressThenOneResultWithItsTwoFiles) {
    std::string data;
    for (int i = 0; i < 48000; ++i) {
        int v = i == 0 ? 30000 : int(20000 * std::exp(-i / 200.0) * std::sin(i * 0.3));
        data += s16(v) + s16(v / 2);
    }
    writeFile(file("pedal.wav"), wavFile(format(1, 2, 16, 96000), data));
    for (const char* type : {"OverDrive", "Distortion", "Delay", "AnalogDelay", "Reverb", "Fuzz"}) {
        std::string procId = convert(file("pedal.wav"), type);
        std::vector<Event> progress;
        Event result = events(procId, &progress);
        ASSERT_EQ(result.size(), 6u);
        EXPECT_EQ(result[0], "trnIr");
        EXPECT_EQ(result[3], "0") << type;
        ASSERT_EQ(temporaryFolder(), home.path() + "/tmp/") << "the folder $$fs_path temporary names";
        EXPECT_EQ(result[4], temporaryFolder() + "KRV" + procId + ".tmp");
        EXPECT_EQ(result[5], temporaryFolder() + "KRV" + procId + "_R.tmp");
        size_t length = std::string(type) == "OverDrive" ? 3354 : std::string(type) == "Distortion" ? 2048
                        : std::string(type) == "Fuzz" ? 1024 : 119;
        EXPECT_EQ(readFile(result[4]).size(), 4 * length) << type;
        EXPECT_EQ(readFile(result[5]).size(), 4 * length) << type;
        ASSERT_FALSE(progress.empty()) << "one last progress before the result";
        EXPECT_EQ(progress.back()[3], "100");
        for (size_t i = 0; i < progress.size(); ++i) {
            int p = std::stoi(progress[i][3]);
            EXPECT_TRUE(p >= 1 && p <= 100);
            if (i) {
                EXPECT_LE(std::stoi(progress[i - 1][3]), p);
            }
        }
        // The job is gone: cancelling it does nothing, and no second result follows.
        EXPECT_EQ(call({"$$trnIr_cancel", procId}), "b1");
        int results = 0;
        for (const Event& e : received) results += e[1] == "onResult" && e[2] == procId;
        EXPECT_EQ(results, 1);
        unlink(result[4].c_str());
        unlink(result[5].c_str());
    }
    EXPECT_EQ(call({"$$trnIr_cancel", "no-such-job"}), "b1");
    EXPECT_EQ(call({"$$trnIr_other", "x"}), "v");
}

TEST_F(TrnIrModuleTest, CancelRightAfterConvertEndsTheJobAsCancelledWithoutFiles) {
    // Two minutes of stereo: the job is still reading when the cancel comes.
    std::string frame = s16(12000) + s16(-12000);
    std::string data;
    data.reserve(frame.size() * 48000 * 120);
    for (int i = 0; i < 48000 * 120; ++i) data += frame;
    writeFile(file("long.wav"), wavFile(format(1, 2, 16, 48000), data));
    for (const char* type : {"Reverb", "OverDrive"}) {
        std::string procId = convert(file("long.wav"), type);
        EXPECT_EQ(call({"$$trnIr_cancel", procId}), "b1");
        Event e = events(procId);
        ASSERT_EQ(e.size(), 6u);
        EXPECT_EQ(e[3], "8192") << type;
        EXPECT_EQ(e[4], "");
        EXPECT_EQ(e[5], "");
        EXPECT_FALSE(exists(temporaryFolder() + "KRV" + procId + ".tmp"));
        EXPECT_FALSE(exists(temporaryFolder() + "KRV" + procId + "_R.tmp"));
    }
}

TEST_F(TrnIrModuleTest, JobsRunSideBySideWithTheirOwnIdentifiers) {
    std::string data;
    for (int i = 0; i < 96000; ++i) data += s16(i % 4800 == 0 ? 20000 : 0);
    writeFile(file("echo.wav"), wavFile(format(1, 1, 16, 48000), data));
    std::string first = convert(file("echo.wav"), "Delay");
    std::string second = convert(file("echo.wav"), "Reverb", 0);
    EXPECT_NE(first, second);
    Event a = events(first), b = events(second);
    ASSERT_EQ(a.size(), 6u);
    ASSERT_EQ(b.size(), 6u);
    EXPECT_EQ(a[3], "0");
    EXPECT_EQ(b[3], "0");
    EXPECT_NEAR(floats(readFile(a[4]))[0], 100.0f, 0.05f) << "repeats every 100 ms";
    EXPECT_NE(readFile(a[4]), readFile(b[4]));
}

TEST_F(TrnIrModuleTest, AnOutputThatCannotBeCreatedFailsWithTheOutputErrorAndLeavesNothing) {
    writeFile(file("in.wav"), wavFile(format(1, 1, 16, 48000), s16(20000) + std::string(200, 0)));
    const std::string saved = getenv("TMPDIR");
    setenv("TMPDIR", file("no-such-folder").c_str(), 1);
    Event e = events(convert(file("in.wav"), "Reverb"));
    setenv("TMPDIR", saved.c_str(), 1);
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[3], "4098");
    EXPECT_EQ(e[4], "");
    EXPECT_EQ(e[5], "");
}

TEST_F(TrnIrModuleTest, ArgumentsOfTheWrongShapeFailTheCall) {
    for (std::string bad : {"not json", "[]", "{\"path\":\"a\",\"stereoProc\":1}", "{\"path\":1,\"stereoProc\":1,\"type\":\"x\"}",
                            "{\"path\":\"a\",\"stereoProc\":\"1\",\"type\":\"x\"}", "{\"path\":\"a\",\"stereoProc\":1,\"type\":null}"})
        EXPECT_EQ(call({"$$trnIr_convert", bad}), "esystem exception") << bad;
    // A fraction is truncated: 2.9 is 2.
    std::string result = call({"$$trnIr_convert", "{\"path\":\"\",\"stereoProc\":2.9,\"type\":\"Reverb\"}"});
    ASSERT_EQ(result.size(), 37u);
    EXPECT_EQ(events(result.substr(1))[3], "4097");
}

}  // namespace
