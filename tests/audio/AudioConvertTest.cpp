#include "audio/AudioModuleFixture.h"
#include "modules/NativeObjects.h"
#include "sys/Paths.h"

#include <algorithm>
#include <cmath>

namespace {

class AudioConvertTest : public AudioModuleFixture {
protected:
    std::string options(const std::string& out, const std::string& format, int channels, int rate, int bits,
                        int bitRate) {
        return jsonText(Json{{"file", out}, {"format", format}, {"channels", channels}, {"samplerate", rate},
                             {"bitdepth", bits}, {"bitrate", bitRate}});
    }
    // Waits for "converted" of this output (conversions of one source may end in any order).
    void expectConverted(const std::string& source, const std::string& out) {
        const std::string outputs = jsonText(Json::array({out}));
        bool seen = events.waitFor(
            [&](const EventCollector::Event& e) {
                return e.size() == 4 && e[0] == "audio" && e[1] == "converted" && e[2] == source && e[3] == outputs;
            },
            std::chrono::seconds(60));
        EXPECT_TRUE(seen) << "no \"converted\" for " << out;
    }
    // Nothing but the finished outputs: no partial files beside them.
    void expectNoPartialFiles() { EXPECT_TRUE(filesStartingWith(home.path(), ".~").empty()); }
};

TEST_F(AudioConvertTest, WavTargetsFollowBitDepthWhateverTheBitRateSays) {
    ASSERT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + file("src.wav") + "' synth 1 sine 440 sine 550"), 0);
    call({"$$audio_convert", file("src.wav"), options(file("float.wav"), "wav", 2, 44100, 0, 12345)});
    expectConverted(file("src.wav"), file("float.wav"));
    WavContents flt = readWav(file("float.wav"));
    ASSERT_TRUE(flt.ok);
    EXPECT_EQ(flt.tag, 3);
    EXPECT_EQ(flt.bits, 32);
    EXPECT_EQ(flt.blockAlign, 8);
    EXPECT_EQ(flt.byteRate, 44100u * 8);

    // 16-bit to float at the same rate is exact: every sample is the source's over 32768.
    WavContents src = readWav(file("src.wav"));
    std::vector<int16_t> in = src.samples16();
    std::vector<float> out = flt.samplesFloat();
    ASSERT_EQ(in.size(), out.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < in.size(); ++i) mismatches += out[i] != in[i] / 32768.0f;
    EXPECT_EQ(mismatches, 0u);

    call({"$$audio_convert", file("float.wav"), options(file("back16.wav"), "wav", 2, 44100, 16, 1)});
    expectConverted(file("float.wav"), file("back16.wav"));
    WavContents back = readWav(file("back16.wav"));
    EXPECT_EQ(back.tag, 1);
    EXPECT_EQ(back.bits, 16);
    EXPECT_EQ(back.byteRate, 44100u * 4);
    EXPECT_EQ(back.data, src.data);

    call({"$$audio_convert", file("src.wav"), options(file("mono24.wav"), "wav", 1, 48000, 24, 0)});
    expectConverted(file("src.wav"), file("mono24.wav"));
    WavContents mono = readWav(file("mono24.wav"));
    EXPECT_EQ(mono.tag, 1);
    EXPECT_EQ(mono.channels, 1);
    EXPECT_EQ(mono.bits, 24);
    EXPECT_EQ(mono.rate, 48000u);
    EXPECT_EQ(mono.byteRate, 48000u * 3);
    EXPECT_NEAR(static_cast<double>(mono.data.size()) / (48000 * 3), 1.0, 0.01);
    expectNoPartialFiles();
}

