#include "effects/EqualizerKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/KernelMath.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define WAVESTACK_EQ_AVX2 1
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

// Whether the processor (and the system, for the wide registers' state) runs AVX2 and FMA.
// Asked once; every kernel object then keeps its own choice.
bool CpuHasAvx2Fma() {
#if defined(WAVESTACK_EQ_AVX2)
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    return has;
#else
    return false;
#endif
}

} // namespace

const TEqBandTable& EqualizerBands() {
    static const TEqBandTable bands = ComputeBands();
    return bands;
}

TEqualizerKernel::TEqualizerKernel(int32_t dry, const std::array<float, kEqBands>& bandGains,
                                   const WAVEFORMATEX& format)
    : wide_(Is16Bit(format)), avx2_(CpuHasAvx2Fma()), dryGain_(PercentGain(dry)) {
    const TEqBandTable& bands = EqualizerBands();
    // Band after band, in double precision.
    for (int k = 0; k < kEqBands; ++k) {
        const double g = bandGains[k];
        for (int j = 0; j < kEqTaps; ++j)
            h_[j] = h_[j] + bands[k][j] * g;
    }
    for (int j = 0; j < kEqTaps; ++j) {
        sumAbsH_ += std::fabs(h_[j]);
        marginPrefix_[j] = 0x1p25 * 1.01 * sumAbsH_;
    }
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

#if defined(WAVESTACK_EQ_AVX2)
// Thirty-two samples' running sums at once, four per vector, with the same guarantee as the
// SSE2 way: a false return means some tap could not be proven to round to the float the
// extended sum rounds to, and the caller recomputes the batch exactly.
//
// Error: a tap's fused x * h + acc is one rounding, at most 2^-53 of |acc + x * h|; the
// extended way rounds x * h (2^-64) and then the sum (2^-64), both on the same float acc
// while the chains agree. So the two sums s (here) and t (extended) differ by less than
// 2^-52.9 (|acc| + |x * h|). At tap j, |acc| + |x * h| is at most max|X| times the sum of
// |H[i]| over i <= j, times 1 + 2^-19 for the float roundings (max|X| over every sample the
// batch reads), so the tap's margin m = 2^-49 * 1.01 * max|X| * that prefix sum keeps a
// factor of about 15 in hand (the prefix itself is summed in doubles, off by 2^-48 at most).
// Growing with j instead of being the whole filter's bound, it spares the early taps, whose
// small sums would otherwise fail the test often.
//
// Straddle test: let s lie in [2^E, 2^(E+1)) (E from s's exponent bits, as 2^E = s with its
// mantissa cleared), g = 2^(E-23) the float step there and d = s - float(s), which is exact
// (Sterbenz). If |d| + 2m < g / 2, no float rounding boundary lies within m of s: the nearest
// boundaries of the binade's uniform grid are g / 2 - |d| > 2m away; when float(s) = 2^E the
// one below it, 2^E - g / 4, is more than g / 4 > m away; when float(s) = 2^(E+1) the one
// above is a further g up. Rounding being monotone, t then rounds to float(s) too. The test
// runs as |d| * 2^24 + 2^25 m < 2^E with one rounding, which is monotone, so a true
// left-hand side at or above 2^E is never taken as below it. s = 0 (2^E = 0) always fails,
// which is why silence is handled before. The float step below 2^-126 is coarser than g, and
// the floor of 2^-100 on the margin term fails any such tap anyway.
//
// float(s) comes from Veltkamp's split, c = s (2^29 + 1), hi = c - (c - s): s rounded to
// 24 significant bits, nearest except that a tie may go either way, and a tie (|d| = g / 2)
// fails the test. Three plain operations instead of two conversions each way; the product
// must stay rounded on its own, so it is hidden from floating-point contraction.
__attribute__((target("avx2,fma"))) bool TEqualizerKernel::FastSumsAvx2(const double* x0,
                                                                        double* sums) const {
    constexpr int kVectors = kAvxBatch / 4;
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    // Every sample read: x0[-31] .. x0[31], the last four loaded overlapping.
    __m256d peak = _mm256_setzero_pd();
    for (int k = -kHistory; k < kAvxBatch - 4; k += 4)
        peak = _mm256_max_pd(peak, _mm256_and_pd(_mm256_loadu_pd(x0 + k), absMask));
    peak = _mm256_max_pd(peak, _mm256_and_pd(_mm256_loadu_pd(x0 + kAvxBatch - 4), absMask));
    const __m128d half = _mm_max_pd(_mm256_castpd256_pd128(peak), _mm256_extractf128_pd(peak, 1));
    const double top = std::max(_mm_cvtsd_f64(half), _mm_cvtsd_f64(_mm_unpackhi_pd(half, half)));
    const double bound = top * sumAbsH_;
    if (bound == 0.0) {
        // Every product is a zero, so every running sum is 0 both ways.
        std::fill(sums, sums + kAvxBatch, 0.0);
        return true;
    }
    if (!(bound <= 0x1p60)) return false; // far outside any real filter: leave it exact
    const __m256d expMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FF0000000000000LL));
    const __m256d split = _mm256_set1_pd(0x1p29 + 1.0);
    const __m256d step = _mm256_set1_pd(0x1p24);
    __m256d acc[kVectors];
    __m256d bad = _mm256_setzero_pd();
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v)
        acc[v] = _mm256_setzero_pd();
    const double scale = top * checkScale_;
    for (int j = 0; j < kEqTaps; ++j) {
        const __m256d hj = _mm256_set1_pd(h_[j]);
        const __m256d marginTerm = _mm256_set1_pd(std::max(scale * marginPrefix_[j], 0x1p-100));
#pragma GCC unroll 8
        for (int v = 0; v < kVectors; ++v) {
            const __m256d s = _mm256_fmadd_pd(_mm256_loadu_pd(x0 + 4 * v - j), hj, acc[v]);
            __m256d c = _mm256_mul_pd(s, split);
            // The split needs c rounded: keep the compiler from fusing it into c - s.
            __asm__("" : "+x"(c));
            const __m256d hi = _mm256_sub_pd(c, _mm256_sub_pd(c, s));
            const __m256d d = _mm256_and_pd(_mm256_sub_pd(s, hi), absMask);
            const __m256d lhs = _mm256_fmadd_pd(d, step, marginTerm);
            bad = _mm256_or_pd(bad, _mm256_cmp_pd(lhs, _mm256_and_pd(s, expMask), _CMP_GE_OQ));
            acc[v] = hi;
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v)
        _mm256_storeu_pd(sums + 4 * v, acc[v]);
    return _mm256_movemask_pd(bad) == 0;
}

