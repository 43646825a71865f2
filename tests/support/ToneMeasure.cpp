#include "support/ToneMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}
void put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>(v >> 8);
}
uint32_t get32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
    return v;
}
uint16_t get16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}

}  // namespace

bool writeToneWav(const std::string& path, double frequency, double amplitude, int rate, double seconds) {
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::string wav = "RIFF";
    put32(wav, static_cast<uint32_t>(36 + frames * 4));
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 3);
    put16(wav, 1);
    put32(wav, static_cast<uint32_t>(rate));
    put32(wav, static_cast<uint32_t>(rate) * 4);
    put16(wav, 4);
    put16(wav, 32);
    wav += "data";
    put32(wav, static_cast<uint32_t>(frames * 4));
    const double step = 2 * M_PI * frequency / rate;
    for (size_t i = 0; i < frames; ++i) {
        float v = static_cast<float>(amplitude * std::sin(step * static_cast<double>(i)));
        char bytes[4];
        std::memcpy(bytes, &v, 4);
        wav.append(bytes, 4);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(wav.data(), static_cast<std::streamsize>(wav.size()));
    return static_cast<bool>(out);
}

bool readFloatWav(const std::string& path, std::vector<float>& samples, int rate) {
    std::ifstream in(path, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return false;
    bool format = false;
    for (size_t at = 12; at + 8 <= s.size();) {
        const std::string id = s.substr(at, 4);
        const uint32_t size = get32(s, at + 4);
        const size_t body = at + 8;
        if (body + size > s.size() && id != "data") return false;
        if (id == "fmt " && size >= 16) {
            uint16_t tag = get16(s, body);
            if (tag == 0xFFFE && size >= 40) tag = get16(s, body + 24);  // extensible: the sub-format
            format = tag == 3 && get16(s, body + 2) == 1 && get32(s, body + 4) == static_cast<uint32_t>(rate) &&
                     get16(s, body + 14) == 32;
        } else if (id == "data") {
            if (!format) return false;
            const size_t bytes = std::min<size_t>(size, s.size() - body) / 4 * 4;
            samples.resize(bytes / 4);
            std::memcpy(samples.data(), s.data() + body, bytes);
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

ToneFit fitTone(const std::vector<float>& samples, double frequency, int rate) {
    ToneFit fit;
    const size_t from = samples.size() / 4, to = samples.size() * 3 / 4;
    if (to <= from) return fit;
    // Normal equations of x ≈ a sin + b cos.
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0, xx = 0;
    const double step = 2 * M_PI * frequency / rate;
    for (size_t i = from; i < to; ++i) {
        const double s = std::sin(step * static_cast<double>(i)), c = std::cos(step * static_cast<double>(i));
        const double x = samples[i];
        ss += s * s, cc += c * c, sc += s * c, xs += x * s, xc += x * c, xx += x * x;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    fit.amplitude = std::hypot(a, b);
    double residual = 0;
    for (size_t i = from; i < to; ++i) {
        const double e = samples[i] - a * std::sin(step * static_cast<double>(i)) - b * std::cos(step * static_cast<double>(i));
        residual += e * e;
    }
    const double n = static_cast<double>(to - from);
    fit.residualRms = std::sqrt(residual / n);
    fit.totalRms = std::sqrt(xx / n);
    return fit;
}
