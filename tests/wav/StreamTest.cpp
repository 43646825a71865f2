#include "MemoryStream.h"
#include "WavBytes.h"
#include "support/TempHome.h"
#include "wav/FileStream.h"
#include "wav/WavStream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

using namespace wav;
using namespace wavbytes;

namespace {

TEST(FileStreamTest, ReadsAFileAndKeepsTrackOfPosition) {
    TempHome home;
    writeFile(home.file("a.bin"), "0123456789");
    FileStream file;
    ASSERT_TRUE(file.openForReading(home.file("a.bin")));
    EXPECT_EQ(file.size(), 10u);
    char buffer[8];
    EXPECT_EQ(file.read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_TRUE(file.seekRelative(2));
    EXPECT_EQ(file.read(buffer, 8), 4u);  // short at the end
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(file.position(), 10u);
    EXPECT_TRUE(file.seek(100));  // past the end is allowed, reading there gives nothing
    EXPECT_EQ(file.read(buffer, 8), 0u);
    EXPECT_FALSE(file.seekRelative(-101));
    EXPECT_EQ(file.position(), 100u);
}

TEST(FileStreamTest, RefusesMissingFilesFoldersAndFifos) {
    TempHome home;
    FileStream file;
    EXPECT_FALSE(file.openForReading(home.file("missing.wav")));
    EXPECT_FALSE(file.openForReading(home.path()));
    ASSERT_EQ(mkfifo(home.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(file.openForReading(home.file("fifo")));  // and does not block
    char byte;
    EXPECT_FALSE(file.seek(0));
    EXPECT_EQ(file.read(&byte, 1), 0u);
    EXPECT_EQ(file.write(&byte, 1), 0u);
}

// Random seeks, reads and writes of all sizes give the same results as plain memory.
TEST(FileStreamTest, BufferedAccessMatchesUnbufferedResults) {
    TempHome home;
    int fd = ::open(home.file("rw.bin").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    FileStream file(fd, 0);
    MemoryStream memory;
    std::mt19937 random(7);
    std::vector<uint8_t> in(602000), a(600000), b(600000);
    for (auto& byte : in) byte = static_cast<uint8_t>(random());
    for (int step = 0; step < 400; ++step) {
        uint32_t count = random() % 3 == 0 ? random() % 600000 : random() % 2000;
        switch (random() % 4) {
        case 0: {
            uint32_t pos = random() % (memory.size() + 5000);
            ASSERT_EQ(file.seek(pos), memory.seek(pos));
            break;
        }
        case 1:
            ASSERT_EQ(file.read(a.data(), count), memory.read(b.data(), count)) << step;
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), count)) << step;
            break;
        default: {
            const uint8_t* from = in.data() + random() % 1000;
            ASSERT_EQ(file.write(from, count), count);
            ASSERT_EQ(memory.write(from, count), count);
        }
        }
        ASSERT_EQ(file.size(), memory.size()) << step;
        ASSERT_EQ(file.position(), memory.position()) << step;
    }
    ASSERT_TRUE(file.close());
    EXPECT_TRUE(readFile(home.file("rw.bin")) == memory.bytes());
}

TEST(FileStreamTest, ClosingReportsAWriteThatFailedInTheBuffer) {
    FileStream full(::open("/dev/full", O_WRONLY | O_CLOEXEC), 0);
    EXPECT_EQ(full.write("abc", 3), 3u);
    EXPECT_EQ(full.size(), 3u);
    EXPECT_FALSE(full.close());
}

TEST(FileStreamTest, CreatesOnlyNewFiles) {
    TempHome home;
    writeFile(home.file("old"), "x");
    FileStream file;
    EXPECT_FALSE(file.createExclusive(home.file("old")));
    ASSERT_TRUE(file.createExclusive(home.file("new")));
    EXPECT_EQ(file.write("hello", 5), 5u);
    EXPECT_TRUE(file.seek(1));
    EXPECT_EQ(file.write("E", 1), 1u);
    EXPECT_EQ(file.size(), 5u);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readFile(home.file("new")), "hEllo");
}

// --- chunks and WAV files ---------------------------------------------------------------

struct Opened {
    MemoryStream file;
    WavStream wav{&file};
    bool ok;
    explicit Opened(const std::string& bytes) : file(bytes), ok(wav.open()) {}
    std::string data() {
        std::string out(wav.size(), '\0');
        out.resize(wav.read(&out[0], wav.size()));
        return out;
    }
};

const WaveFormat kStereo16 = format(1, 2, 16);

TEST(WavStreamTest, OpensAPlainFile) {
    Opened f(wavFile(kStereo16, "abcdefgh"));
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.wav.format().channels, 2);
    EXPECT_EQ(f.wav.format().sampleRate, 44100u);
    EXPECT_EQ(f.wav.size(), 8u);
    EXPECT_EQ(f.data(), "abcdefgh");
    EXPECT_FALSE(f.wav.open());
}

