#include "ir/IrFft.h"

#include <new>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

namespace wav {

CFFT::CFFT(size_t size) : size_(sizeFor(size)) {
    in_ = static_cast<std::complex<float>*>(av_malloc(size_ * sizeof(std::complex<float>)));
    out_ = static_cast<std::complex<float>*>(av_malloc(size_ * sizeof(std::complex<float>)));
    float scale = 1.0f;
    av_tx_fn fn = nullptr;
    if (av_tx_init(&forward_, &fn, AV_TX_FLOAT_FFT, 0, static_cast<int>(size_), &scale, 0) == 0) forwardFn_ = fn;
    if (av_tx_init(&inverse_, &fn, AV_TX_FLOAT_FFT, 1, static_cast<int>(size_), &scale, 0) == 0) inverseFn_ = fn;
    if (!forwardFn_ || !inverseFn_ || !in_ || !out_) {
        release();
        throw std::bad_alloc();
    }
}

CFFT::~CFFT() { release(); }

void CFFT::release() {
    av_tx_uninit(&forward_);
    av_tx_uninit(&inverse_);
    av_freep(&in_);
    av_freep(&out_);
}

size_t CFFT::sizeFor(size_t n) {
    size_t size = 2;
    while (size < n) size <<= 1;
    return size;
}

void CFFT::run(AVTXContext* context, Transform fn, std::complex<double>* data, double scale) {
    for (size_t i = 0; i < size_; ++i) in_[i] = std::complex<float>(data[i]);
    fn(context, out_, in_, sizeof(std::complex<float>));
    for (size_t i = 0; i < size_; ++i) data[i] = std::complex<double>(out_[i]) * scale;
}

void CFFT::forward(std::complex<double>* data) { run(forward_, forwardFn_, data, 1.0); }

// The library leaves complex transforms unscaled: the 1/size is applied here.
void CFFT::inverse(std::complex<double>* data) { run(inverse_, inverseFn_, data, 1.0 / static_cast<double>(size_)); }

}  // namespace wav
