#include "audio/AudioModuleFixture.h"
#include "sys/Paths.h"

namespace {

class AudioSampleJobsTest : public AudioModuleFixture {
protected:
    // Waits for the job on source and checks it succeeded.
    void expectConverted(const std::string& source) {
        auto result = conversionResult(source);
        ASSERT_GE(result.size(), 2u);
        EXPECT_EQ(result[1], "converted");
    }
    // 16-bit samples of one channel of an interleaved block.
    static std::vector<int16_t> channel(const std::vector<int16_t>& samples, int channels, int which) {
        std::vector<int16_t> out;
        for (size_t i = which; i < samples.size(); i += channels) out.push_back(samples[i]);
        return out;
    }
};

TEST_F(AudioSampleJobsTest, SplitGivesLeftAndRightOrAStereoCopy) {
    ASSERT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + file("st.wav") + "' synth 1.3 sine 300 sine 2000"), 0);
    const std::string two = jsonText(Json::array({file("l.wav"), file("r.wav")}));
    call({"$$audio_split", file("st.wav"), two});
    auto result = conversionResult(file("st.wav"));
    ASSERT_EQ(result.size(), 4u);
    EXPECT_EQ(result[1], "converted");
    EXPECT_EQ(result[3], two);  // the page's text, passed on as it came

    WavContents src = readWav(file("st.wav")), left = readWav(file("l.wav")), right = readWav(file("r.wav"));
    ASSERT_TRUE(left.ok && right.ok);
    EXPECT_EQ(left.channels, 1);
    EXPECT_EQ(left.blockAlign, 2);
    EXPECT_EQ(left.byteRate, 44100u * 2);
    EXPECT_EQ(left.samples16(), channel(src.samples16(), 2, 0));
    EXPECT_EQ(right.samples16(), channel(src.samples16(), 2, 1));

    call({"$$audio_split", file("st.wav"), jsonText(Json::array({file("copy.wav")}))});
    events.waitFor([&](const EventCollector::Event&) { return events.of("audio", file("st.wav")).size() == 2; },
                   std::chrono::seconds(30));
    WavContents copy = readWav(file("copy.wav"));
    EXPECT_EQ(copy.channels, 2);
    EXPECT_EQ(copy.data, src.data);
}

TEST_F(AudioSampleJobsTest, SixChannelsIntoTwoPathsKeepTheFirstFour) {
    ASSERT_EQ(shell("sox -n -r 48000 -c 6 -b 24 '" + file("six.wav") +
                    "' synth 0.7 sine 100 sine 200 sine 300 sine 400 sine 500 sine 600"),
              0);
    call({"$$audio_split", file("six.wav"), jsonText(Json::array({file("a.wav"), file("b.wav")}))});
    expectConverted(file("six.wav"));
    WavContents src = readWav(file("six.wav")), a = readWav(file("a.wav")), b = readWav(file("b.wav"));
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.bits, 24);
    EXPECT_EQ(a.blockAlign, 6);
    EXPECT_EQ(a.rate, 48000u);
    const size_t frames = src.data.size() / 18;
    ASSERT_EQ(a.data.size(), frames * 6);
    ASSERT_EQ(b.data.size(), frames * 6);
    for (size_t f = 0; f < frames; ++f) {
        ASSERT_EQ(a.data.compare(f * 6, 6, src.data, f * 18, 6), 0) << f;
        ASSERT_EQ(b.data.compare(f * 6, 6, src.data, f * 18 + 6, 6), 0) << f;
    }
}

