#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace wav {

// One per-sample conversion rule, chosen once per file. convertFrames() runs the same rule
// over a block of whole frames, so the inner loop makes no virtual call per sample.
class SampleConverter {
public:
    virtual ~SampleConverter() = default;
    // Reads one source sample at in and writes one target sample at out.
    virtual void convert(uint8_t* out, const uint8_t* in) const = 0;
    // Converts frames whole frames of inChannels samples into frames of outChannels samples;
    // target channels beyond the source's repeat the frame's first converted sample.
    virtual void convertFrames(uint8_t* out, const uint8_t* in, size_t frames, unsigned inChannels,
                               unsigned outChannels) const = 0;
};

// A rule that passes samples of N bytes through unchanged.
template <size_t N>
struct CopyRule {
    static constexpr size_t InBytes = N, OutBytes = N;
    static constexpr bool identity = true;
    static void apply(uint8_t* out, const uint8_t* in) { std::memcpy(out, in, N); }
};

// Binds a rule (a struct with static apply(out, in), InBytes, OutBytes and identity) to an interface.
template <class Interface, class Rule>
class RuleConverter : public Interface {
public:
    void convert(uint8_t* out, const uint8_t* in) const override { Rule::apply(out, in); }

    void convertFrames(uint8_t* out, const uint8_t* in, size_t frames, unsigned inChannels,
                       unsigned outChannels) const override {
        constexpr size_t I = Rule::InBytes, O = Rule::OutBytes;
        if (Rule::identity && inChannels == outChannels) {
            std::memcpy(out, in, frames * inChannels * I);
        } else if (inChannels == outChannels) {
            for (size_t n = frames * inChannels; n != 0; --n, in += I, out += O) Rule::apply(out, in);
        } else {
            widen(out, in, frames, inChannels, outChannels);
        }
    }

private:
    static void widen(uint8_t* out, const uint8_t* in, size_t frames, unsigned inChannels, unsigned outChannels) {
        constexpr size_t I = Rule::InBytes, O = Rule::OutBytes;
        for (; frames != 0; --frames) {
            for (unsigned c = 0; c < inChannels; ++c, in += I) Rule::apply(out + c * O, in);
            for (unsigned c = inChannels; c < outChannels; ++c) std::memcpy(out + c * O, out, O);
            out += outChannels * O;
        }
    }
};

// A rule that computes: the base of every rule that is not a plain copy.
struct ComputedRule {
    static constexpr bool identity = false;
};

// Little-endian sample access shared by the rules.
namespace sample {
inline int32_t loadS16(const uint8_t* p) { int16_t v; std::memcpy(&v, p, 2); return v; }
inline int32_t loadS24(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                static_cast<uint32_t>(p[2]) << 24) >> 8;
}
inline int32_t loadS32(const uint8_t* p) { int32_t v; std::memcpy(&v, p, 4); return v; }
inline float loadF32(const uint8_t* p) { float v; std::memcpy(&v, p, 4); return v; }
inline void storeS16(uint8_t* p, int32_t v) { int16_t s = static_cast<int16_t>(v); std::memcpy(p, &s, 2); }
inline void storeS24(uint8_t* p, int32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
}
inline void storeF32(uint8_t* p, float v) { std::memcpy(p, &v, 4); }
}  // namespace sample

}  // namespace wav