// The second look at a batch the first one could not prove: the same sums, four vectors at a
// time so that each sample keeps its own verdict, with each tap's margin taken from that
// tap's own |acc| + |X| |H| instead of the batch's bound (the error bound above holds tap by
// tap). Returns one bit per sample whose sum could still not be proven; the others are in
// sums. The floor of 2^-100 again fails any tap whose sum is too small for the float grid
// argument.
__attribute__((target("avx2,fma"))) uint32_t TEqualizerKernel::RecheckAvx2(const double* x0,
                                                                           double* sums) const {
    constexpr int kGroup = 4; // vectors per pass
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    const __m256d expMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FF0000000000000LL));
    const __m256d split = _mm256_set1_pd(0x1p29 + 1.0);
    const __m256d step = _mm256_set1_pd(0x1p24);
    const __m256d floor = _mm256_set1_pd(0x1p-100);
    const __m256d scale = _mm256_set1_pd(0x1p25 * 1.01 * checkScale_);
    uint32_t badSamples = 0;
    for (int first = 0; first < kAvxBatch / 4; first += kGroup) {
        __m256d acc[kGroup], bad[kGroup];
        for (int v = 0; v < kGroup; ++v)
            acc[v] = bad[v] = _mm256_setzero_pd();
        for (int j = 0; j < kEqTaps; ++j) {
            const __m256d hj = _mm256_set1_pd(h_[j]);
            const __m256d absHj = _mm256_set1_pd(std::fabs(h_[j]));
#pragma GCC unroll 4
            for (int v = 0; v < kGroup; ++v) {
                const __m256d x = _mm256_loadu_pd(x0 + 4 * (first + v) - j);
                const __m256d q = _mm256_fmadd_pd(_mm256_and_pd(x, absMask), absHj,
                                                  _mm256_and_pd(acc[v], absMask));
                const __m256d s = _mm256_fmadd_pd(x, hj, acc[v]);
                __m256d c = _mm256_mul_pd(s, split);
                __asm__("" : "+x"(c));
                const __m256d hi = _mm256_sub_pd(c, _mm256_sub_pd(c, s));
                const __m256d d = _mm256_and_pd(_mm256_sub_pd(s, hi), absMask);
                const __m256d lhs = _mm256_fmadd_pd(q, scale, _mm256_fmadd_pd(d, step, floor));
                bad[v] =
                    _mm256_or_pd(bad[v], _mm256_cmp_pd(lhs, _mm256_and_pd(s, expMask), _CMP_GE_OQ));
                acc[v] = hi;
            }
        }
        for (int v = 0; v < kGroup; ++v) {
            _mm256_storeu_pd(sums + 4 * (first + v), acc[v]);
            badSamples |= static_cast<uint32_t>(_mm256_movemask_pd(bad[v])) << (4 * (first + v));
        }
    }
    return badSamples;
}

