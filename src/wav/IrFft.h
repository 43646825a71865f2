#pragma once

#include <complex>
#include <cstddef>
#include <vector>

struct AVTXContext;

namespace wav {

// Complex double-precision FFT of a power-of-two size (FFmpeg's av_tx). The inverse is
// scaled by 1/size, so forward then inverse gives the input back.
class CFFT {
public:
    explicit CFFT(size_t size);
    ~CFFT();
    CFFT(const CFFT&) = delete;
    CFFT& operator=(const CFFT&) = delete;

    size_t size() const { return size_; }
    bool valid() const { return forward_ && inverse_; }
    // In place; data holds size() values.
    void forward(std::complex<double>* data);
    void inverse(std::complex<double>* data);

    // The smallest power of two at least n (and at least 2).
    static size_t sizeFor(size_t n);

private:
    void run(AVTXContext* context, void (*fn)(AVTXContext*, void*, void*, ptrdiff_t), std::complex<double>* data);

    size_t size_;
    AVTXContext* forward_ = nullptr;
    AVTXContext* inverse_ = nullptr;
    void (*forwardFn_)(AVTXContext*, void*, void*, ptrdiff_t) = nullptr;
    void (*inverseFn_)(AVTXContext*, void*, void*, ptrdiff_t) = nullptr;
    std::vector<std::complex<double>> scratch_;
};

}  // namespace wav