TEST_F(AudioConvertTest, ImportStepMakesStereoFloatAtTheDeviceRate) {
    ffmpegMake("-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=2 -c:a libmp3lame -b:a 128k",
               file("mono.mp3"));
    call({"$$audio_convert", file("mono.mp3"), options(file("import.wav"), "wav", 2, 44100, 0, 0)});
    expectConverted(file("mono.mp3"), file("import.wav"));
    WavContents wav = readWav(file("import.wav"));
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100u);
    std::vector<float> s = wav.samplesFloat();
    EXPECT_NEAR(s.size() / 2 / 44100.0, 2.0, 0.1);
    // A mono source reaches both channels at its own level (the tone's peak stays near 1/8).
    float peakLeft = 0, peakRight = 0;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        peakLeft = std::max(peakLeft, std::abs(s[i]));
        peakRight = std::max(peakRight, std::abs(s[i + 1]));
        ASSERT_EQ(s[i], s[i + 1]);
    }
    EXPECT_NEAR(peakLeft, 0.125, 0.02);
    EXPECT_EQ(peakLeft, peakRight);
}

// Block codecs pad their last block and the encoder's priming: an import of a 5.000 s clip
// must be 220,500 frames long whatever it was stored as, or the loop point drifts.
TEST_F(AudioConvertTest, ImportsKeepTheSourcesTrueLengthWithoutPrimingOrPadding) {
    const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=5 -ac 2 ";
    ffmpegMake(tone + "-c:a aac -b:a 128k", file("clip.m4a"));
    ffmpegMake(tone + "-c:a libmp3lame -b:a 192k", file("clip.mp3"));
    ffmpegMake(tone + "-c:a pcm_s16le", file("clip.wav"));
    for (const char* name : {"clip.m4a", "clip.mp3", "clip.wav"}) {
        const std::string out = file(std::string(name) + ".out.wav");
        call({"$$audio_convert", file(name), options(out, "wav", 2, 44100, 0, 0)});
        expectConverted(file(name), out);
        WavContents wav = readWav(out);
        ASSERT_TRUE(wav.ok) << name;
        EXPECT_EQ(wav.data.size() / wav.blockAlign, 220500u) << name;
    }
    // At another rate the length scales (5 s at 48 kHz).
    call({"$$audio_convert", file("clip.m4a"), options(file("clip48.wav"), "wav", 2, 48000, 16, 0)});
    expectConverted(file("clip.m4a"), file("clip48.wav"));
    WavContents wav48 = readWav(file("clip48.wav"));
    EXPECT_NEAR(static_cast<double>(wav48.data.size() / wav48.blockAlign), 240000.0, 2.0);
    // The start is not cut either: the tone is there from the first frames on.
    WavContents wav = readWav(file("clip.m4a.out.wav"));
    std::vector<float> s = wav.samplesFloat();
    float early = 0;
    for (size_t i = 0; i < 2 * 200 && i < s.size(); ++i) early = std::max(early, std::abs(s[i]));
    EXPECT_GT(early, 0.02f);
}

TEST_F(AudioConvertTest, CompressedTargetsCarryTheRequestedCodecRateAndChannels) {
    ASSERT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + file("src.wav") + "' synth 2 sine 440"), 0);
    call({"$$audio_convert", file("src.wav"), options(file("out.m4a"), "m4a", 2, 48000, 16, 128000)});
    call({"$$audio_convert", file("src.wav"), options(file("out.mp3"), "mp3", 1, 22050, 16, 64000)});
    expectConverted(file("src.wav"), file("out.m4a"));
    expectConverted(file("src.wav"), file("out.mp3"));
    auto m4a = probeAudio(file("out.m4a"));
    EXPECT_EQ(m4a["codec_name"], "aac");
    EXPECT_EQ(m4a["sample_rate"], "48000");
    EXPECT_EQ(m4a["channels"], "2");
    EXPECT_NEAR(std::stod(m4a["duration"]), 2.0, 0.1);
    EXPECT_NEAR(std::stol(m4a["bit_rate"]), 128000, 20000);
    auto mp3 = probeAudio(file("out.mp3"));
    EXPECT_EQ(mp3["codec_name"], "mp3");
    EXPECT_EQ(mp3["sample_rate"], "22050");
    EXPECT_EQ(mp3["channels"], "1");
    EXPECT_EQ(mp3["bit_rate"], "64000");
    expectNoPartialFiles();
}