TEST(WavStreamTest, SkipsOddChunksWithoutPadBytes) {
    std::string odd = chunk("LIST", "abc");
    EXPECT_TRUE(Opened(riff(odd + chunk("fmt ", formatBody(kStereo16)) + odd + chunk("data", "1234"))).ok);
    // A writer that pads odd chunks puts what follows out of reach.
    EXPECT_FALSE(Opened(riff(chunk("fmt ", formatBody(kStereo16)) + odd + std::string(1, '\0') + chunk("data", "1234"))).ok);
}

TEST(WavStreamTest, LooksForDataOnlyAfterTheFormat) {
    EXPECT_FALSE(Opened(riff(chunk("data", "1234") + chunk("fmt ", formatBody(kStereo16)))).ok);
    EXPECT_FALSE(Opened(riff(chunk("data", "1234"))).ok);
    EXPECT_FALSE(Opened(riff(chunk("fmt ", formatBody(kStereo16)))).ok);
    EXPECT_FALSE(Opened(chunk("RIFF", "WAVX" + chunk("fmt ", formatBody(kStereo16)) + chunk("data", ""))).ok);
    EXPECT_FALSE(Opened(riff(chunk("fmt ", formatBody(kStereo16).substr(0, 14)) + chunk("data", ""))).ok);
    EXPECT_FALSE(Opened(riff(chunk("FMT ", formatBody(kStereo16)) + chunk("data", ""))).ok);
}

TEST(WavStreamTest, ContinuesAfterLongerFormatChunks) {
    for (size_t extra : {2u, 24u}) {
        Opened f(riff(chunk("fmt ", formatBody(kStereo16) + std::string(extra, '\x7f')) + chunk("data", "12345678")));
        ASSERT_TRUE(f.ok) << extra;
        EXPECT_EQ(f.wav.format().formatTag, 1);
        EXPECT_EQ(f.data(), "12345678");
    }
}

TEST(WavStreamTest, ResolvesExtensibleFormats) {
    auto tagOf = [](const std::string& body) {
        Opened f(riff(chunk("fmt ", body) + chunk("data", "")));
        return f.ok ? int{f.wav.format().formatTag} : -1;
    };
    WaveFormat f24 = format(1, 2, 24);
    EXPECT_EQ(tagOf(extensibleBody(f24, 1)), 1);
    EXPECT_EQ(tagOf(extensibleBody(f24, 3)), 3);
    EXPECT_EQ(tagOf(extensibleBody(f24, 2)), 0xFFFE);
    EXPECT_EQ(tagOf(extensibleBody(f24, 1, 21).substr(0, 18)), 0xFFFE);
    EXPECT_EQ(tagOf(extensibleBody(f24, 1).substr(0, 17)), -1);  // no room for cbSize
    EXPECT_EQ(tagOf(extensibleBody(f24, 1).substr(0, 30)), -1);  // cut inside the GUID
}

TEST(WavStreamTest, StaysInsideTheDeclaredRiffSize) {
    std::string head = chunk("fmt ", formatBody(kStereo16));
    std::string bytes = riff(head + chunk("data", "1234"));
    storeU32(&bytes[4], static_cast<uint32_t>(4 + head.size()));
    EXPECT_FALSE(Opened(bytes).ok);
    // A data chunk declared longer than the RIFF body is cut at the RIFF end on reading.
    bytes = riff(head + chunk("data", "1234", 100));
    Opened f(bytes);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.data(), "1234");
}

TEST(WavStreamTest, SkipsLeadingRecordsUntilRiff) {
    EXPECT_TRUE(Opened(chunk("JUNK", "123456") + chunk("junk", "") + wavFile(kStereo16, "1234")).ok);
    EXPECT_FALSE(Opened("not a wav file at all").ok);
    EXPECT_FALSE(Opened("").ok);
}

