#include "wav/WavImport.h"

#include <cmath>

namespace {

// The two internal formats, each the base of the converters that produce it.
class WavDataConv16bitPCM : public WavImport::DataConvProc {
public:
    void format(WaveFormat* out) const override { *out = {kWaveFormatPcm, 2, 44100, 176400, 4, 16}; }
};

class WavDataConv32bitFloat : public WavImport::DataConvProc {
public:
    void format(WaveFormat* out) const override { *out = {kWaveFormatIeeeFloat, 2, 44100, 352800, 8, 32}; }
};

// --- to 32-bit float: scaled in double, stored as float, never clipped ---------------------
struct FloatFrom8bitPCM {
    static constexpr size_t InBytes = 1, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeF32(out, static_cast<float>((static_cast<int>(in[0]) - 128) * 0.0078125));
    }
};
struct FloatFrom16bitPCM {
    static constexpr size_t InBytes = 2, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeF32(out, static_cast<float>(sample::loadS16(in) * 3.0517578125e-05));
    }
};
struct FloatFrom24bitPCM {
    static constexpr size_t InBytes = 3, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeF32(out, static_cast<float>(sample::loadS24(in) * 1.1920928955078125e-07));
    }
};
struct FloatFrom32bitPCM {
    static constexpr size_t InBytes = 4, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeF32(out, static_cast<float>(sample::loadS32(in) * 4.656612873077393e-10));
    }
};
struct FloatFrom32bitFloat {
    static constexpr size_t InBytes = 4, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) { std::memcpy(out, in, 4); }
};

// --- to 16-bit PCM: rounded half away from zero, limited to -32768 ... 32767 --------------
inline int32_t limit16(int32_t v) { return v > 32767 ? 32767 : v < -32768 ? -32768 : v; }

inline int32_t reduce32to16(int32_t v) {
    if (v >= 2147450880) return 32767;
    if (v <= -2147450880) return -32768;
    return limit16((v > 0 ? v + 32768 : v < 0 ? v - 32768 : 0) / 65536);
}

struct PcmFrom8bitPCM {
    static constexpr size_t InBytes = 1, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeS16(out, limit16(static_cast<int32_t>((in[0] - 128.0) * 0.0078125 * 32768.0)));
    }
};
struct PcmFrom16bitPCM {
    static constexpr size_t InBytes = 2, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) { std::memcpy(out, in, 2); }
};
struct PcmFrom24bitPCM {
    static constexpr size_t InBytes = 3, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) {
        int32_t v = sample::loadS24(in);
        sample::storeS16(out, limit16((v > 0 ? v + 128 : v < 0 ? v - 128 : 0) / 256));
    }
};
struct PcmFrom32bitPCM {
    static constexpr size_t InBytes = 4, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) { sample::storeS16(out, reduce32to16(sample::loadS32(in))); }
};
struct PcmFrom32bitFloat {
    static constexpr size_t InBytes = 4, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) {
        double x = sample::loadF32(in) * 2147483648.0;
        int32_t w;
        if (std::isnan(x) || x < -2147483648.0) {
            w = INT32_MIN;  // what a truncating conversion gives for NaN and values below range
        } else {
            w = static_cast<int32_t>(x < 2147483647.0 ? x : 2147483647.0);
        }
        sample::storeS16(out, reduce32to16(w));
    }
};

using WavDataConv32bitFloatFrom8bitPCM = RuleConverter<WavDataConv32bitFloat, FloatFrom8bitPCM>;
using WavDataConv32bitFloatFrom16bitPCM = RuleConverter<WavDataConv32bitFloat, FloatFrom16bitPCM>;
using WavDataConv32bitFloatFrom24bitPCM = RuleConverter<WavDataConv32bitFloat, FloatFrom24bitPCM>;
using WavDataConv32bitFloatFrom32bitPCM = RuleConverter<WavDataConv32bitFloat, FloatFrom32bitPCM>;
using WavDataConv32bitFloatFrom32bitFloat = RuleConverter<WavDataConv32bitFloat, FloatFrom32bitFloat>;
using WavDataConv16bitPCMFrom8bitPCM = RuleConverter<WavDataConv16bitPCM, PcmFrom8bitPCM>;
using WavDataConv16bitPCMFrom16bitPCM = RuleConverter<WavDataConv16bitPCM, PcmFrom16bitPCM>;
using WavDataConv16bitPCMFrom24bitPCM = RuleConverter<WavDataConv16bitPCM, PcmFrom24bitPCM>;
using WavDataConv16bitPCMFrom32bitPCM = RuleConverter<WavDataConv16bitPCM, PcmFrom32bitPCM>;
using WavDataConv16bitPCMFrom32bitFloat = RuleConverter<WavDataConv16bitPCM, PcmFrom32bitFloat>;

bool acceptedSource(const WaveFormat& s) {
    bool pcm = s.formatTag == kWaveFormatPcm &&
               (s.bitsPerSample == 8 || s.bitsPerSample == 16 || s.bitsPerSample == 24 || s.bitsPerSample == 32);
    bool ieee = s.formatTag == kWaveFormatIeeeFloat && s.bitsPerSample == 32;
    return (pcm || ieee) && s.sampleRate == 44100 && (s.channels == 1 || s.channels == 2) && hasConsistentLayout(s);
}

}  // namespace

std::unique_ptr<WavImport::DataConvProc> WavImport::converterFor(const WaveFormat& s, const WavTargetFormat& t) {
    if (!acceptedSource(s)) return nullptr;
    const uint16_t format = static_cast<uint16_t>(t.format);
    const bool ieee = s.formatTag == kWaveFormatIeeeFloat;
    if (format == kWaveFormatPcm && t.bits == 16) {
        switch (s.bitsPerSample) {
        case 8: return std::make_unique<WavDataConv16bitPCMFrom8bitPCM>();
        case 16: return std::make_unique<WavDataConv16bitPCMFrom16bitPCM>();
        case 24: return std::make_unique<WavDataConv16bitPCMFrom24bitPCM>();
        default:
            if (ieee) return std::make_unique<WavDataConv16bitPCMFrom32bitFloat>();
            return std::make_unique<WavDataConv16bitPCMFrom32bitPCM>();
        }
    }
    if (format == kWaveFormatIeeeFloat && t.bits == 32) {
        switch (s.bitsPerSample) {
        case 8: return std::make_unique<WavDataConv32bitFloatFrom8bitPCM>();
        case 16: return std::make_unique<WavDataConv32bitFloatFrom16bitPCM>();
        case 24: return std::make_unique<WavDataConv32bitFloatFrom24bitPCM>();
        default:
            if (ieee) return std::make_unique<WavDataConv32bitFloatFrom32bitFloat>();
            return std::make_unique<WavDataConv32bitFloatFrom32bitPCM>();
        }
    }
    return nullptr;
}

bool WavImport::create(const WaveFormat& sourceFormat) {
    clearConversion();
    std::unique_ptr<DataConvProc> converter = converterFor(sourceFormat, *target_);
    if (!converter) return false;
    WaveFormat fileFormat;
    converter->format(&fileFormat);
    setConversion(std::move(converter), &sourceFormat);
    return WavStream::create(fileFormat);
}

bool WavImport::onWriteFormatExtension(RiffChunkStream* fmtChunk) {
    if (format_.formatTag != kWaveFormatIeeeFloat) return true;
    const uint8_t extension[12] = {10, 0};
    return fmtChunk->write(extension, 12) == 12;
}
