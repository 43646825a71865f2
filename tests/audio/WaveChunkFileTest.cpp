#include "audio/WaveChunkFile.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

namespace {

std::string u16(uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }
std::string u32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string chunk(const char* id, const std::string& body, int64_t size = -1) {
    return std::string(id, 4) + u32(uint32_t(size < 0 ? body.size() : size)) + body;
}
std::string fmt16(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    uint16_t align = uint16_t(channels * bits / 8);
    return u16(tag) + u16(channels) + u32(rate) + u32(rate * align) + u16(align) + u16(bits);
}

std::string readAll(WaveChunkFile& wav) {
    std::string out;
    char buffer[7];  // small pieces on purpose
    for (long got; (got = wav.read(buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(got));
    return out;
}

}  // namespace

TEST(WaveChunkFileTest, ReadingSkipsPaddedOddChunksAndStopsAtTheEndOfAShortFile) {
    TempHome home;
    // An odd-sized LIST chunk with its pad byte, between "fmt " and "data".
    std::string body = "WAVE" + chunk("fmt ", fmt16(1, 1, 8000, 8)) + chunk("LIST", "abc") + std::string(1, '\0') +
                       chunk("data", "12345");
    writeFile(home.file("odd.wav"), chunk("RIFF", body));
    WaveChunkFile wav;
    ASSERT_TRUE(wav.openRead(home.file("odd.wav")));
    EXPECT_EQ(wav.format().sampleRate, 8000u);
    EXPECT_EQ(wav.dataSize(), 5u);
    EXPECT_EQ(readAll(wav), "12345");
    EXPECT_TRUE(wav.close());

    // A data size beyond the end of the file reads up to the end.
    std::string cut = "WAVE" + chunk("fmt ", fmt16(1, 2, 44100, 16)) + chunk("data", "abcdefgh", 40000);
    writeFile(home.file("cut.wav"), chunk("RIFF", cut, 40000 + 36));
    WaveChunkFile short_;
    ASSERT_TRUE(short_.openRead(home.file("cut.wav")));
    EXPECT_EQ(short_.dataSize(), 8u);
    EXPECT_EQ(readAll(short_), "abcdefgh");

    // An extensible float format gives the plain float tag; no "fmt " before "data" is no WAV.
    std::string guid = std::string("\x03\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 16);
    std::string ext = "WAVE" + chunk("fmt ", fmt16(0xFFFE, 1, 48000, 32) + u16(22) + u16(32) + u32(4) + guid) +
                      chunk("data", "wxyz");
    writeFile(home.file("ext.wav"), chunk("RIFF", ext));
    WaveChunkFile extensible;
    ASSERT_TRUE(extensible.openRead(home.file("ext.wav")));
    EXPECT_EQ(extensible.format().formatTag, wav::kWaveFormatIeeeFloat);
    writeFile(home.file("nofmt.wav"), chunk("RIFF", "WAVE" + chunk("data", "1234")));
    WaveChunkFile none;
    EXPECT_FALSE(none.openRead(home.file("nofmt.wav")));
    EXPECT_FALSE(none.openRead(home.file("missing.wav")));
}

TEST(WaveChunkFileTest, WritingReplacesTheFileWithAnEighteenByteFormatAndAPaddedOddDataChunk) {
    TempHome home;
    writeFile(home.file("out.wav"), std::string(1000, 'x'));
    WaveChunkFile wav;
    ASSERT_TRUE(wav.openWrite(home.file("out.wav"), wav::pcmFormat(wav::kWaveFormatPcm, 1, 8000, 8)));
    EXPECT_TRUE(wav.write("abc", 3));
    EXPECT_TRUE(wav.write("", 0));
    EXPECT_TRUE(wav.close());
    std::string fmt = fmt16(1, 1, 8000, 8) + u16(0);
    EXPECT_EQ(readFile(home.file("out.wav")),
              chunk("RIFF", "WAVE" + chunk("fmt ", fmt) + chunk("data", "abc") + std::string(1, '\0')));

    WaveChunkFile again;
    ASSERT_TRUE(again.openRead(home.file("out.wav")));
    EXPECT_EQ(readAll(again), "abc");
    EXPECT_FALSE(again.write("x", 1)) << "a file opened for reading takes no writes";
    WaveChunkFile nowhere;
    EXPECT_FALSE(nowhere.openWrite(home.file("no/such/folder.wav"), wav::pcmFormat(wav::kWaveFormatPcm, 1, 8000, 8)));
    EXPECT_FALSE(nowhere.close());
}
