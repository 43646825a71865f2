#include "audio/SamplerTestSupport.h"

namespace {

class SamplerModuleTest : public SamplerFixture {};

TEST_F(SamplerModuleTest, BeforeCreateEveryCallAnswersItsRestingValue) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> table = {
        {{"$$sampler_device", "0", "x"}, "s"},   {{"$$sampler_open", "0", file("none.wav")}, "b"},
        {{"$$sampler_close", "0"}, "v"},         {{"$$sampler_start"}, "v"},
        {{"$$sampler_play", "0"}, "v"},          {{"$$sampler_pause", "0"}, "v"},
        {{"$$sampler_stop"}, "v"},               {{"$$sampler_locate", "0", "1"}, "v"},
        {{"$$sampler_begin", "0", "1"}, "f0.000000"},  {{"$$sampler_end", "0", "1"}, "f0.000000"},
        {{"$$sampler_volume", "0", "0.5"}, "f1.000000"}, {{"$$sampler_repeat", "0", "3"}, "d0"},
        {{"$$sampler_speed", "0", "2"}, "f1.000000"},  {{"$$sampler_pitch", "0", "100"}, "f0.000000"},
        {{"$$sampler_fadein", "0", "1"}, "f0.000000"}, {{"$$sampler_fadeout", "0", "1"}, "f0.000000"},
        {{"$$sampler_control", "0", "x"}, "s"},  {{"$$sampler_file", "0"}, "s"},
        {{"$$sampler_totaltime", "0"}, "f0.000000"},   {{"$$sampler_status"}, "s"},
    };
    for (const auto& [args, expected] : table) EXPECT_EQ(call(args), expected) << args[0];
}

TEST_F(SamplerModuleTest, CreateMakesNumberedPlayersOnceAndChecksNumbers) {
    // A count no host could hold is refused at once and makes nothing.
    EXPECT_EQ(call({"$$sampler_create", "2147483647"}).substr(0, 1), "e");
    EXPECT_EQ(call({"$$sampler_status"}), "s");
    EXPECT_EQ(call({"$$sampler_create", "3"}), "v");
    EXPECT_EQ(call({"$$sampler_create", "5"}), "v");  // players exist: nothing more
    Json list = status();
    ASSERT_EQ(list.size(), 3u);
    for (const auto& player : list) {
        EXPECT_EQ(player["state"], 0);
        EXPECT_EQ(player["time"], 0);
        EXPECT_EQ(player["peakpower"], Json::array({-120, -120}));
    }
    EXPECT_EQ(call({"$$sampler_status"}).substr(0, 3), "s[{");
    for (const char* id : {"3", "-1", "seven"}) EXPECT_EQ(call({"$$sampler_volume", id}), "esystem exception") << id;
    EXPECT_EQ(call({"$$sampler_file"}), "esystem exception");
    EXPECT_EQ(call({"$$sampler_control", "2", "anything"}), "s");
    EXPECT_EQ(call({"$$sampler_start"}), "v");
}

TEST_F(SamplerModuleTest, OutOfRangeSettingsAreIgnoredAndTheRestStored) {
    call({"$$sampler_create", "1"});
    EXPECT_EQ(call({"$$sampler_speed", "0", "3"}), "f1.000000");
    EXPECT_EQ(call({"$$sampler_speed", "0", "0.4"}), "f1.000000");
    EXPECT_EQ(call({"$$sampler_speed", "0", "0.5"}), "f0.500000");
    EXPECT_EQ(call({"$$sampler_pitch", "0", "3000"}), "f0.000000");
    EXPECT_EQ(call({"$$sampler_pitch", "0", "-2400"}), "f-2400.000000");
    EXPECT_EQ(call({"$$sampler_volume", "0", "1.5"}), "f1.000000");
    EXPECT_EQ(call({"$$sampler_volume", "0", "0.25"}), "f0.250000");
    EXPECT_EQ(call({"$$sampler_repeat", "0", "-2"}), "d0");
    EXPECT_EQ(call({"$$sampler_repeat", "0", "-1"}), "d-1");
    EXPECT_EQ(call({"$$sampler_fadein", "0", "-1"}), "f0.000000");
    EXPECT_EQ(call({"$$sampler_fadeout", "0", "0.75"}), "f0.750000");
    EXPECT_EQ(call({"$$sampler_end", "0", "-1"}), "f0.000000");
    EXPECT_EQ(call({"$$sampler_speed", "0"}), "f0.500000");  // without a value: the current one
}

