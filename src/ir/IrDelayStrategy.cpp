#include "ir/IrDelayStrategy.h"

#include <algorithm>
#include <cmath>

namespace wav {

namespace {

constexpr double kOnsetLevel = 1.0 / 512.0;  // 2^-9
constexpr size_t kPollEvery = 1 << 15;       // samples between looks at the cancel flag

size_t onsetOf(const std::vector<double>& x) {
    size_t at = 0;
    while (at < x.size() && std::fabs(x[at]) < kOnsetLevel) ++at;
    return at;
}

double toDb(double ratio) {
    if (!(ratio > 0)) return IrTimeStructureStrategy::kFloorDb;
    return std::max(IrTimeStructureStrategy::kFloorDb, 10.0 * std::log10(ratio));
}

double energy(const std::vector<double>& x, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to && i < x.size(); ++i) sum += x[i] * x[i];
    return sum;
}

// Slope (per second) of the least-squares line through the points; 0 with fewer than two.
double slope(const std::vector<double>& t, const std::vector<double>& y) {
    const size_t n = t.size();
    if (n < 2) return 0;
    double mt = 0, my = 0;
    for (size_t i = 0; i < n; ++i) {
        mt += t[i];
        my += y[i];
    }
    mt /= n;
    my /= n;
    double num = 0, den = 0;
    for (size_t i = 0; i < n; ++i) {
        num += (t[i] - mt) * (y[i] - my);
        den += (t[i] - mt) * (t[i] - mt);
    }
    return den > 0 ? num / den : 0;
}

}  // namespace

void IrTimeStructureStrategy::process(int stereoProc) {
    resizeOutput(kLength);
    const int n = channels_ == 2 ? 2 : 1;
    if (!input_ || sampleRate_ <= 0) frames_ = 0;
    std::vector<int> analysed;
    if (stereoProc == 1) {
        analysed = {n - 1};
    } else if (stereoProc == 2 && n == 2) {
        analysed = {0, 1};
    } else {
        analysed = {0};
    }
    std::vector<double> weights;
    for (size_t i = 0; i < analysed.size(); ++i) weights.insert(weights.end(), {0.1, 1.0});
    setStages(weights);

    for (size_t i = 0; i < analysed.size(); ++i) {
        const int channel = analysed[i];
        std::vector<double> samples(frames_);
        for (size_t f = 0; f < frames_; ++f) {
            if (f % kPollEvery == 0 && canceled()) return;
            samples[f] = sample(f, channel);
        }
        advance(2 * i, 1.0);
        std::vector<double> figures(kLength, 0.0);
        for (size_t k = 4; k < kLength; ++k) figures[k] = kFloorDb;
        if (!analyse(samples, figures, 2 * i + 1)) return;
        for (size_t k = 0; k < kLength; ++k) {
            const auto value = static_cast<float>(figures[k]);
            if (analysed.size() == 1) {
                setOutput(k, 0, value);
                setOutput(k, 1, value);
            } else {
                setOutput(k, channel, value);
            }
        }
        advance(2 * i + 1, 1.0);
    }
    finish();
}

