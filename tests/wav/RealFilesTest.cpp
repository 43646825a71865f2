// Imports and exports of files made by sox and ffmpeg, checked sample by sample against
// sox's own decoding of the same files. sox takes float samples through 32-bit integers and
// rounds some of them on the way, so float data is checked against ffmpeg's decoding.
#include "support/TempHome.h"
#include "wav/WavFileJob.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

using namespace wav;

namespace {

std::string quote(const std::string& text) { return "'" + text + "'"; }

void run(const std::string& command) {
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
}

std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

template <class T>
std::vector<T> rawSamples(const std::string& path) {
    std::string bytes = readFile(path);
    std::vector<T> out(bytes.size() / sizeof(T));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
    return out;
}

// The data bytes of a WAV file written by us (data chunk last, size field just before it).
std::string dataOf(const std::string& file, size_t dataOffset) { return file.substr(dataOffset); }

struct Source {
    const char* name;
    const char* tool;  // command making the file; %s is the output path
    bool isFloat;
};

const Source kSources[] = {
    {"sox-u8-mono", "sox -n -r 44100 -c 1 -b 8 -e unsigned-integer %s synth 0.5 sine 440 gain -1", false},
    {"sox-s16-stereo", "sox -n -r 44100 -c 2 -b 16 -e signed-integer %s synth 0.5 whitenoise gain -2", false},
    {"sox-s24-stereo", "sox -n -r 44100 -c 2 -b 24 -e signed-integer %s synth 0.5 whitenoise sine 300 gain -1", false},
    {"sox-s24-mono", "sox -n -r 44100 -c 1 -b 24 -e signed-integer %s synth 0.5 pinknoise gain -1", false},
    {"sox-s32-stereo", "sox -n -r 44100 -c 2 -b 32 -e signed-integer %s synth 0.5 whitenoise gain -1", false},
    {"sox-f32-stereo", "sox -n -r 44100 -c 2 -b 32 -e floating-point %s synth 0.5 whitenoise gain -1", true},
    {"ffmpeg-u8-stereo", "ffmpeg -loglevel error -y -f lavfi -i anoisesrc=d=0.5:r=44100:a=0.7 -ac 2 -c:a pcm_u8 %s", false},
    {"ffmpeg-s16-mono", "ffmpeg -loglevel error -y -f lavfi -i sine=f=997:r=44100:d=0.5 -ac 1 -c:a pcm_s16le %s", false},
    {"ffmpeg-s24-stereo", "ffmpeg -loglevel error -y -f lavfi -i anoisesrc=d=0.5:r=44100:a=0.9 -ac 2 -c:a pcm_s24le %s", false},
    {"ffmpeg-s32-stereo", "ffmpeg -loglevel error -y -f lavfi -i anoisesrc=d=0.5:r=44100:a=0.9 -ac 2 -c:a pcm_s32le %s", false},
    {"ffmpeg-f32-stereo", "ffmpeg -loglevel error -y -f lavfi -i anoisesrc=d=0.5:r=44100:a=0.9 -ac 2 -c:a pcm_f32le %s", true},
};

class RealFilesTest : public ::testing::TestWithParam<Source> {
protected:
    std::string make() {
        std::string path = home.file(std::string(GetParam().name) + ".wav");
        char command[512];
        std::snprintf(command, sizeof command, GetParam().tool, quote(path).c_str());
        run(command);
        return path;
    }
    TempHome home;
};

TEST_P(RealFilesTest, ImportMatchesSoxDecodingSampleForSample) {
    std::string source = make();
    int channels = std::atoi(output("sox --i -c " + quote(source)).c_str());
    long frames = std::atol(output("sox --i -s " + quote(source)).c_str());
    ASSERT_TRUE(channels == 1 || channels == 2);
    ASSERT_GT(frames, 20000);

    std::string toFloat = home.file("float.wav"), to16 = home.file("pcm16.wav");
    uint32_t framesFloat = 0, frames16 = 0;
    ASSERT_TRUE(convertWavFile(WavJobKind::Import, source, toFloat, WavTargetFormat{3, 32, 44100}, &framesFloat));
    ASSERT_TRUE(convertWavFile(WavJobKind::Import, source, to16, WavTargetFormat{1, 16, 44100}, &frames16));
    EXPECT_EQ(framesFloat, static_cast<uint32_t>(frames));
    EXPECT_EQ(frames16, static_cast<uint32_t>(frames));

    std::string floatData = dataOf(readFile(toFloat), 56);
    std::string pcmData = dataOf(readFile(to16), 44);
    ASSERT_EQ(floatData.size(), static_cast<size_t>(frames) * 8);
    ASSERT_EQ(pcmData.size(), static_cast<size_t>(frames) * 4);
    std::vector<float> gotFloat(frames * 2);
    std::vector<int16_t> got16(frames * 2);
    std::memcpy(gotFloat.data(), floatData.data(), floatData.size());
    std::memcpy(got16.data(), pcmData.data(), pcmData.size());

    if (GetParam().isFloat) {
        // Float samples pass unchanged.
        std::string reference = home.file("ref.f32");
        run("ffmpeg -loglevel error -y -i " + quote(source) + " -f f32le " + quote(reference));
        std::vector<float> expected = rawSamples<float>(reference);
        ASSERT_EQ(expected.size(), gotFloat.size());
        for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(gotFloat[i], expected[i]) << i;
        return;
    }
    // sox decodes every PCM width into full-scale 32-bit integers.
    std::string reference = home.file("ref.s32");
    run("sox " + quote(source) + " -t raw -e signed-integer -b 32 -L " + quote(reference));
    std::vector<int32_t> decoded = rawSamples<int32_t>(reference);
    ASSERT_EQ(decoded.size(), static_cast<size_t>(frames * channels));
    for (long f = 0; f < frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            int32_t s = decoded[f * channels + (channels == 1 ? 0 : c)];
            float expectedFloat = static_cast<float>(std::ldexp(static_cast<double>(s), -31));
            long expected16 = std::min(32767L, std::max(-32768L, std::lround(s / 65536.0)));
            ASSERT_EQ(gotFloat[f * 2 + c], expectedFloat) << "frame " << f << " channel " << c;
            ASSERT_EQ(got16[f * 2 + c], expected16) << "frame " << f << " channel " << c << " source " << s;
        }
    }
}