TEST_F(SamplerModuleTest, OpenLoadsTheFileAndCloseForgetsIt) {
    call({"$$sampler_create", "2"});
    const std::string path = tone(1.5);
    EXPECT_EQ(call({"$$sampler_open", "1", file("missing.wav")}), "b");
    writeFile(file("junk.wav"), std::string(5000, '\x41'));
    EXPECT_EQ(call({"$$sampler_open", "1", file("junk.wav")}), "b");
    EXPECT_EQ(call({"$$sampler_file", "1"}), "s");
    ASSERT_EQ(call({"$$sampler_open", "1", path}), "b1");
    EXPECT_EQ(call({"$$sampler_file", "1"}), "s" + path);
    EXPECT_NEAR(number(call({"$$sampler_totaltime", "1"})), 1.5, 0.01);
    EXPECT_EQ(call({"$$sampler_begin", "1", "2.0"}), "f0.000000");  // past the end: ignored
    EXPECT_EQ(call({"$$sampler_begin", "1", "0.5"}), "f0.500000");
    EXPECT_EQ(call({"$$sampler_end", "1", "1.2"}), "f1.200000");
    EXPECT_EQ(call({"$$sampler_begin", "1"}), "f0.000000");  // the end point passed it: back to 0
    call({"$$sampler_close", "1"});
    EXPECT_EQ(call({"$$sampler_file", "1"}), "s");
    EXPECT_EQ(call({"$$sampler_totaltime", "1"}), "f0.000000");
    EXPECT_EQ(call({"$$sampler_end", "1"}), "f0.000000");
    call({"$$sampler_play", "1"});  // nothing loaded: nothing starts, nothing ends
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(state(1), 0);
    EXPECT_TRUE(eofs(1).empty());
}

