#include "ir/IrFilterDesign.h"

#include "ir/IrFft.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <mutex>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace wav {

namespace {

struct SwrDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

constexpr size_t kResampleBlock = 4096;

}  // namespace

std::vector<double> resampleTo48k(const std::vector<double>& input, int sampleRate, const IrStepProgress& step) {
    if (sampleRate == kIrFilterRate || input.empty()) {
        step(1.0);
        return input;
    }
    static std::once_flag quiet;  // the library reports to its log only: the program writes none
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_DBL, kIrFilterRate, &mono, AV_SAMPLE_FMT_DBL, sampleRate, 0,
                            nullptr) < 0)
        return {};
    std::unique_ptr<SwrContext, SwrDeleter> swr(raw);
    // A longer filter with a cut-off close to the input's Nyquist frequency than the
    // defaults: the response must keep its top octave.
    av_opt_set_int(swr.get(), "filter_size", 128, 0);
    av_opt_set_int(swr.get(), "phase_shift", 12, 0);
    av_opt_set_double(swr.get(), "cutoff", 0.98, 0);
    if (swr_init(swr.get()) < 0) return {};

    // The resampler's delay stays in: the minimum-phase step that follows takes it out.
    const double ratio = static_cast<double>(kIrFilterRate) / sampleRate;
    // The response's own length, its resampler delay and ringing; the rest is silence.
    const auto keep = static_cast<size_t>(std::ceil(static_cast<double>(input.size()) * ratio)) + 512;
    // Input in pieces that give at most about 64 Ki output samples each, whatever the ratio.
    const auto piece = static_cast<size_t>(std::clamp(65536.0 / ratio, 1.0, static_cast<double>(kResampleBlock)));
    const size_t padding = 2 * piece;  // input silence after the response pushes its tail out
    const size_t total = input.size() + padding;
    std::vector<double> silence(piece, 0.0);
    std::vector<double> out;
    out.reserve(keep + 1024);
    std::vector<double> block;
    for (size_t at = 0; at < total && out.size() < keep;) {
        const bool real = at < input.size();
        const size_t count = real ? std::min(piece, input.size() - at) : std::min(piece, total - at);
        const double* from = real ? input.data() + at : silence.data();
        int room = swr_get_out_samples(swr.get(), static_cast<int>(count));
        if (room < 0) return {};
        block.resize(static_cast<size_t>(room) + 16);
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(from)};
        uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(block.data())};
        int made = swr_convert(swr.get(), dst, static_cast<int>(block.size()), in, static_cast<int>(count));
        if (made < 0) return {};
        out.insert(out.end(), block.begin(), block.begin() + made);
        at += count;
        if (!step(static_cast<double>(at) / total)) return {};
    }
    if (out.size() > keep) out.resize(keep);
    return out;
}

std::vector<double> minimumPhase(const std::vector<double>& response, size_t length, const IrStepProgress& step) {
    // Enough points that the cepstrum does not alias back over the response.
    CFFT fft(std::max<size_t>(CFFT::sizeFor(4 * response.size()), CFFT::sizeFor(8 * length)));
    const size_t n = fft.size();
    std::vector<std::complex<double>> spectrum(n);
    for (size_t i = 0; i < response.size() && i < n; ++i) spectrum[i] = response[i];
    fft.forward(spectrum.data());
    if (!step(0.25)) return {};

    double peak = 0;
    for (const auto& bin : spectrum) peak = std::max(peak, std::abs(bin));
    if (peak <= 0 || !std::isfinite(peak)) return std::vector<double>(length, 0.0);
    const double floor = peak * 1e-8;
    for (auto& bin : spectrum) bin = std::log(std::max(std::abs(bin), floor));
    fft.inverse(spectrum.data());  // the real cepstrum
    if (!step(0.5)) return {};

    // Fold: keep c[0] and c[n/2], double the positive quefrencies, drop the negative ones.
    for (size_t i = 1; i < n / 2; ++i) spectrum[i] = 2.0 * spectrum[i].real();
    spectrum[0] = spectrum[0].real();
    spectrum[n / 2] = spectrum[n / 2].real();
    for (size_t i = n / 2 + 1; i < n; ++i) spectrum[i] = 0.0;
    fft.forward(spectrum.data());
    if (!step(0.75)) return {};
    for (auto& bin : spectrum) bin = std::exp(bin);
    fft.inverse(spectrum.data());
    if (!step(1.0)) return {};

    std::vector<double> out(length, 0.0);
    for (size_t i = 0; i < length && i < n; ++i) out[i] = spectrum[i].real();
    return out;
}

void fadeOutTail(std::vector<double>& response) {
    const size_t fade = response.size() / 8;
    if (fade == 0) return;
    const size_t start = response.size() - fade;
    for (size_t i = 0; i < fade; ++i) {
        double phase = M_PI * static_cast<double>(i + 1) / static_cast<double>(fade + 1);
        response[start + i] *= 0.5 * (1.0 + std::cos(phase));
    }
}

double peakMagnitude(const std::vector<double>& response) {
    CFFT fft(CFFT::sizeFor(8 * std::max<size_t>(response.size(), 1)));
    std::vector<std::complex<double>> spectrum(fft.size());
    for (size_t i = 0; i < response.size(); ++i) spectrum[i] = response[i];
    fft.forward(spectrum.data());
    double peak = 0;
    for (size_t i = 0; i <= fft.size() / 2; ++i) peak = std::max(peak, std::abs(spectrum[i]));
    return std::isfinite(peak) ? peak : 0.0;
}

}  // namespace wav
