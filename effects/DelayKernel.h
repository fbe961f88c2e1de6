// Delay: each output sample is the dry input plus a delayed input (wet) plus a delayed
// output (feedback), the delay fixed or swept by a sine. No I/O, no threads; one object per
// run, primed from the audio just before the selection, then fed the selection's chunks.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/WaveFormat.h"

class TDelayKernel {
  public:
    // totalDelay and modulatedDelay in 1/10000 s, feedback, dry and wet in percent,
    // modFrequency in 1/10 Hz; type 1 is the sinusoidal sweep, any other value the fixed
    // delay. Ranges are not checked, but every value keeps the reads inside the lines.
    TDelayKernel(int32_t totalDelay, int32_t feedback, int32_t dry, int32_t wet, int32_t type,
                 int32_t modFrequency, int32_t modulatedDelay, const WAVEFORMATEX& format);

    // False when the delay lines could not be allocated; nothing else may be called then.
    bool Ready() const { return ready_; }

    // How many bytes before the selection start to prime the lines with: all of them up to
    // the lines' full length of L samples.
    int32_t PrerollBytes(int32_t selStart) const;

    // Loads the bytes just before the selection into the ends of both lines; slots it does
    // not reach stay silent. Only the last L samples' worth of bytes is used.
    void Prime(const uint8_t* preroll, int32_t bytes);

    // Reads `bytes` from `in`, writes the results to `out` (the same block is allowed).
    // Lines, slots and the sweep counter carry over from one call to the next. Every chunk
    // but the last must hold whole samples; a trailing partial sample is copied unchanged.
    void Process(const uint8_t* in, uint8_t* out, int32_t bytes);

    // Derived values, in samples of the interleaved sequence.
    int64_t D() const { return d_; }
    int64_t L() const { return l_; }
    int64_t A() const { return a_; }
    int64_t Centre() const { return centre_; }
    float Omega() const { return omega_; }
    float DryGain() const { return dryGain_; }
    float WetGain() const { return wetGain_; }
    float FeedbackGain() const { return fbGain_; }
    bool Sinusoidal() const { return sinusoidal_; }

    // The swept delay m of sample n (n from 1) of the selection.
    int64_t SweepAt(int64_t n) const;

  private:
    template <bool Wide> void RunFixed(const uint8_t* in, uint8_t* out, int32_t count);
    template <bool Wide> void RunSwept(const uint8_t* in, uint8_t* out, int32_t count);

    bool wide_;
    bool sinusoidal_;
    bool ready_ = false;
    int64_t d_ = 0;
    int64_t l_ = 1;
    int64_t a_ = 0;
    int64_t centre_ = 1;
    float omega_ = 0.0f;
    float dryGain_;
    float wetGain_;
    float fbGain_;
    // Past outputs (line 1) and past inputs (line 2) as signed sample values.
    std::vector<int16_t> output_;
    std::vector<int16_t> input_;
    int64_t w_ = 0; // write slot; the fixed delay reads at w + 1
    int64_t n_ = 1; // sweep counter of the next sample
};
