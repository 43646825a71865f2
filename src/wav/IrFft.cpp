#include "wav/IrFft.h"

#include <cstring>
#include <new>

extern "C" {
#include <libavutil/tx.h>
}

namespace wav {

CFFT::CFFT(size_t size) : size_(sizeFor(size)), scratch_(size_) {
    double scale = 1.0;
    av_tx_fn fn = nullptr;
    if (av_tx_init(&forward_, &fn, AV_TX_DOUBLE_FFT, 0, static_cast<int>(size_), &scale, 0) == 0) forwardFn_ = fn;
    if (av_tx_init(&inverse_, &fn, AV_TX_DOUBLE_FFT, 1, static_cast<int>(size_), &scale, 0) == 0)
        inverseFn_ = fn;
    if (!forwardFn_ || !inverseFn_) throw std::bad_alloc();
}

CFFT::~CFFT() {
    av_tx_uninit(&forward_);
    av_tx_uninit(&inverse_);
}

size_t CFFT::sizeFor(size_t n) {
    size_t size = 2;
    while (size < n) size <<= 1;
    return size;
}

void CFFT::run(AVTXContext* context, void (*fn)(AVTXContext*, void*, void*, ptrdiff_t), std::complex<double>* data) {
    fn(context, scratch_.data(), data, sizeof(std::complex<double>));
    std::memcpy(static_cast<void*>(data), scratch_.data(), size_ * sizeof(std::complex<double>));
}

void CFFT::forward(std::complex<double>* data) { run(forward_, forwardFn_, data); }
// The library leaves complex transforms unscaled: the 1/size is applied here.
void CFFT::inverse(std::complex<double>* data) {
    run(inverse_, inverseFn_, data);
    const double scale = 1.0 / static_cast<double>(size_);
    for (size_t i = 0; i < size_; ++i) data[i] *= scale;
}

}  // namespace wav
