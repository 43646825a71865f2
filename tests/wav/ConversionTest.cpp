#include "MemoryStream.h"
#include "WavBytes.h"
#include "wav/WavConversion.h"
#include "wav/WavExport.h"
#include "wav/WavFileWriter.h"
#include "wav/WavImport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace wav;
using namespace wavbytes;

namespace {

const WavTargetFormat kDevice16{1, 16, 44100};
const WavTargetFormat kDeviceFloat{3, 32, 44100};

struct Result {
    bool ok = false;
    uint32_t frames = 0;
    std::string file;
    std::string data() const { return file.substr(file.size() - loadU32(&file[file.size() >= 56 && file.substr(48, 4) == "data" ? 52 : 40])); }
};

Result importBytes(const std::string& source, const WavTargetFormat& target) {
    MemoryStream in(source), out;
    Result r;
    r.ok = importWav(&in, &out, target, &r.frames);
    r.file = out.bytes();
    return r;
}

Result exportBytes(const std::string& source, const WavTargetFormat& target) {
    MemoryStream in(source), out;
    Result r;
    r.ok = exportWav(&in, &out, target);
    r.file = out.bytes();
    return r;
}

std::vector<int> samples16(const std::string& data) {
    std::vector<int> out;
    for (size_t i = 0; i + 2 <= data.size(); i += 2) out.push_back(static_cast<int16_t>(loadU16(&data[i])));
    return out;
}
std::vector<int> samples24(const std::string& data) {
    std::vector<int> out;
    for (size_t i = 0; i + 3 <= data.size(); i += 3)
        out.push_back(static_cast<int32_t>(loadU32((data.substr(i, 3) + "\0").data()) << 8) >> 8);
    return out;
}
std::vector<float> samplesFloat(const std::string& data) {
    std::vector<float> out(data.size() / 4);
    std::memcpy(out.data(), data.data(), out.size() * 4);
    return out;
}

std::string mono(const WaveFormat& f, const std::string& data) { return wavFile(f, data); }

// --- import into 16-bit PCM ---------------------------------------------------------------

TEST(ImportTest, EightBitMonoIsWidenedToBothChannels) {
    Result r = importBytes(mono(format(1, 1, 8), std::string("\x00\xff\x80\x7f", 4)), kDevice16);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(samples16(r.data()), (std::vector<int>{-32768, -32768, 32512, 32512, 0, 0, -256, -256}));
    EXPECT_EQ(r.frames, 4u);
    r = importBytes(mono(format(1, 1, 8), std::string("\x00\xff", 2)), kDeviceFloat);
    EXPECT_EQ(samplesFloat(r.data()), (std::vector<float>{-1.0f, -1.0f, 0.9921875f, 0.9921875f}));
}

TEST(ImportTest, TwentyFourBitRoundsHalfAwayFromZeroAndLimits) {
    std::vector<int> in{8388480, 8388607, -129, -128, -127, 128, 127, -8388608, 0, 384, -384};
    std::string data;
    for (int v : in) data += s24(v);
    Result r = importBytes(mono(format(1, 1, 24), data), kDevice16);
    ASSERT_TRUE(r.ok);
    std::vector<int> expected{32767, 32767, -1, -1, 0, 1, 0, -32768, 0, 2, -2};
    std::vector<int> out = samples16(r.data());
    ASSERT_EQ(out.size(), 2 * expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(out[2 * i], expected[i]) << in[i];
        EXPECT_EQ(out[2 * i + 1], expected[i]) << in[i];
    }
}

TEST(ImportTest, ThirtyTwoBitPcmReducesWithItsOwnLimits) {
    std::vector<int32_t> in{2147450880, 2147450879, 32768, 32767, -32768, -32769, -2147483648, -2147450880,
                            -2147450879, 2147483647, 98304};
    std::string data;
    for (int32_t v : in) data += u32(static_cast<uint32_t>(v));
    Result r = importBytes(wavFile(format(1, 2, 32), data), kDevice16);
    ASSERT_TRUE(r.ok);  // the odd eleventh sample is a partial frame: dropped
    EXPECT_EQ(samples16(r.data()), (std::vector<int>{32767, 32767, 1, 0, -1, -1, -32768, -32768, -32767, 32767}));
    EXPECT_EQ(r.frames, 5u);
}

TEST(ImportTest, FloatToSixteenBitGoesThroughThirtyTwoBits) {
    std::vector<float> in{1.0f, -1.0f, 0.5f, 1.5f, -1.5f, NAN, -0.0f, 0.25f / 32768.0f, -0.5f / 32768.0f,
                          -INFINITY, INFINITY, 0.99998f};
    std::string data;
    for (float v : in) data += f32(v);
    Result r = importBytes(wavFile(format(3, 2, 32), data), kDevice16);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(samples16(r.data()),
              (std::vector<int>{32767, -32768, 16384, 32767, -32768, -32768, 0, 0, -1, -32768, 32767, 32767}));
}

// --- import into 32-bit float ----------------------------------------------------------------

TEST(ImportTest, PcmScalesExactlyToFloatWithoutClipping) {
    Result r = importBytes(wavFile(format(1, 2, 16), s16(-32768) + s16(32767)), kDeviceFloat);
    EXPECT_EQ(samplesFloat(r.data()), (std::vector<float>{-1.0f, 32767.0f / 32768.0f}));
    r = importBytes(wavFile(format(1, 2, 24), s24(-8388608) + s24(8388607)), kDeviceFloat);
    EXPECT_EQ(samplesFloat(r.data()), (std::vector<float>{-1.0f, 8388607.0f / 8388608.0f}));
    r = importBytes(wavFile(format(1, 2, 32), u32(0x80000000u) + u32(0x7fffffffu) + u32(0x40000001u) + u32(1)),
                    kDeviceFloat);
    EXPECT_EQ(samplesFloat(r.data()),
              (std::vector<float>{-1.0f, 1.0f, 0.5f, static_cast<float>(std::ldexp(1.0, -31))}));
}

TEST(ImportTest, FloatIsCopiedBitForBit) {
    std::string data = u32(0x7fc12345u) + f32(1.5f) + f32(-3.25f) + u32(0x00000001u);
    Result r = importBytes(wavFile(format(3, 2, 32), data), kDeviceFloat);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data(), data);
}