TEST_F(AudioConvertTest, WrongOptionShapesFailTheCallAndStartNothing) {
    const std::string good = options(file("x.wav"), "wav", 2, 44100, 16, 0);
    const size_t workers = controller.nativeObjects().workerCount();
    for (const std::string& bad :
         {std::string("[1,2]"), std::string("{\"file\":\"x.wav\"}"), std::string("not json"),
          jsonText(Json{{"file", 7}, {"format", "wav"}, {"channels", 2}, {"samplerate", 44100}, {"bitdepth", 16},
                        {"bitrate", 0}}),
          jsonText(Json{{"file", "x.wav"}, {"format", "wav"}, {"channels", "2"}, {"samplerate", 44100},
                        {"bitdepth", 16}, {"bitrate", 0}})}) {
        EXPECT_EQ(call({"$$audio_convert", file("src.wav"), bad}), "esystem exception") << bad;
    }
    EXPECT_EQ(call({"$$audio_convert", file("src.wav")}), "esystem exception");
    events.drainFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(events.all().empty());
    EXPECT_EQ(controller.nativeObjects().workerCount(), workers);
    EXPECT_EQ(call({"$$audio_convert", file("src.wav"), good}), "v");
}

TEST_F(AudioConvertTest, FailuresReportConvertfailedAndLeaveNoFile) {
    ASSERT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + file("src.wav") + "' synth 0.5 sine 440"), 0);
    writeFile(file("broken.mp3"), std::string("ID3") + std::string(2000, '\x01'));
    const std::string opts = options(file("a.wav"), "WAV", 2, 44100, 16, 0);
    call({"$$audio_convert", file("src.wav"), opts});  // format names are case-sensitive
    EXPECT_EQ(conversionResult(file("src.wav")), (EventCollector::Event{"audio", "convertfailed", file("src.wav")}));
    call({"$$audio_convert", file("broken.mp3"), options(file("b.wav"), "wav", 2, 44100, 16, 0)});
    EXPECT_EQ(conversionResult(file("broken.mp3"))[1], "convertfailed");
    call({"$$audio_convert", file("missing.mp3"), options(file("c.m4a"), "m4a", 2, 44100, 16, 128000)});
    EXPECT_EQ(conversionResult(file("missing.mp3"))[1], "convertfailed");
    // Impossible targets fail in the worker too: no channels, an odd bit depth.
    call({"$$audio_convert", file("src.wav"), options(file("d.wav"), "wav", 0, 44100, 16, 0)});
    call({"$$audio_convert", file("src.wav"), options(file("e.wav"), "wav", 2, 44100, 12, 0)});
    EXPECT_TRUE(events.waitFor(
        [&](const EventCollector::Event&) { return events.of("audio", file("src.wav")).size() == 3; },
        std::chrono::seconds(30)));
    for (const auto& e : events.of("audio", file("src.wav"))) EXPECT_EQ(e[1], "convertfailed");
    for (const char* name : {"a.wav", "b.wav", "c.m4a", "d.wav", "e.wav"}) EXPECT_FALSE(fileExists(file(name))) << name;
    expectNoPartialFiles();
}

TEST_F(AudioConvertTest, AFailedConversionKeepsAnExistingDestination) {
    writeFile(file("keep.wav"), "the user's own file");
    writeFile(file("broken.m4a"), std::string(3000, '\x07'));
    call({"$$audio_convert", file("broken.m4a"), options(file("keep.wav"), "wav", 2, 44100, 16, 0)});
    EXPECT_EQ(conversionResult(file("broken.m4a"))[1], "convertfailed");
    EXPECT_EQ(readFile(file("keep.wav")), "the user's own file");
}

}  // namespace
