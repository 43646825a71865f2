#include "wav/WavBytes.h"
#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <gtest/gtest.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace wav;
using namespace wavbytes;

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == separator) out.emplace_back();
        else out.back() += c;
    }
    return out;
}

class TrnWavModuleTest : public ::testing::Test {
protected:
    TrnWavModuleTest() { mkdir(folder().c_str(), 0700); }
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }

    static std::string job(const std::string& from, const std::string& to, int format, int bits, int rate = 44100) {
        Json args = {{"from", from}, {"to", to}, {"format", format}, {"bits", bits}, {"sampleRate", rate}, {"name", "x"}};
        return jsonText(args);
    }

    // The next event, split into its fields; fails after a few seconds without one.
    std::vector<std::string> nextEvent() {
        for (int i = 0; i < 2000; ++i) {
            std::string event = controller.takeEvent();
            if (!event.empty()) return split(event, '\f');
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "no event";
        return {};
    }

    std::string folder() const { return home.file("work"); }
    std::string file(const std::string& name) const { return folder() + "/" + name; }

    TempHome home;
    TarnAppWebViewController controller;
};

TEST_F(TrnWavModuleTest, AlignsMono24BitToStereo16Bit) {
    std::string data;
    for (int i = 0; i < 1000; ++i) data += s24(i * 8000 - 4000000);
    writeFile(file("in.wav"), wavFile(format(1, 1, 24), data));
    EXPECT_EQ(call({"$$trnWav_alignTo4byteData", job(file("in.wav"), file("out.wav"), 1, 16)}), "v");
    std::vector<std::string> event = nextEvent();
    ASSERT_EQ(event.size(), 4u);
    EXPECT_EQ(event[0], "trnWav");
    EXPECT_EQ(event[1], "finishedAlignTo4byteData");
    EXPECT_EQ(event[2], file("in.wav"));
    EXPECT_EQ(event[3], "{\"path\":" + jsonQuote(file("out.wav")) + ",\"result\":1,\"samples\":1000}");
    std::string out = readFile(file("out.wav"));
    ASSERT_EQ(out.size(), 44u + 4000u);
    EXPECT_EQ(out.substr(20, 16), formatBody(WaveFormat{1, 2, 44100, 176400, 4, 16}));
    EXPECT_EQ(namesIn(folder()), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(TrnWavModuleTest, FailedJobsLeaveNoDestination) {
    writeFile(file("48k.wav"), wavFile(format(1, 2, 16, 48000), "12345678"));
    writeFile(file("track.wav"), wavFile(format(3, 2, 32), std::string(80, '\0')));
    call({"$$trnWav_alignTo4byteData", job(file("48k.wav"), file("a.wav"), 3, 32)});
    std::vector<std::string> event = nextEvent();
    ASSERT_EQ(event.size(), 4u);
    EXPECT_EQ(event[3], "{\"path\":" + jsonQuote(file("a.wav")) + ",\"result\":0}");

    call({"$$trnWav_convertDataFormat", job(file("track.wav"), file("b.wav"), 1, 8)});
    event = nextEvent();
    EXPECT_EQ(event[1], "finishedConvertDataFormat");
    EXPECT_EQ(event[3], "{\"path\":" + jsonQuote(file("b.wav")) + ",\"result\":0}");

    call({"$$trnWav_convertDataFormat", job(file("missing.wav"), file("c.wav"), 1, 16)});
    event = nextEvent();
    EXPECT_EQ(event[2], file("missing.wav"));
    EXPECT_EQ(event[3], "{\"path\":" + jsonQuote(file("c.wav")) + ",\"result\":0}");

    call({"$$trnWav_convertDataFormat", job(file("track.wav"), file("no/such/folder.wav"), 1, 16)});
    EXPECT_EQ(split(nextEvent()[3], ',').back(), "\"result\":0}");
    // A zero byte in a path must not let the job write to (or read) the path before it.
    call({"$$trnWav_convertDataFormat", job(file("track.wav"), file("d.wav") + std::string(1, '\0') + "x", 1, 16)});
    EXPECT_EQ(split(nextEvent()[3], ',').back(), "\"result\":0}");
    call({"$$trnWav_convertDataFormat", job(file("track.wav") + std::string(1, '\0') + "x", file("e.wav"), 1, 16)});
    EXPECT_EQ(split(nextEvent()[3], ',').back(), "\"result\":0}");
    EXPECT_EQ(call({"$$trnWav_formatWithAcidChunk", file("track.wav") + std::string(1, '\0')}), "s{\"result\":0}");
    EXPECT_EQ(namesIn(folder()), (std::vector<std::string>{"48k.wav", "track.wav"}));
}

TEST_F(TrnWavModuleTest, AFailedJobKeepsAnExistingDestinationAndASuccessfulOneReplacesIt) {
    writeFile(file("old.wav"), "keep me");
    writeFile(file("48k.wav"), wavFile(format(1, 2, 16, 48000), "12345678"));
    call({"$$trnWav_alignTo4byteData", job(file("48k.wav"), file("old.wav"), 1, 16)});
    EXPECT_EQ(nextEvent().at(3), "{\"path\":" + jsonQuote(file("old.wav")) + ",\"result\":0}");
    EXPECT_EQ(readFile(file("old.wav")), "keep me");

    writeFile(file("track.wav"), wavFile(format(3, 2, 32), f32(1.0f) + f32(-1.0f)));
    call({"$$trnWav_convertDataFormat", job(file("track.wav"), file("old.wav"), 1, 16)});
    EXPECT_EQ(nextEvent().at(3), "{\"path\":" + jsonQuote(file("old.wav")) + ",\"result\":1}");
    EXPECT_EQ(readFile(file("old.wav")), wavFile(format(1, 2, 16), s16(32767) + s16(-32768)));
}

TEST_F(TrnWavModuleTest, ADestinationNameOfFullLengthIsWritten) {
    writeFile(file("in.wav"), wavFile(format(1, 2, 16), "1234"));
    std::string name;
    for (int i = 0; i < 125; ++i) name += "\xc3\xa9";  // 250 bytes of UTF-8
    name += ".wav";
    call({"$$trnWav_alignTo4byteData", job(file("in.wav"), file(name), 1, 16)});
    EXPECT_EQ(split(nextEvent().at(3), ',').at(1), "\"result\":1");
    EXPECT_EQ(readFile(file(name)).size(), 48u);
    EXPECT_EQ(namesIn(folder()).size(), 2u);
}

TEST_F(TrnWavModuleTest, ConvertingAFileOntoItselfWorks) {
    writeFile(file("same.wav"), wavFile(format(1, 2, 16), s16(-32768) + s16(16384)));
    call({"$$trnWav_alignTo4byteData", job(file("same.wav"), file("same.wav"), 3, 32)});
    EXPECT_EQ(split(nextEvent().at(3), ',').at(1), "\"result\":1");
    std::string out = readFile(file("same.wav"));
    EXPECT_EQ(out.substr(56), f32(-1.0f) + f32(0.5f));
}

TEST_F(TrnWavModuleTest, BadJobArgumentsFailTheCallAndStartNothing) {
    std::string from = file("in.wav");
    writeFile(from, wavFile(format(1, 2, 16), "1234"));
    for (const std::string& args :
         {std::string("[1,2]"), std::string("not json"), std::string("{\"from\":\"a\",\"to\":\"b\",\"bits\":16,\"format\":1}"),
          std::string("{\"from\":1,\"to\":\"b\",\"bits\":16,\"format\":1,\"sampleRate\":44100}"),
          std::string("{\"from\":\"a\",\"to\":\"b\",\"bits\":\"16\",\"format\":1,\"sampleRate\":44100}")}) {
        EXPECT_EQ(call({"$$trnWav_alignTo4byteData", args}), "esystem exception") << args;
        EXPECT_EQ(call({"$$trnWav_convertDataFormat", args}), "esystem exception") << args;
    }
    EXPECT_EQ(call({"$$trnWav_alignTo4byteData"}), "esystem exception");
    controller.nativeObjects().joinWorkers();
    EXPECT_EQ(controller.takeEvent(), "");
}

TEST_F(TrnWavModuleTest, NumbersAreTruncatedAndBackslashesEscaped) {
    std::string from = file("in.wav");
    writeFile(from, wavFile(format(1, 2, 16), s16(100) + s16(-100)));
    std::string to = file("back\\slash.wav");
    call({"$$trnWav_alignTo4byteData",
          "{\"from\":" + jsonQuote(from) + ",\"to\":" + jsonQuote(to) + ",\"bits\":32.9,\"format\":3.2,\"sampleRate\":1e3}"});
    std::string json = nextEvent().at(3);
    EXPECT_NE(json.find("back\\\\slash.wav\""), std::string::npos) << json;
    EXPECT_EQ(parseJson(json)["path"], to);
    EXPECT_EQ(parseJson(json)["result"], 1);
    EXPECT_EQ(readFile(to).size(), 56u + 8u);
}

TEST_F(TrnWavModuleTest, ManyJobsAtOnceEachReportOnce) {
    std::string from = file("in.wav");
    writeFile(from, wavFile(format(1, 2, 16), std::string(40000, '\x11')));
    for (int i = 0; i < 8; ++i)
        call({"$$trnWav_alignTo4byteData", job(from, file("out" + std::to_string(i) + ".wav"), 3, 32)});
    std::set<std::string> paths;
    for (int i = 0; i < 8; ++i) {
        Json result = parseJson(nextEvent().at(3));
        EXPECT_EQ(result["result"], 1);
        EXPECT_EQ(result["samples"], 10000);
        paths.insert(result["path"].get<std::string>());
        EXPECT_EQ(readFile(result["path"]).size(), 56u + 80000u);
    }
    EXPECT_EQ(paths.size(), 8u);
}

TEST_F(TrnWavModuleTest, FormatWithAcidChunk) {
    std::string plain = file("plain.wav"), tempo = file("tempo.wav");
    writeFile(plain, riff(chunk("fmt ", extensibleBody(format(1, 2, 24), 3)) + chunk("data", std::string(60, '\0'))));
    writeFile(tempo, riff(chunk("fmt ", formatBody(format(1, 1, 16))) + chunk("data", std::string(10, '\0')) +
                          chunk("acid", acid(97.25f, 8, 4, 7))));
    EXPECT_EQ(call({"$$trnWav_formatWithAcidChunk", plain}),
              "s{\"bits\":24,\"channels\":2,\"format\":3,\"result\":1,\"sampleRate\":44100,\"samples\":10}");
    EXPECT_EQ(call({"$$trnWav_formatWithAcidChunk", tempo}),
              "s{\"beatCount\":8,\"bits\":16,\"channels\":1,\"denominator\":4,\"format\":1,\"numerator\":7,"
              "\"result\":1,\"sampleRate\":44100,\"samples\":5,\"tempo\":97.25}");

    writeFile(tempo, wavFile(format(1, 1, 16), "", chunk("acid", acid(-1.0f, 8, 4, 4))));
    EXPECT_EQ(call({"$$trnWav_formatWithAcidChunk", tempo}),
              "s{\"bits\":16,\"channels\":1,\"format\":1,\"result\":1,\"sampleRate\":44100,\"samples\":0}");
    writeFile(tempo, wavFile(format(1, 1, 16), "", chunk("acid", acid(INFINITY, 8, 4, 4))));
    EXPECT_EQ(parseJson(call({"$$trnWav_formatWithAcidChunk", tempo}).substr(1)).count("tempo"), 0u);

    writeFile(file("text.wav"), "hello, this is not a WAV file");
    EXPECT_EQ(call({"$$trnWav_formatWithAcidChunk", file("text.wav")}), "s{\"result\":0}");
    EXPECT_EQ(call({"$$trnWav_formatWithAcidChunk", file("missing.wav")}), "s{\"result\":0}");
    WaveFormat noAlign = format(1, 2, 16);
    noAlign.blockAlign = 0;
    writeFile(file("zero.wav"), wavFile(noAlign, "1234"));
    EXPECT_EQ(call({"$$trnWav_formatWithAcidChunk", file("zero.wav")}), "s{\"result\":0}");
    EXPECT_EQ(call({"$$trnWav_formatWithAcidChunk"}), "esystem exception");
}

}  // namespace
