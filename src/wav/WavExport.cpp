#include "wav/WavExport.h"

#include <cmath>

namespace wav {

namespace {

// Source families of the export converters.
class WavDataConv16bitPCM : public WavExport::DataConvProc {};
class WavDataConv32bitFloat : public WavExport::DataConvProc {};

using PcmTo16bitPCM = CopyRule<2>;
struct PcmTo24bitPCM : ComputedRule {
    static constexpr size_t InBytes = 2, OutBytes = 3;
    static void apply(uint8_t* out, const uint8_t* in) { sample::storeS24(out, sample::loadS16(in) * 256); }
};
struct PcmTo32bitFloat : ComputedRule {
    static constexpr size_t InBytes = 2, OutBytes = 4;
    static void apply(uint8_t* out, const uint8_t* in) {
        double x = sample::loadS16(in) * 3.0517578125e-05;
        sample::storeF32(out, static_cast<float>(x < -1.0 ? -1.0 : x > 1.0 ? 1.0 : x));
    }
};

// Float full scale is asymmetric on the way out: +1.0 gives the largest positive sample,
// -1.0 the most negative one. NaN gives silence.
inline int32_t floatToPcm(float sampleValue, double scale) {
    double x = sampleValue * scale;
    if (std::isnan(x)) return 0;
    if (x < -scale) x = -scale;
    if (x > scale - 1.0) x = scale - 1.0;
    return static_cast<int32_t>(x);
}

struct FloatTo16bitPCM : ComputedRule {
    static constexpr size_t InBytes = 4, OutBytes = 2;
    static void apply(uint8_t* out, const uint8_t* in) { sample::storeS16(out, floatToPcm(sample::loadF32(in), 32768.0)); }
};
struct FloatTo24bitPCM : ComputedRule {
    static constexpr size_t InBytes = 4, OutBytes = 3;
    static void apply(uint8_t* out, const uint8_t* in) {
        sample::storeS24(out, floatToPcm(sample::loadF32(in), 8388608.0));
    }
};
using FloatTo32bitFloat = CopyRule<4>;

using WavDataConv16bitPCMTo16bitPCM = RuleConverter<WavDataConv16bitPCM, PcmTo16bitPCM>;
using WavDataConv16bitPCMTo24bitPCM = RuleConverter<WavDataConv16bitPCM, PcmTo24bitPCM>;
using WavDataConv16bitPCMTo32bitFloat = RuleConverter<WavDataConv16bitPCM, PcmTo32bitFloat>;
using WavDataConv32bitFloatTo16bitPCM = RuleConverter<WavDataConv32bitFloat, FloatTo16bitPCM>;
using WavDataConv32bitFloatTo24bitPCM = RuleConverter<WavDataConv32bitFloat, FloatTo24bitPCM>;
using WavDataConv32bitFloatTo32bitFloat = RuleConverter<WavDataConv32bitFloat, FloatTo32bitFloat>;

bool acceptedTarget(const WavTargetFormat& t, const WaveFormat& source) {
    const uint16_t format = static_cast<uint16_t>(t.format);
    bool pcm = format == kWaveFormatPcm && (t.bits == 16 || t.bits == 24);
    bool ieee = format == kWaveFormatIeeeFloat && t.bits == 32;
    return (pcm || ieee) && t.sampleRate == 44100 && (source.channels == 1 || source.channels == 2);
}

}  // namespace

std::unique_ptr<WavExport::DataConvProc> WavExport::converterFor(const WaveFormat& s, const WavTargetFormat& t) {
    if (!acceptedTarget(t, s) || !hasConsistentLayout(s)) return nullptr;
    if (s.formatTag == kWaveFormatPcm && s.bitsPerSample == 16) {
        switch (t.bits) {
        case 16: return std::make_unique<WavDataConv16bitPCMTo16bitPCM>();
        case 24: return std::make_unique<WavDataConv16bitPCMTo24bitPCM>();
        default: return std::make_unique<WavDataConv16bitPCMTo32bitFloat>();
        }
    }
    if (s.formatTag == kWaveFormatIeeeFloat && s.bitsPerSample == 32) {
        switch (t.bits) {
        case 16: return std::make_unique<WavDataConv32bitFloatTo16bitPCM>();
        case 24: return std::make_unique<WavDataConv32bitFloatTo24bitPCM>();
        default: return std::make_unique<WavDataConv32bitFloatTo32bitFloat>();
        }
    }
    return nullptr;
}

bool WavExport::create(const WaveFormat& sourceFormat) {
    clearConversion();
    std::unique_ptr<DataConvProc> converter = converterFor(sourceFormat, *target_);
    if (!converter) return false;
    WaveFormat fileFormat;
    fileFormat.formatTag = static_cast<uint16_t>(target_->format);
    fileFormat.channels = sourceFormat.channels;
    fileFormat.sampleRate = static_cast<uint32_t>(target_->sampleRate);
    fileFormat.bitsPerSample = static_cast<uint16_t>(target_->bits);
    fileFormat.blockAlign = static_cast<uint16_t>(target_->bits / 8 * sourceFormat.channels);
    fileFormat.avgBytesPerSec = fileFormat.blockAlign * fileFormat.sampleRate;
    return startFile(std::move(converter), &sourceFormat, fileFormat);
}

}  // namespace wav
