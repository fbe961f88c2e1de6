#include "effects/DistortionKernel.h"

#include "effects/KernelMath.h"

TDistortionKernel::TDistortionKernel(int32_t upperThreshold, int32_t lowerThreshold, int32_t clamp,
                                     int32_t dry, int32_t wet, const WAVEFORMATEX& format)
    : wide_(Is16Bit(format)), dryGain_(PercentGain(dry)), wetGain_(PercentGain(wet)) {
    const long double full = FullScale(format);
    upper_ = RoundL(static_cast<long double>(upperThreshold) / 100.0L * full);
    lower_ = RoundL(static_cast<long double>(lowerThreshold) / 100.0L * full);
    clampLevel_ = RoundL(static_cast<long double>(clamp) / 100.0L * full * wetGain_);

    // Every output is a function of its input alone, so one table lookup per sample does
    // the work; the table is filled with the very rule a sample would get.
    uint8_t image[2];
    if (wide_) {
        table16_.resize(65536);
        for (int32_t raw = 0; raw < 65536; ++raw) {
            StoreSample16(image, Transform(static_cast<int16_t>(static_cast<uint16_t>(raw))));
            table16_[raw] = static_cast<uint16_t>(image[0] | (image[1] << 8));
        }
    } else {
        table8_.resize(256);
        for (int32_t raw = 0; raw < 256; ++raw) {
            StoreSample8(image, Transform(raw - 128));
            table8_[raw] = image[0];
        }
    }
}

int64_t TDistortionKernel::Transform(int32_t x) const {
    const int64_t magnitude = x < 0 ? -static_cast<int64_t>(x) : x;
    if (lower_ <= magnitude && magnitude <= upper_) return x >= 0 ? clampLevel_ : -clampLevel_;
    return RoundL(static_cast<long double>(x) * dryGain_);
}

void TDistortionKernel::Process(uint8_t* samples, int32_t bytes) const {
    if (bytes <= 0) return;
    if (wide_) {
        const uint16_t* table = table16_.data();
        const int32_t count = bytes / 2;
        for (int32_t i = 0; i < count; ++i) {
            uint8_t* p = samples + 2 * i;
            const uint16_t out = table[p[0] | (p[1] << 8)];
            p[0] = static_cast<uint8_t>(out);
            p[1] = static_cast<uint8_t>(out >> 8);
        }
    } else {
        const uint8_t* table = table8_.data();
        for (int32_t i = 0; i < bytes; ++i)
            samples[i] = table[samples[i]];
    }
}