TEST(WavStreamTest, HugeChunkSizesEndTheSearch) {
    // 0xFFFFFFF8 read as a signed step would lead back onto the same header for ever.
    for (uint32_t size : {0xFFFFFFF8u, 0x80000000u, 0xFFFFFFFFu}) {
        std::string bytes = riff(chunk("fmt ", formatBody(kStereo16)) + "LIST" + u32(size) + chunk("data", ""));
        EXPECT_FALSE(Opened(bytes).ok) << size;
        EXPECT_FALSE(Opened("JUNK" + u32(size) + wavFile(kStereo16, "")).ok) << size;
    }
}

TEST(WavStreamTest, ReadsTheAcidChunkAnywhereAndKeepsThePosition) {
    std::string acidBody = acid(128.5f, 16, 4, 3);
    Opened f(wavFile(kStereo16, "12345678"));
    Opened after(riff(chunk("fmt ", formatBody(kStereo16)) + chunk("data", "12345678") + chunk("acid", acidBody)));
    ASSERT_TRUE(after.ok);
    char first[2];
    ASSERT_EQ(after.wav.read(first, 2), 2u);
    AcidChunk out{};
    ASSERT_TRUE(after.wav.readAcidChunk(&out));
    EXPECT_EQ(out.tempo, 128.5f);
    EXPECT_EQ(out.beatCount, 16u);
    EXPECT_EQ(out.denominator, 4);
    EXPECT_EQ(out.numerator, 3);
    EXPECT_EQ(after.data(), "345678");
    EXPECT_FALSE(after.wav.readAcidChunk(nullptr));

    ASSERT_TRUE(f.ok);
    EXPECT_FALSE(f.wav.readAcidChunk(&out));
    Opened shortAcid(wavFile(kStereo16, "1234", chunk("acid", acidBody.substr(0, 20))));
    AcidChunk untouched{};
    untouched.tempo = 7.0f;
    EXPECT_FALSE(shortAcid.wav.readAcidChunk(&untouched));
    EXPECT_EQ(untouched.tempo, 7.0f);
    EXPECT_EQ(shortAcid.data(), "1234");
}

TEST(WavStreamTest, CreatesTheStandardLayoutAndPatchesSizes) {
    MemoryStream file;
    {
        WavStream wav(&file);
        ASSERT_TRUE(wav.create(kStereo16));
        EXPECT_FALSE(wav.create(kStereo16));
    }
    EXPECT_EQ(file.bytes(), riff(chunk("fmt ", formatBody(kStereo16)) + chunk("data", "")));
    EXPECT_EQ(file.bytes().size(), 44u);
    EXPECT_EQ(loadU32(&file.bytes()[4]), 36u);

    MemoryStream odd;
    {
        WavStream wav(&odd);
        ASSERT_TRUE(wav.create(kStereo16));
        EXPECT_EQ(wav.write("12345", 5), 5u);
        EXPECT_EQ(wav.write("67", 2), 2u);
    }
    EXPECT_EQ(odd.bytes(), wavFile(kStereo16, "1234567"));
    EXPECT_EQ(odd.position(), odd.size());
}

TEST(WavStreamTest, AFailedCreateLeavesNoStrayBytes) {
    MemoryStream file;
    file.writeLimit = 0;
    {
        WavStream wav(&file);
        EXPECT_FALSE(wav.create(kStereo16));
        EXPECT_EQ(wav.write("1234", 4), 0u);
    }
    EXPECT_EQ(file.bytes(), "");
}

}  // namespace

TEST(RiffChunkStreamTest, WordAlignedChunksSkipThePadByteOfAnOddChunk) {
    using namespace wavbytes;
    const std::string bytes = chunk("odd ", "abc") + std::string(1, '\0') + chunk("next", "xy");
    for (bool aligned : {false, true}) {
        MemoryStream file(bytes);
        RiffChunkStream next(&file);
        next.setWordAligned(aligned);
        EXPECT_EQ(next.find("next"), aligned) << "unaligned, the pad byte is taken for the next header";
    }
    MemoryStream file(bytes);
    {
        RiffChunkStream odd(&file);
        odd.setWordAligned(true);
        ASSERT_TRUE(odd.find("odd "));
    }  // closing moves past the pad byte
    EXPECT_EQ(file.position(), 12u);
}
