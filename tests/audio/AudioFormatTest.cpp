#include "audio/AudioModuleFixture.h"

namespace {

class AudioFormatTest : public AudioModuleFixture {};

const char* kStereoTone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 "
                          "-f lavfi -i sine=frequency=660:sample_rate=44100:duration=3 "
                          "-filter_complex amerge=inputs=2";

TEST_F(AudioFormatTest, CompressedFilesReportTheirCodecRateAndByteRate) {
    ffmpegMake(std::string(kStereoTone) + " -c:a libmp3lame -b:a 192k", file("tone.mp3"));
    Json mp3 = callJson({"$$audio_format", file("tone.mp3")});
    EXPECT_EQ(mp3["format"], "MP3");
    EXPECT_EQ(mp3["channels"], 2);
    EXPECT_EQ(mp3["samplerate"], 44100);
    // 8 × the stream's average bytes per second, as the file's own reader states it.
    long probed = std::stol(probeAudio(file("tone.mp3"))["bit_rate"]);
    EXPECT_EQ(mp3["bitrate"], probed / 8 * 8);
    EXPECT_NEAR(mp3["duration"].get<double>(), 3.0, 0.1);

    ffmpegMake("-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -ac 2 -c:a aac -b:a 128k",
               file("tone.m4a"));
    Json aac = callJson({"$$audio_format", file("tone.m4a")});
    EXPECT_EQ(aac["format"], "AAC");
    EXPECT_EQ(aac["channels"], 2);
    EXPECT_EQ(aac["samplerate"], 48000);
    EXPECT_GT(aac["bitrate"].get<double>(), 64000);
    EXPECT_NEAR(aac["duration"].get<double>(), 2.0, 0.1);

    ffmpegMake("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 2 -c:a flac", file("tone.flac"));
    Json flac = callJson({"$$audio_format", file("tone.flac")});
    EXPECT_EQ(flac["format"], "0xF1AC");
    EXPECT_EQ(flac["channels"], 2);
}

TEST_F(AudioFormatTest, WavFilesArePcmAndFloatHasNoBitDepth) {
    ASSERT_EQ(shell("sox -n -r 22050 -c 1 -b 16 '" + file("mono16.wav") + "' synth 1.5 sine 300"), 0);
    Json pcm = callJson({"$$audio_format", file("mono16.wav")});
    EXPECT_EQ(pcm["format"], "PCM");
    EXPECT_EQ(pcm["bitdepth"], 16);
    EXPECT_EQ(pcm["channels"], 1);
    EXPECT_EQ(pcm["samplerate"], 22050);
    EXPECT_EQ(pcm["bitrate"], 22050 * 2 * 8);
    EXPECT_NEAR(pcm["duration"].get<double>(), 1.5, 0.001);

    ASSERT_EQ(shell("sox -n -r 44100 -c 2 -e floating-point -b 32 '" + file("float.wav") + "' synth 1 sine 300"), 0);
    Json flt = callJson({"$$audio_format", file("float.wav")});
    EXPECT_EQ(flt["format"], "PCM");
    EXPECT_EQ(flt["bitdepth"], 0);
    EXPECT_EQ(flt["bitrate"], 44100 * 8 * 8);
}

TEST_F(AudioFormatTest, UnreadableFilesGiveErrorWithZeros) {
    writeFile(file("notes.txt"), "these are not the sounds you are looking for\n");
    writeFile(file("fake.mp3"), std::string(4096, '\x5a'));
    const std::string zeros =
        "s{\"bitdepth\":0,\"bitrate\":0,\"channels\":0,\"duration\":0,\"format\":\"error\",\"samplerate\":0}";
    EXPECT_EQ(call({"$$audio_format", file("notes.txt")}), zeros);
    EXPECT_EQ(call({"$$audio_format", file("fake.mp3")}), zeros);
    EXPECT_EQ(call({"$$audio_format", file("missing.wav")}), zeros);
    EXPECT_EQ(call({"$$audio_format"}), "esystem exception");
}

}  // namespace
