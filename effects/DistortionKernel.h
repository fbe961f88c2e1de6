// Distortion: samples whose magnitude lies inside [lower, upper] become the clamp level with
// their sign; all others are scaled by the dry gain. No I/O, no threads; one object per run.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/WaveFormat.h"

class TDistortionKernel {
  public:
    // Thresholds and clamp in percent of full scale (0..100), dry and wet in percent
    // (-150..150). Ranges are not checked: any value gives a defined result.
    TDistortionKernel(int32_t upperThreshold, int32_t lowerThreshold, int32_t clamp, int32_t dry,
                      int32_t wet, const WAVEFORMATEX& format);

    // In place over the flat interleaved sequence; a trailing partial sample is left alone.
    // The result of a sample depends on that sample only, so chunks may be any size.
    void Process(uint8_t* samples, int32_t bytes) const;

    // Derived values, in sample units.
    int64_t Upper() const { return upper_; }
    int64_t Lower() const { return lower_; }
    int64_t ClampLevel() const { return clampLevel_; }
    float DryGain() const { return dryGain_; }
    float WetGain() const { return wetGain_; }

    // The per-sample rule on one signed sample value, before saturation.
    int64_t Transform(int32_t x) const;

  private:
    bool wide_;
    float dryGain_;
    float wetGain_;
    int64_t upper_;
    int64_t lower_;
    int64_t clampLevel_;
    // Stored byte image of every possible input: 65536 little-endian pairs indexed by the
    // raw 16-bit pattern, or 256 bytes indexed by the raw 8-bit byte.
    std::vector<uint16_t> table16_;
    std::vector<uint8_t> table8_;
};