TEST(ImportTest, WritesTheDeviceHeadersByteForByte) {
    Result r = importBytes(wavFile(format(1, 1, 16), s16(5)), kDevice16);
    EXPECT_EQ(r.file, riff(chunk("fmt ", formatBody(WaveFormat{1, 2, 44100, 176400, 4, 16})) +
                           chunk("data", s16(5) + s16(5))));
    r = importBytes(wavFile(format(1, 1, 16), s16(-32768)), kDeviceFloat);
    std::string fmt = formatBody(WaveFormat{3, 2, 44100, 352800, 8, 32}) + u16(10) + std::string(10, '\0');
    EXPECT_EQ(r.file, riff(chunk("fmt ", fmt) + chunk("data", f32(-1.0f) + f32(-1.0f))));
    EXPECT_EQ(r.file.size(), 56u + 8u);
    EXPECT_EQ(loadU32(&r.file[16]), 28u);
    // An empty source gives the bare header.
    r = importBytes(wavFile(format(1, 2, 24), ""), kDevice16);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.file.size(), 44u);
    EXPECT_EQ(r.frames, 0u);
}

TEST(ImportTest, RefusesSourcesAndTargetsOutsideTheAcceptedSets) {
    std::vector<WaveFormat> refused{format(1, 2, 16, 48000), format(1, 6, 16), format(1, 2, 12),
                                    format(3, 2, 64),        format(3, 2, 16), format(2, 2, 16),
                                    format(0xFFFE, 2, 16),   format(1, 0, 16)};
    WaveFormat badAlign = format(1, 2, 16);
    badAlign.blockAlign = 3;  // would read across frames
    refused.push_back(badAlign);
    badAlign.blockAlign = 0;
    refused.push_back(badAlign);
    for (const WaveFormat& f : refused) {
        Result r = importBytes(wavFile(f, std::string(48, '\x01')), kDevice16);
        EXPECT_FALSE(r.ok) << f.formatTag << "/" << f.channels << "/" << f.bitsPerSample << "/" << f.blockAlign;
        EXPECT_EQ(r.file, "");
    }
    for (WavTargetFormat t : {WavTargetFormat{1, 24, 44100}, WavTargetFormat{3, 16, 44100}, WavTargetFormat{1, 32, 44100},
                              WavTargetFormat{2, 16, 44100}}) {
        EXPECT_FALSE(importBytes(wavFile(format(1, 2, 16), "1234"), t).ok) << t.format << "/" << t.bits;
    }
    // Only the low 16 bits of the target format count; the target rate is not looked at.
    EXPECT_TRUE(importBytes(wavFile(format(1, 2, 16), "1234"), WavTargetFormat{0x10001, 16, 8000}).ok);
    EXPECT_FALSE(importBytes("RIFF", kDevice16).ok);
}

