#pragma once

#include <complex>
#include <cstddef>
#include <vector>

struct AVTXContext;

namespace wav {

// Complex FFT of a power-of-two size over FFmpeg's av_tx. The data is double precision;
// the transform itself runs in single precision, where the library has its vectorised code
// (the double-precision one is plain C, more than twice as slow). That keeps about 7 significant
// digits, far more than a response measured from a recording holds. The inverse is scaled by
// 1/size, so forward then inverse gives the input back.
class CFFT {
public:
    explicit CFFT(size_t size);
    ~CFFT();
    CFFT(const CFFT&) = delete;
    CFFT& operator=(const CFFT&) = delete;

    size_t size() const { return size_; }
    // In place; data holds size() values.
    void forward(std::complex<double>* data);
    void inverse(std::complex<double>* data);

    // The smallest power of two at least n (and at least 2).
    static size_t sizeFor(size_t n);

private:
    using Transform = void (*)(AVTXContext*, void*, void*, ptrdiff_t);
    void release();
    void run(AVTXContext* context, Transform fn, std::complex<double>* data, double scale);

    size_t size_;
    AVTXContext* forward_ = nullptr;
    AVTXContext* inverse_ = nullptr;
    Transform forwardFn_ = nullptr;
    Transform inverseFn_ = nullptr;
    // Aligned for the library's vector code (av_malloc).
    std::complex<float>* in_ = nullptr;
    std::complex<float>* out_ = nullptr;
};

}  // namespace wav
