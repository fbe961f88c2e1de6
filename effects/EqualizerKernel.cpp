#include "effects/EqualizerKernel.h"

#include <algorithm>
#include <cmath>

#include "effects/KernelMath.h"

namespace {

TEqBandTable ComputeBands() {
    // pi to extended precision; t = n - 15.5 puts the 32 taps symmetrically about the middle.
    const long double pi = 3.14159265358979323846264338327950288L;
    TEqBandTable bands{};
    for (int k = 0; k < kEqBands; ++k) {
        const long double f1 = static_cast<long double>(kEqEdges[k]) / 32768.0L;
        const long double f2 = static_cast<long double>(kEqEdges[k + 1]) / 32768.0L;
        for (int n = 0; n < kEqTaps; ++n) {
            const long double t = static_cast<long double>(n) - 15.5L;
            const long double h =
                (std::sin(2.0L * pi * f2 * t) - std::sin(2.0L * pi * f1 * t)) / (pi * t);
            bands[k][n] = static_cast<double>(h);
        }
    }
    return bands;
}

// One step of the filter's running sum: the product and the sum in extended precision,
// then the sum rounded to single precision, as every tap does in turn.
inline float Accumulate(float acc, double x, double h) {
    return static_cast<float>(static_cast<long double>(acc) +
                              static_cast<long double>(x) * static_cast<long double>(h));
}

} // namespace

const TEqBandTable& EqualizerBands() {
    static const TEqBandTable bands = ComputeBands();
    return bands;
}

TEqualizerKernel::TEqualizerKernel(int32_t dry, const std::array<float, kEqBands>& bandGains,
                                   const WAVEFORMATEX& format)
    : wide_(Is16Bit(format)), dryGain_(PercentGain(dry)) {
    const TEqBandTable& bands = EqualizerBands();
    // Band after band, in double precision.
    for (int k = 0; k < kEqBands; ++k) {
        const double g = bandGains[k];
        for (int j = 0; j < kEqTaps; ++j)
            h_[j] = h_[j] + bands[k][j] * g;
    }
}

template <bool Wide> void TEqualizerKernel::Run(uint8_t* samples, int32_t count) {
    using Io = TSampleIo<Wide>;
    const long double dry = dryGain_;
    double* const window = window_.data();
    const double* const h = h_.data();
    while (count > 0) {
        const int32_t n = std::min<int32_t>(count, kWindow);
        for (int32_t i = 0; i < n; ++i)
            window[kHistory + i] = Io::Load(samples + i * Io::kBytes);
        int32_t i = 0;
        // Four samples at a time: their running sums are independent, so the four chains
        // overlap instead of each waiting on the rounding of its previous tap.
        for (; i + 4 <= n; i += 4) {
            const double* x0 = window + kHistory + i;
            float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f, a3 = 0.0f;
            for (int j = 0; j < kEqTaps; ++j) {
                const double hj = h[j];
                a0 = Accumulate(a0, x0[-j], hj);
                a1 = Accumulate(a1, x0[1 - j], hj);
                a2 = Accumulate(a2, x0[2 - j], hj);
                a3 = Accumulate(a3, x0[3 - j], hj);
            }
            const float acc[4] = {a0, a1, a2, a3};
            for (int s = 0; s < 4; ++s) {
                const long double y = static_cast<long double>(x0[s]) * dry + acc[s];
                Io::Store(samples + (i + s) * Io::kBytes, RoundL(y));
            }
        }
        for (; i < n; ++i) {
            const double* x0 = window + kHistory + i;
            float a = 0.0f;
            for (int j = 0; j < kEqTaps; ++j)
                a = Accumulate(a, x0[-j], h[j]);
            const long double y = static_cast<long double>(x0[0]) * dry + a;
            Io::Store(samples + i * Io::kBytes, RoundL(y));
        }
        std::copy(window + n, window + n + kHistory, window);
        samples += n * Io::kBytes;
        count -= n;
    }
}

void TEqualizerKernel::Process(uint8_t* samples, int32_t bytes) {
    if (bytes <= 0) return;
    if (wide_)
        Run<true>(samples, bytes / 2);
    else
        Run<false>(samples, bytes);
}