TEST(ImportTest, ShortSourceDataFailsButKeepsConsistentSizes) {
    std::string source = riff(chunk("fmt ", formatBody(format(1, 2, 16))) + chunk("data", "12345678", 4000));
    Result r = importBytes(source, kDevice16);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(loadU32(&r.file[40]), r.file.size() - 44);
    EXPECT_EQ(loadU32(&r.file[4]), r.file.size() - 8);
}

// --- export -----------------------------------------------------------------------------------

TEST(ExportTest, FloatFullScaleIsAsymmetricAndNanIsSilence) {
    std::vector<float> in{1.0f, -1.0f, 1.5f, -1.5f, NAN, 0.5f, -0.00001f, 0.999999f, -INFINITY, 1.0f / 65536};
    std::string data;
    for (float v : in) data += f32(v);
    WaveFormat track = format(3, 2, 32);
    Result r = exportBytes(wavFile(track, data), WavTargetFormat{1, 16, 44100});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(samples16(r.data()), (std::vector<int>{32767, -32768, 32767, -32768, 0, 16384, 0, 32767, -32768, 0}));
    r = exportBytes(wavFile(track, data), WavTargetFormat{1, 24, 44100});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(samples24(r.data()),
              (std::vector<int>{8388607, -8388608, 8388607, -8388608, 0, 4194304, -83, 8388599, -8388608, 128}));
    r = exportBytes(wavFile(track, data), WavTargetFormat{3, 32, 44100});
    EXPECT_EQ(r.data(), data);
}

TEST(ExportTest, SixteenBitTracksWidenExactly) {
    std::string data = s16(-32768) + s16(32767) + s16(1) + s16(-1);
    WaveFormat track = format(1, 2, 16);
    Result r = exportBytes(wavFile(track, data), WavTargetFormat{1, 24, 44100});
    EXPECT_EQ(r.data(), std::string("\x00\x00\x80\x00\xff\x7f\x00\x01\x00\x00\xff\xff", 12));
    r = exportBytes(wavFile(track, data), WavTargetFormat{3, 32, 44100});
    EXPECT_EQ(samplesFloat(r.data()), (std::vector<float>{-1.0f, 32767.0f / 32768, 1.0f / 32768, -1.0f / 32768}));
    r = exportBytes(wavFile(track, data), WavTargetFormat{1, 16, 44100});
    EXPECT_EQ(r.data(), data);
}

TEST(ExportTest, KeepsChannelsAndWritesThePlainFormatChunk) {
    WaveFormat monoTrack = format(3, 1, 32, 22050);  // the source rate is not looked at
    Result r = exportBytes(wavFile(monoTrack, f32(0.5f) + f32(-0.5f)), WavTargetFormat{1, 24, 44100});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.file, riff(chunk("fmt ", formatBody(WaveFormat{1, 1, 44100, 132300, 3, 24})) +
                           chunk("data", s24(4194304) + s24(-4194304))));
    r = exportBytes(wavFile(format(1, 2, 16), ""), WavTargetFormat{3, 32, 44100});
    EXPECT_EQ(r.file, riff(chunk("fmt ", formatBody(WaveFormat{3, 2, 44100, 352800, 8, 32})) + chunk("data", "")));
}

