#include "wav/WavImport.h"

#include <algorithm>
#include <cmath>

namespace wav {

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
struct FloatFrom8bitPCM : ComputedRule {
    static constexpr size_t InBytes = 1, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeF32(out, static_cast<float>((static_cast<int>(in[0]) - 128) * 0.0078125));
    }
};
struct FloatFrom16bitPCM : ComputedRule {
    static constexpr size_t InBytes = 2, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeF32(out, static_cast<float>(sample::loadS16(in) * 3.0517578125e-05));
    }
};
struct FloatFrom24bitPCM : ComputedRule {
    static constexpr size_t InBytes = 3, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeF32(out, static_cast<float>(sample::loadS24(in) * 1.1920928955078125e-07));
    }
};
struct FloatFrom32bitPCM : ComputedRule {
    static constexpr size_t InBytes = 4, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeF32(out, static_cast<float>(sample::loadS32(in) * 4.656612873077393e-10));
    }
};
using FloatFrom32bitFloat = CopyRule<4>;

// --- to 16-bit PCM: rounded half away from zero, limited to -32768 ... 32767 --------------
inline int32_t limit16(int32_t v) { return std::min(32767, std::max(-32768, v)); }

// v / 2^shift rounded half away from zero: add half a step to |v|, cut, restore the sign
// (the same as adding or subtracting half a step and dividing with truncation). Without
// branches: audio signs are as good as random, and mispredicted branches cost more than this.
template <int shift>
inline int32_t roundedShift(int32_t v) {
    int32_t sign = v >> 31;  // 0 or -1
    uint32_t magnitude = (static_cast<uint32_t>(v) ^ static_cast<uint32_t>(sign)) - static_cast<uint32_t>(sign);
    int32_t q = static_cast<int32_t>((magnitude + (1u << (shift - 1))) >> shift);
    return (q ^ sign) - sign;
}

inline int32_t reduce32to16(int32_t v) {
    // Limits first: from 2147450880 up, and from -2147450880 down, the rounding would pass full scale.
    return v >= 2147450880 ? 32767 : v <= -2147450880 ? -32768 : roundedShift<16>(v);
}

struct PcmFrom8bitPCM : ComputedRule {
    static constexpr size_t InBytes = 1, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeS16(out, limit16(static_cast<int32_t>((in[0] - 128.0) * 0.0078125 * 32768.0)));
    }
};
using PcmFrom16bitPCM = CopyRule<2>;
struct PcmFrom24bitPCM : ComputedRule {
    static constexpr size_t InBytes = 3, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeS16(out, limit16(roundedShift<8>(sample::loadS24(in))));
    }
};
struct PcmFrom32bitPCM : ComputedRule {
    static constexpr size_t InBytes = 4, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) { sample::storeS16(out, reduce32to16(sample::loadS32(in))); }
};
struct PcmFrom32bitFloat : ComputedRule {
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
    return startFile(std::move(converter), &sourceFormat, fileFormat);
}

bool WavImport::onWriteFormatExtension(RiffChunkStream* fmtChunk) {
    if (format_.formatTag != kWaveFormatIeeeFloat) return true;
    const uint8_t extension[12] = {10, 0};
    return fmtChunk->write(extension, 12) == 12;
}

}  // namespace wav