bool IrConverterDelayStrategy::analyse(const std::vector<double>& x, std::vector<double>& figures, size_t stage) {
    const double rate = sampleRate_;
    const size_t onset = onsetOf(x);
    if (onset >= x.size()) return !canceled();
    figures[3] = onset * 1000.0 / rate;

    // The energy envelope in 1 ms bins over at most 10 s after the onset.
    const size_t bin = std::max<size_t>(1, static_cast<size_t>(std::lround(rate / 1000.0)));
    const size_t span = std::min(x.size() - onset, static_cast<size_t>(10 * rate));
    const size_t bins = (span + bin - 1) / bin;
    std::vector<double> envelope(bins, 0.0);
    for (size_t i = 0; i < span; ++i) {
        if (i % kPollEvery == 0 && canceled()) return false;
        envelope[i / bin] += x[onset + i] * x[onset + i];
    }

    // The strongest periodicity: the largest local maximum of its autocorrelation.
    const size_t minLag = 20, maxLag = std::min<size_t>(2000, bins > 1 ? bins - 1 : 0);
    size_t bestLag = 0;
    double best = 0;
    if (maxLag > minLag) {
        std::vector<double> r(maxLag + 2, 0.0);
        for (size_t lag = minLag - 1; lag <= maxLag + 1 && lag < bins; ++lag) {
            if (canceled()) return false;
            double sum = 0;
            for (size_t b = 0; b + lag < bins; ++b) sum += envelope[b] * envelope[b + lag];
            r[lag] = sum;
            step(stage, 0.8 * static_cast<double>(lag) / (maxLag + 1));
        }
        for (size_t lag = minLag; lag <= maxLag; ++lag) {
            if (r[lag] > best && r[lag] >= r[lag - 1] && r[lag] > r[lag + 1]) {
                best = r[lag];
                bestLag = lag;
            }
        }
    }
    if (bestLag == 0 || !(best > 0)) return !canceled();

    // The direct sound's peak, and the first repeat's peak near where the envelope puts it.
    auto peakIn = [&](size_t from, size_t to) {
        size_t at = from;
        for (size_t i = from; i < to && i < x.size(); ++i)
            if (std::fabs(x[i]) > std::fabs(x[at])) at = i;
        return at;
    };
    const size_t direct = peakIn(onset, onset + 5 * bin);
    const size_t guess = direct + bestLag * bin;
    if (guess >= x.size()) return !canceled();
    size_t repeat = peakIn(guess > 2 * bin ? guess - 2 * bin : 0, guess + 2 * bin + 1);
    if (repeat <= direct) repeat = guess;
    const size_t delay = repeat - direct;
    figures[0] = delay * 1000.0 / rate;

    const size_t half = std::max<size_t>(1, std::min(delay / 2, (analog_ ? 10 : 2) * bin));
    const double direct_energy = energy(x, direct > half ? direct - half : 0, direct + half + 1);
    size_t count = 0;
    bool consecutive = true;
    double num = 0, den = 0;
    for (size_t k = 1; 3 + k < kLength; ++k) {
        if (canceled()) return false;
        const size_t centre = direct + k * delay;
        if (centre >= x.size()) break;
        double level = toDb(energy(x, centre - half, centre + half + 1) / direct_energy);
        figures[3 + k] = level;
        if (consecutive && level > -60.0) {
            ++count;
            num += k * level;
            den += static_cast<double>(k) * k;
        } else {
            consecutive = false;
        }
    }
    step(stage, 1.0);
    figures[2] = static_cast<double>(count);
    figures[1] = den > 0 ? std::pow(10.0, num / den / 20.0) : 0.0;
    return !canceled();
}

bool IrConverterReverbStrategy::analyse(const std::vector<double>& x, std::vector<double>& figures, size_t stage) {
    const double rate = sampleRate_;
    const size_t onset = onsetOf(x);
    if (onset >= x.size()) return !canceled();
    figures[2] = onset * 1000.0 / rate;

    // Schroeder's backward integral of the squared response from the onset.
    const size_t n = x.size() - onset;
    std::vector<double> remaining(n + 1, 0.0);
    for (size_t i = n; i-- > 0;) {
        if (i % kPollEvery == 0) {
            if (canceled()) return false;
            step(stage, 0.8 * static_cast<double>(n - i) / n);
        }
        remaining[i] = remaining[i + 1] + x[onset + i] * x[onset + i];
    }
    const double total = remaining[0];
    if (!(total > 0) || !std::isfinite(total)) return !canceled();
    auto curve = [&](size_t i) { return toDb(remaining[i] / total); };

    for (size_t k = 0; k + 4 < kLength; ++k) {
        const auto at = static_cast<size_t>(std::llround(k * 0.020 * rate));
        figures[4 + k] = at < n ? curve(at) : kFloorDb;
    }

    // The curve in 1 ms steps, for the fits.
    const size_t stride = std::max<size_t>(1, static_cast<size_t>(std::lround(rate / 1000.0)));
    std::vector<double> times, levels;
    for (size_t i = 0; i < n; i += stride) {
        times.push_back(i / rate);
        levels.push_back(curve(i));
    }
    // The points from where the curve first falls to `top` until it first falls to `bottom`;
    // empty when it never gets to bottom.
    auto fit = [&](double top, double bottom) {
        std::vector<double> t, y;
        bool reached = false;
        for (size_t i = 0; i < levels.size(); ++i) {
            if (levels[i] > top) continue;
            if (levels[i] <= bottom) {
                reached = true;
                break;
            }
            t.push_back(times[i]);
            y.push_back(levels[i]);
        }
        double s = reached ? slope(t, y) : 0;
        return s < 0 ? -60.0 / s : 0.0;
    };
    for (double range : {30.0, 20.0, 10.0}) {
        double rt60 = fit(-5.0, -5.0 - range);
        if (rt60 > 0) {
            figures[0] = rt60;
            figures[3] = range;
            break;
        }
    }
    figures[1] = fit(0.0, -10.0);
    step(stage, 1.0);
    return !canceled();
}

}  // namespace wav
