// Ten-band equalizer: the band filters weighted by their gains are folded into one 32-tap
// filter whose output is added to the dry signal. No I/O, no threads; one object per run.
#pragma once

#include <array>
#include <cstdint>

#include "audio/WaveFormat.h"

inline constexpr int kEqBands = 10;
inline constexpr int kEqTaps = 32;

using TEqBandTable = std::array<std::array<double, kEqTaps>, kEqBands>;

// The band-pass coefficients h_k[n]: constants of the system, the same for every rate and
// channel count. Computed once, on first use, in extended precision and kept as doubles.
const TEqBandTable& EqualizerBands();

// Band edges in units of the sequence's rate / 32768; band k spans edges k and k + 1.
inline constexpr std::array<int32_t, kEqBands + 1> kEqEdges = {1,    31,   63,   127,  255,  511,
                                                               1023, 2047, 4095, 8191, 16383};

class TEqualizerKernel {
  public:
    // dry in percent; bandGains are the stored 32-bit gains (PercentGain of each slider).
    TEqualizerKernel(int32_t dry, const std::array<float, kEqBands>& bandGains,
                     const WAVEFORMATEX& format);

    // In place; the 31-sample history carries over from one call to the next and starts
    // at zero. Every chunk but the last must hold whole samples.
    void Process(uint8_t* samples, int32_t bytes);

    // The filter reads only its input, never its output, so a stretch can be filtered apart
    // from what comes before it: this makes the next Process continue right after `input`,
    // the kHistorySamples unfiltered samples (in the track's format) just before the stretch.
    static constexpr int32_t kHistorySamples = kEqTaps - 1;
    void ContinueAfter(const uint8_t* input);

    const std::array<double, kEqTaps>& Combined() const { return h_; } // H[j]
    float DryGain() const { return dryGain_; }

    // Widens the margin inside which the fast path hands a sample to the exact one, so that
    // tests can drive both paths and their splicing. Results never depend on it.
    void SetCheckMarginForTests(double relative) { checkScale_ = relative; }
    // Whether this object runs the AVX2/FMA path (chosen once, from the processor), and a
    // way for tests to force the baseline SSE2 path that processors without it take.
    bool UsesAvx2() const { return avx2_; }
    void UseBaselinePathForTests() { avx2_ = false; }

  private:
    template <bool Wide> void Run(uint8_t* samples, int32_t count);
    float ExactSum(const double* x0) const;
    bool FastSums(const double* x0, float* sums) const;
    template <bool Wide> void RunAvx2(uint8_t* samples, int32_t count);
    bool FastSumsAvx2(const double* x0, double* sums) const;
    uint32_t RecheckAvx2(const double* x0, double* sums) const;
    template <bool Wide> void StoreAvx2(const double* x0, const double* sums, uint8_t* out) const;

    static constexpr int kHistory = kHistorySamples;
    // Samples are filtered through a linear window: the 31 previous samples, then up to
    // kWindow new ones, so tap j of sample i is window[kHistory + i - j] with no shifting
    // and no wrap. The tail of each window becomes the head of the next.
    static constexpr int kWindow = 2048;
    static constexpr int kFastBatch = 16; // samples per pass of the SSE2 fast path
    static constexpr int kAvxBatch = 32;  // samples per pass of the AVX2 path: 8 vectors of 4

    bool wide_;
    bool avx2_;
    float dryGain_;
    // Margin of the fast path relative to its bound on |acc| + |X * H|: the two ways differ
    // by less than 2^-51.9 of that, and the margin's own computation costs 2^-53 more, so
    // 2^-49 keeps a factor of four in hand while staying far below a float's step (2^-24).
    double checkScale_ = 0x1p-49;
    double sumAbsH_ = 0.0; // sum of |H[j]|, for the fast path's margin
    // 2^25 * 1.01 * (sum of |H[i]| for i <= j): the AVX2 path's margin term per tap, before
    // the batch's peak and the check scale.
    std::array<double, kEqTaps> marginPrefix_{};
    std::array<double, kEqTaps> h_{};
    std::array<double, kHistory + kWindow> window_{};
};
