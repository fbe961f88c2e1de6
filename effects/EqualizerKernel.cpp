#include "effects/EqualizerKernel.h"

#include <algorithm>
#include <cmath>

#include "effects/KernelMath.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    for (double hj : h_)
        sumAbsH_ += std::fabs(hj);
}

// The running sum of one sample exactly as defined: x87 extended precision, rounded to
// single precision after every tap. x0 points at the sample; x0[-j] is j samples back.
float TEqualizerKernel::ExactSum(const double* x0) const {
    float a = 0.0f;
    for (int j = 0; j < kEqTaps; ++j)
        a = Accumulate(a, x0[-j], h_[j]);
    return a;
}

#if defined(__SSE2__)
// Sixteen samples' running sums at once in double precision, two per vector. Each tap's
// double sum lies within a tiny margin of the extended one; when the whole margin around it
// rounds to one float, that float is what the extended sum rounds to as well (rounding is
// monotone), so the chains stay identical. A tap whose margin straddles a rounding boundary
// makes the call return false, and the caller recomputes all sixteen exactly.
//
// The errors of both ways are below 2^-51 of |acc| + |X * H| at every tap, and that is below
// max|X| * sum|H| (times 1 + 2^-19 for the float roundings), where max|X| is taken over every
// sample the sixteen sums read. One margin per batch therefore covers every tap.
bool TEqualizerKernel::FastSums(const double* x0, float* sums) const {
    constexpr int kVectors = kFastBatch / 2;
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    // Every sample read: x0[-31] .. x0[15].
    __m128d peak = _mm_and_pd(_mm_load_sd(x0 - kHistory), absMask);
    for (int k = 1 - kHistory; k < kFastBatch; k += 2)
        peak = _mm_max_pd(peak, _mm_and_pd(_mm_loadu_pd(x0 + k), absMask));
    const double top = std::max(_mm_cvtsd_f64(peak), _mm_cvtsd_f64(_mm_unpackhi_pd(peak, peak)));
    const __m128d margin = _mm_set1_pd(top * sumAbsH_ * 1.01 * checkScale_);
    __m128d acc[kVectors];
    __m128 bad = _mm_setzero_ps();
    for (int v = 0; v < kVectors; ++v)
        acc[v] = _mm_setzero_pd();
    for (int j = 0; j < kEqTaps; ++j) {
        const __m128d hj = _mm_set1_pd(h_[j]);
        for (int v = 0; v < kVectors; ++v) {
            const __m128d sum = _mm_add_pd(acc[v], _mm_mul_pd(_mm_loadu_pd(x0 + 2 * v - j), hj));
            const __m128 lo = _mm_cvtpd_ps(_mm_sub_pd(sum, margin));
            const __m128 hi = _mm_cvtpd_ps(_mm_add_pd(sum, margin));
            bad = _mm_or_ps(bad, _mm_cmpneq_ps(lo, hi));
            acc[v] = _mm_cvtps_pd(lo); // equal to the sum's float whenever the batch is kept
        }
    }
    for (int v = 0; v < kVectors; ++v) {
        const __m128 f = _mm_cvtpd_ps(acc[v]);
        sums[2 * v] = _mm_cvtss_f32(f);
        sums[2 * v + 1] = _mm_cvtss_f32(_mm_shuffle_ps(f, f, 1));
    }
    // Only the two low lanes of each conversion hold sums.
    return (_mm_movemask_ps(bad) & 3) == 0;
}
#endif

template <bool Wide> void TEqualizerKernel::Run(uint8_t* samples, int32_t count) {
    using Io = TSampleIo<Wide>;
    const long double dry = dryGain_;
    double* const window = window_.data();
    while (count > 0) {
        const int32_t n = std::min<int32_t>(count, kWindow);
        for (int32_t i = 0; i < n; ++i)
            window[kHistory + i] = Io::Load(samples + i * Io::kBytes);
        int32_t i = 0;
#if defined(__SSE2__)
        for (; i + kFastBatch <= n; i += kFastBatch) {
            const double* x0 = window + kHistory + i;
            float sums[kFastBatch];
            if (!FastSums(x0, sums))
                for (int s = 0; s < kFastBatch; ++s)
                    sums[s] = ExactSum(x0 + s);
            for (int s = 0; s < kFastBatch; ++s) {
                const long double y = static_cast<long double>(x0[s]) * dry + sums[s];
                Io::Store(samples + (i + s) * Io::kBytes, RoundL(y));
            }
        }
#endif
        for (; i < n; ++i) {
            const double* x0 = window + kHistory + i;
            const long double y = static_cast<long double>(x0[0]) * dry + ExactSum(x0);
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