TEST_F(SamplerModuleTest, RepeatPlaysThreeTimesThenOneEof) {
    call({"$$sampler_create", "1"});
    const std::string path = tone(0.5);
    ASSERT_EQ(call({"$$sampler_open", "0", path}), "b1");
    EXPECT_EQ(call({"$$sampler_repeat", "0", "2"}), "d2");
    MonitorCapture capture(pulse.sinkName(), capturePath());
    call({"$$sampler_play", "0"});
    ASSERT_TRUE(waitForEof(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<int16_t> recording = capture.stop();
    const ToneMeasure heard = measureTone(recording);
    EXPECT_NEAR(soundingSeconds(recording), 1.5, 0.05);
    EXPECT_NEAR(heard.frequency, 1000, 10);
    const auto ends = eofs(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0], (EventCollector::Event{"sampler", "eof", "0", path}));
    EXPECT_EQ(state(0), 0);
    EXPECT_EQ(status()[0]["time"], 0);
}

TEST_F(SamplerModuleTest, EndlessRepeatKeepsLoopingUntilStopped) {
    call({"$$sampler_create", "1"});
    ASSERT_EQ(call({"$$sampler_open", "0", tone(0.3)}), "b1");
    call({"$$sampler_repeat", "0", "-1"});
    call({"$$sampler_play", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_EQ(state(0), 2);
    EXPECT_LT(status()[0]["time"].get<double>(), 0.35);  // the time goes round with the sound
    EXPECT_TRUE(eofs(0).empty());
    call({"$$sampler_stop"});  // every player, forced
    ASSERT_TRUE(pumpUntil([&] { return state(0) == 0; }, std::chrono::seconds(2)));
    EXPECT_TRUE(eofs(0).empty());  // a stop is not an end
}

TEST_F(SamplerModuleTest, EndlessRepeatOfAnEmptyRangeEndsInsteadOfSpinning) {
    call({"$$sampler_create", "1"});
    ASSERT_EQ(call({"$$sampler_open", "0", tone(0.5)}), "b1");
    EXPECT_EQ(call({"$$sampler_begin", "0", "0.5"}), "f0.500000");  // at the very end
    call({"$$sampler_repeat", "0", "-1"});
    call({"$$sampler_play", "0"});
    ASSERT_TRUE(waitForEof(0, 3));
    EXPECT_EQ(state(0), 0);
    EXPECT_EQ(call({"$$sampler_close", "0"}), "v");  // the render thread is free to stop
}

TEST_F(SamplerModuleTest, EndPointTurnsBackToTheBeginOrEnds) {
    call({"$$sampler_create", "1"});
    const std::string path = tone(10, 1000);
    ASSERT_EQ(call({"$$sampler_open", "0", path}), "b1");
    EXPECT_EQ(call({"$$sampler_end", "0", "2.0"}), "f2.000000");
    EXPECT_EQ(call({"$$sampler_begin", "0", "6.8"}), "f6.800000");
    call({"$$sampler_locate", "0", "7.4"});
    EXPECT_NEAR(status()[0]["time"].get<double>(), 7.4, 1e-4);
    call({"$$sampler_repeat", "0", "1"});
    MonitorCapture capture(pulse.sinkName(), capturePath());
    call({"$$sampler_play", "0"});
    double latest = 0;
    ASSERT_TRUE(events.waitFor(
        [&](const EventCollector::Event& e) {
            latest = std::max(latest, status()[0]["time"].get<double>());
            return e.size() >= 3 && e[1] == "eof";
        },
        std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // 7.4 → 8.0, back to 6.8, → 8.0: 1.8 s of sound, never past the end point.
    // Each turn comes within a period and a half past the end point.
    const double heard = soundingSeconds(capture.stop());
    EXPECT_GT(heard, 1.76);
    EXPECT_LT(heard, 1.92);
    EXPECT_LT(latest, 8.1);
    EXPECT_EQ(eofs(0).size(), 1u);
    EXPECT_NEAR(status()[0]["time"].get<double>(), 6.8, 1e-4);  // stopped at the begin point
}

TEST_F(SamplerModuleTest, TwoPlayersOnTwoSinksReachOnlyTheirOwn) {
    pulse.pactl("load-module module-null-sink sink_name=tarn_second rate=44100 channels=2");
    call({"$$sampler_create", "2"});
    EXPECT_EQ(call({"$$sampler_device", "0", pulse.sinkName()}), "s" + pulse.sinkName());
    EXPECT_EQ(call({"$$sampler_device", "1", "tarn_second"}), "starn_second");
    ASSERT_EQ(call({"$$sampler_open", "0", tone(1.0, 500)}), "b1");
    ASSERT_EQ(call({"$$sampler_open", "1", tone(1.0, 1500)}), "b1");
    MonitorCapture first(pulse.sinkName(), capturePath());
    MonitorCapture second("tarn_second", capturePath());
    call({"$$sampler_play", "0"});
    call({"$$sampler_play", "1"});
    ASSERT_TRUE(waitForEof(0));
    ASSERT_TRUE(waitForEof(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<int16_t> ra = first.stop(), rb = second.stop();
    const ToneMeasure a = measureTone(ra), b = measureTone(rb);
    EXPECT_NEAR(a.frequency, 500, 5);
    EXPECT_NEAR(b.frequency, 1500, 15);
    EXPECT_NEAR(soundingSeconds(ra), 1.0, 0.05);
    EXPECT_NEAR(soundingSeconds(rb), 1.0, 0.05);
}

TEST_F(SamplerModuleTest, LosingTheChosenSinkFallsBackToTheDefaultAndStops) {
    const std::string module = pulse.pactl("load-module module-null-sink sink_name=tarn_second rate=44100 channels=2");
    call({"$$sampler_create", "1"});
    call({"$$sampler_device", "0", "tarn_second"});
    const std::string path = tone(6);
    ASSERT_EQ(call({"$$sampler_open", "0", path}), "b1");
    call({"$$sampler_play", "0"});
    ASSERT_TRUE(pumpUntil([&] { return state(0) == 2; }, std::chrono::seconds(2)));
    pulse.pactl("unload-module " + module);
    ASSERT_TRUE(pumpUntil([&] { return call({"$$sampler_device", "0"}) == "s"; }, std::chrono::seconds(5)));
    EXPECT_EQ(state(0), 0);
    EXPECT_EQ(call({"$$sampler_file", "0"}), "s" + path);  // still loaded, now on the default sink
    MonitorCapture capture(pulse.sinkName(), capturePath());
    call({"$$sampler_play", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    call({"$$sampler_stop", "0", "1"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NEAR(measureTone(capture.stop()).frequency, 1000, 10);
    EXPECT_TRUE(eofs(0).empty());
}

TEST_F(SamplerModuleTest, APlayerWithoutAChosenSinkFollowsTheDefault) {
    pulse.pactl("load-module module-null-sink sink_name=tarn_second rate=44100 channels=2");
    call({"$$sampler_create", "2"});
    call({"$$sampler_device", "1", pulse.sinkName()});  // chosen: stays where it is
    ASSERT_EQ(call({"$$sampler_open", "0", tone(6)}), "b1");
    ASSERT_EQ(call({"$$sampler_open", "1", tone(6, 500)}), "b1");
    call({"$$sampler_play", "0"});
    call({"$$sampler_play", "1"});
    ASSERT_TRUE(pumpUntil([&] { return state(0) == 2 && state(1) == 2; }, std::chrono::seconds(2)));
    pulse.pactl("set-default-sink tarn_second");
    ASSERT_TRUE(pumpUntil([&] { return state(0) == 0; }, std::chrono::seconds(5)));  // reopened: stopped
    EXPECT_EQ(state(1), 2);
    EXPECT_EQ(call({"$$sampler_device", "0"}), "s");
    MonitorCapture capture("tarn_second", capturePath());
    call({"$$sampler_play", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    call({"$$sampler_stop"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NEAR(measureTone(capture.stop()).frequency, 1000, 10);  // player 1 is not there
}

}  // namespace