TEST_F(AudioSampleJobsTest, ReverseKeepsEveryFrameIntact) {
    ASSERT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + file("fw.wav") + "' synth 1.1 sine 300 sine 440"), 0);
    call({"$$audio_reverse", file("fw.wav"), file("rev.wav")});
    auto result = conversionResult(file("fw.wav"));
    ASSERT_EQ(result.size(), 4u);
    EXPECT_EQ(parseJson(result[3]), Json::array({file("rev.wav")}));
    WavContents src = readWav(file("fw.wav")), rev = readWav(file("rev.wav"));
    ASSERT_TRUE(rev.ok);
    EXPECT_EQ(rev.tag, src.tag);
    EXPECT_EQ(rev.channels, 2);
    EXPECT_EQ(rev.rate, 44100u);
    const size_t frames = src.data.size() / 4;
    ASSERT_EQ(rev.data.size(), src.data.size());
    for (size_t f = 0; f < frames; ++f) ASSERT_EQ(rev.data.compare(f * 4, 4, src.data, (frames - 1 - f) * 4, 4), 0) << f;
}

TEST_F(AudioSampleJobsTest, CompressedSourcesGoThroughATemporaryWavThatIsRemoved) {
    ffmpegMake("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1.5 -ac 2 -c:a libmp3lame -b:a 128k",
               file("tone.mp3"));
    call({"$$audio_reverse", file("tone.mp3"), file("rev.wav")});
    expectConverted(file("tone.mp3"));
    call({"$$audio_split", file("tone.mp3"), jsonText(Json::array({file("l.wav"), file("r.wav")}))});
    events.waitFor([&](const EventCollector::Event&) { return events.of("audio", file("tone.mp3")).size() == 2; },
                   std::chrono::seconds(30));
    for (const auto& e : events.of("audio", file("tone.mp3"))) EXPECT_EQ(e[1], "converted");

    WavContents rev = readWav(file("rev.wav")), left = readWav(file("l.wav"));
    EXPECT_EQ(rev.tag, 1);
    EXPECT_EQ(rev.bits, 16);
    EXPECT_EQ(rev.channels, 2);
    EXPECT_NEAR(rev.data.size() / 4 / 44100.0, 1.5, 0.1);
    EXPECT_EQ(left.channels, 1);
    EXPECT_EQ(left.data.size() * 2, rev.data.size());
    EXPECT_TRUE(filesStartingWith(temporaryFolder(), "___").empty());
}

TEST_F(AudioSampleJobsTest, BadRequestsEndAsConvertfailedWithoutOutputs) {
    ASSERT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + file("st.wav") + "' synth 0.2 sine 300"), 0);
    const std::vector<std::string> wavsTexts = {
        "not json at all", "{\"a\":1}", "[1,2]", "[]", jsonText(Json::array({file("1.wav"), file("2.wav"), file("3.wav")}))};
    for (const auto& wavs : wavsTexts) call({"$$audio_split", file("st.wav"), wavs});
    call({"$$audio_split", file("missing.wav"), jsonText(Json::array({file("m.wav")}))});
    call({"$$audio_reverse", file("missing.wav"), file("mr.wav")});
    ASSERT_TRUE(events.waitFor(
        [&](const EventCollector::Event&) {
            return events.of("audio", file("st.wav")).size() == wavsTexts.size() &&
                   events.of("audio", file("missing.wav")).size() == 2;
        },
        std::chrono::seconds(30)));
    for (const auto& e : events.of("audio", file("st.wav"))) EXPECT_EQ(e[1], "convertfailed");
    for (const auto& e : events.of("audio", file("missing.wav"))) EXPECT_EQ(e[1], "convertfailed");
    for (const char* name : {"1.wav", "2.wav", "3.wav", "m.wav", "mr.wav"}) EXPECT_FALSE(fileExists(file(name))) << name;
}

TEST_F(AudioSampleJobsTest, AnUnwritableOutputRemovesTheOthers) {
    ASSERT_EQ(shell("sox -n -r 44100 -c 2 -b 16 '" + file("st.wav") + "' synth 0.2 sine 300"), 0);
    call({"$$audio_split", file("st.wav"), jsonText(Json::array({file("ok.wav"), file("no/such/folder.wav")}))});
    EXPECT_EQ(conversionResult(file("st.wav"))[1], "convertfailed");
    EXPECT_FALSE(fileExists(file("ok.wav")));
}

}  // namespace