TEST_P(RealFilesTest, ExportsReadBackAsWritten) {
    std::string source = make();
    std::string track = home.file("track.wav");
    ASSERT_TRUE(convertWavFile(WavJobKind::Import, source, track, WavTargetFormat{3, 32, 44100}, nullptr));
    struct Target {
        WavTargetFormat format;
        const char* decoder;  // %s: input, %s: output
        size_t bytes;
    };
    for (const Target& t : {Target{{1, 16, 44100}, "sox %s -t raw -e signed-integer -b 16 -L %s", 2},
                            Target{{1, 24, 44100}, "sox %s -t raw -e signed-integer -b 24 -L %s", 3},
                            Target{{3, 32, 44100}, "ffmpeg -loglevel error -y -i %s -f f32le %s", 4}}) {
        std::string out = home.file("export.wav"), raw = home.file("export.raw");
        ASSERT_TRUE(convertWavFile(WavJobKind::Export, track, out, t.format, nullptr));
        EXPECT_EQ(output("sox --i -c " + quote(out)), "2");
        EXPECT_EQ(output("sox --i -r " + quote(out)), "44100");
        EXPECT_EQ(output("sox --i -b " + quote(out)), std::to_string(t.bytes * 8));
        char command[512];
        std::snprintf(command, sizeof command, t.decoder, quote(out).c_str(), quote(raw).c_str());
        run(command);
        std::string data = dataOf(readFile(out), 44);
        EXPECT_EQ(data.size(), (readFile(track).size() - 56) / 4 * t.bytes);
        EXPECT_TRUE(readFile(raw) == data) << t.bytes;
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, RealFilesTest, ::testing::ValuesIn(kSources),
                         [](const ::testing::TestParamInfo<Source>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
