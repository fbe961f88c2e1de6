// Fade: multiplies the selection by a gain moving in a straight line from left to right
// percent. No I/O, no threads; one object per run, fed the selection's chunks in order.
#pragma once

#include <cstdint>

#include "audio/WaveFormat.h"

class TFadeKernel {
  public:
    // left and right in percent (0..200, not checked); selectionBytes is the whole
    // selection's length, which the ramp is spread over. An empty selection (no samples)
    // makes a kernel that changes nothing.
    TFadeKernel(int32_t left, int32_t right, int64_t selectionBytes, const WAVEFORMATEX& format);

    // In place; the sample counter carries over from one call to the next. Every chunk but
    // the last must hold whole samples.
    void Process(uint8_t* samples, int32_t bytes);
    // Moves on as if `samples` had been processed: each gain depends only on the sample's
    // number, so a stretch can be faded by a copy moved on to its start.
    void Skip(int64_t samples) { k_ += samples; }

    int64_t SampleCount() const { return count_; } // N, samples of all channels
    float Step() const { return step_; }
    float Base() const { return base_; }
    int64_t NextK() const { return k_; } // k of the next sample, from 1

  private:
    template <bool Wide> void Run(uint8_t* samples, int32_t count);

    bool wide_;
    int64_t count_;
    float step_ = 0.0f;
    float base_ = 0.0f;
    int64_t k_ = 1;
};