// y = X[0] * dry + sum for 32 samples, rounded and stored. X[0] (at most 17 bits) times the
// float dry is exact in a double, so the fused y is the double nearest the exact z, while the
// defined result rounds z to extended first. The two agree on the nearest integer unless the
// double is exactly a half-integer: half-integers are representable in both (|y| < 2^52 here),
// rounding is monotone, and if extended rounding lands on one, the coarser double rounding
// lands on it too. Those rare samples are redone in extended precision.
template <bool Wide>
__attribute__((target("avx2,fma"))) void
TEqualizerKernel::StoreAvx2(const double* x0, const double* sums, uint8_t* out) const {
    using Io = TSampleIo<Wide>;
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    const __m256d dry = _mm256_set1_pd(dryGain_);
    const __m256d halfOne = _mm256_set1_pd(0.5);
    const __m256d lo = _mm256_set1_pd(Wide ? -32767.0 : -128.0);
    const __m256d hi = _mm256_set1_pd(Wide ? 32767.0 : 127.0);
    for (int v = 0; v < kAvxBatch / 4; ++v) {
        const __m256d y =
            _mm256_fmadd_pd(_mm256_loadu_pd(x0 + 4 * v), dry, _mm256_loadu_pd(sums + 4 * v));
        const __m256d r = _mm256_round_pd(y, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        const __m256d tie =
            _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(y, r), absMask), halfOne, _CMP_EQ_OQ);
        const __m128i n = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(r, lo), hi));
        uint8_t* at = out + 4 * v * Io::kBytes;
        if constexpr (Wide) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packs_epi32(n, n));
        } else {
            const __m128i w = _mm_packs_epi32(_mm_add_epi32(n, _mm_set1_epi32(128)), n);
            const int32_t four = _mm_cvtsi128_si32(_mm_packus_epi16(w, w));
            std::memcpy(at, &four, 4);
        }
        for (int mask = _mm256_movemask_pd(tie); mask != 0; mask &= mask - 1) {
            const int s = 4 * v + __builtin_ctz(static_cast<unsigned>(mask));
            const long double yl = static_cast<long double>(x0[s]) * dryGain_ +
                                   static_cast<long double>(static_cast<float>(sums[s]));
            Io::Store(out + s * Io::kBytes, RoundL(yl));
        }
    }
}

template <bool Wide>
__attribute__((target("avx2,fma"))) void TEqualizerKernel::RunAvx2(uint8_t* samples,
                                                                   int32_t count) {
    using Io = TSampleIo<Wide>;
    const long double dry = dryGain_;
    double* const window = window_.data();
    while (count > 0) {
        const int32_t n = std::min<int32_t>(count, kWindow);
        double* const w = window + kHistory;
        int32_t i = 0;
        for (; i + 8 <= n; i += 8) {
            __m256i e;
            if constexpr (Wide) {
                e = _mm256_cvtepi16_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 2 * i)));
            } else {
                e = _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_loadl_epi64(
                                         reinterpret_cast<const __m128i*>(samples + i))),
                                     _mm256_set1_epi32(128));
            }
            _mm256_storeu_pd(w + i, _mm256_cvtepi32_pd(_mm256_castsi256_si128(e)));
            _mm256_storeu_pd(w + i + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(e, 1)));
        }
        for (; i < n; ++i)
            w[i] = Io::Load(samples + i * Io::kBytes);
        i = 0;
        for (; i + kAvxBatch <= n; i += kAvxBatch) {
            const double* x0 = w + i;
            double sums[kAvxBatch];
            if (!FastSumsAvx2(x0, sums))
                for (uint32_t bad = RecheckAvx2(x0, sums); bad != 0; bad &= bad - 1) {
                    const int s = __builtin_ctz(bad);
                    sums[s] = ExactSum(x0 + s);
                }
            StoreAvx2<Wide>(x0, sums, samples + i * Io::kBytes);
        }
        for (; i < n; ++i) {
            const double* x0 = w + i;
            const long double y = static_cast<long double>(x0[0]) * dry + ExactSum(x0);
            Io::Store(samples + i * Io::kBytes, RoundL(y));
        }
        std::copy(window + n, window + n + kHistory, window);
        samples += n * Io::kBytes;
        count -= n;
    }
}
#endif

void TEqualizerKernel::ContinueAfter(const uint8_t* input) {
    for (int i = 0; i < kHistory; ++i)
        window_[i] = wide_ ? LoadSample16(input + 2 * i) : LoadSample8(input + i);
}

void TEqualizerKernel::Process(uint8_t* samples, int32_t bytes) {
    if (bytes <= 0) return;
#if defined(WAVESTACK_EQ_AVX2)
    if (avx2_) {
        if (wide_)
            RunAvx2<true>(samples, bytes / 2);
        else
            RunAvx2<false>(samples, bytes);
        return;
    }
#endif
    if (wide_)
        Run<true>(samples, bytes / 2);
    else
        Run<false>(samples, bytes);
}
