#include "effects/FadeKernel.h"

#include "effects/KernelMath.h"

TFadeKernel::TFadeKernel(int32_t left, int32_t right, int64_t selectionBytes,
                         const WAVEFORMATEX& format)
    : wide_(Is16Bit(format)),
      count_(selectionBytes > 0 ? selectionBytes / SampleBytes(format) : 0) {
    if (count_ == 0) return; // no ramp to spread: Process leaves everything as it is
    const long double span = static_cast<long double>(right) - left;
    step_ = static_cast<float>(span / count_ / 100.0L);
    base_ = PercentGain(left);
}

template <bool Wide> void TFadeKernel::Run(uint8_t* samples, int32_t count) {
    using Io = TSampleIo<Wide>;
    // k*step is exact in extended precision (a float times an integer below 2^40), and the
    // counter held as a long double stays exact, so each gain is computed afresh rather than
    // accumulated: the same value the plain formula gives.
    const long double step = step_;
    const long double base = base_;
    long double k = static_cast<long double>(k_);
    for (int32_t i = 0; i < count; ++i) {
        uint8_t* p = samples + i * Io::kBytes;
        const long double gain = k * step + base;
        Io::Store(p, RoundL(static_cast<long double>(Io::Load(p)) * gain));
        k += 1.0L;
    }
    k_ += count;
}

void TFadeKernel::Process(uint8_t* samples, int32_t bytes) {
    if (count_ == 0 || bytes <= 0) return;
    if (wide_)
        Run<true>(samples, bytes / 2);
    else
        Run<false>(samples, bytes);
}