TEST(ExportTest, RefusesOtherTargetsAndSources) {
    std::string track = wavFile(format(3, 2, 32), f32(0.1f) + f32(0.2f));
    for (WavTargetFormat t : {WavTargetFormat{1, 8, 44100}, WavTargetFormat{1, 32, 44100}, WavTargetFormat{3, 32, 48000},
                              WavTargetFormat{3, 24, 44100}, WavTargetFormat{3, 64, 44100}}) {
        Result r = exportBytes(track, t);
        EXPECT_FALSE(r.ok) << t.format << "/" << t.bits << "/" << t.sampleRate;
        EXPECT_EQ(r.file, "");
    }
    for (WaveFormat f : {format(1, 2, 24), format(1, 2, 8), format(1, 2, 32), format(3, 3, 32)})
        EXPECT_FALSE(exportBytes(wavFile(f, std::string(24, '\0')), WavTargetFormat{1, 16, 44100}).ok);
}

// --- pieces -----------------------------------------------------------------------------------

// Writes the source data into a writer in pieces of the given sizes (cycled).
template <class Writer>
std::string writeInPieces(const WaveFormat& source, const std::string& data, const WavTargetFormat& target,
                          const std::vector<size_t>& pieces) {
    MemoryStream out;
    {
        Writer writer(&out, &target);
        EXPECT_TRUE(writer.create(source));
        size_t at = 0;
        for (size_t i = 0; at < data.size(); ++i) {
            size_t n = std::min(pieces[i % pieces.size()], data.size() - at);
            EXPECT_EQ(writer.write(data.data() + at, static_cast<uint32_t>(n)), n);
            at += n;
        }
    }
    return out.bytes();
}

TEST(PiecesTest, PiecesThatSplitFramesGiveTheSameFile) {
    std::mt19937 random(11);
    std::string data;
    for (int i = 0; i < 1001 * 2; ++i) data += f32(std::uniform_real_distribution<float>(-1.2f, 1.2f)(random));
    WaveFormat floatStereo = format(3, 2, 32);
    for (const WavTargetFormat& t : {WavTargetFormat{1, 16, 44100}, WavTargetFormat{1, 24, 44100}}) {
        std::string whole = writeInPieces<WavExport>(floatStereo, data, t, {8 * 1001});
        EXPECT_EQ(writeInPieces<WavExport>(floatStereo, data, t, {150}), whole);
        EXPECT_EQ(writeInPieces<WavExport>(floatStereo, data, t, {1, 3, 5, 7, 11, 13}), whole);
        // Three stray bytes at the end: no trace in the output.
        EXPECT_EQ(writeInPieces<WavExport>(floatStereo, data + "xyz", t, {150}), whole);
    }
    std::string whole = writeInPieces<WavImport>(floatStereo, data, kDevice16, {8008});
    EXPECT_EQ(writeInPieces<WavImport>(floatStereo, data, kDevice16, {150, 17}), whole);
    EXPECT_EQ(loadU32(&whole[40]), 1001u * 4);
}

TEST(PiecesTest, CopyMovesWholeFilesThroughTheSmallBuffer) {
    std::string data;
    for (int i = 0; i < 44100; ++i) data += s24(i * 97 - 2000000);
    data += "ab";  // a partial frame at the end of a 24-bit mono file
    Result r = importBytes(wavFile(format(1, 1, 24), data), kDeviceFloat);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 44100u);
    std::vector<float> out = samplesFloat(r.data());
    ASSERT_EQ(out.size(), 88200u);
    for (int i = 0; i < 44100; i += 997) EXPECT_EQ(out[2 * i], out[2 * i + 1]);
    EXPECT_EQ(out[2 * 44099], static_cast<float>((44099 * 97 - 2000000) / 8388608.0));
}

TEST(PiecesTest, AWriterWhoseFileCouldNotBeStartedTakesNothing) {
    // The RIFF header, the "fmt " header, or the "data" header (sixth write) fails; later writes would work.
    for (size_t call : {1u, 3u, 6u}) {
        MemoryStream out;
        out.failingCall = call;
        WaveFormat source = format(1, 2, 16);
        WavImport writer(&out, &kDevice16);
        EXPECT_FALSE(writer.create(source)) << call;
        EXPECT_EQ(writer.write("12345678", 8), 0u) << call;
    }
}

TEST(PiecesTest, AWriterWithoutAConverterTakesNothing) {
    MemoryStream out;
    WavTargetFormat target{1, 8, 44100};
    WaveFormat source = format(3, 2, 32);
    WavExport writer(&out, &target);
    EXPECT_FALSE(writer.create(source));
    EXPECT_EQ(writer.write("12345678", 8), 0u);
}

}  // namespace
