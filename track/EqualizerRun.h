// The equalizer over the effect run's chunks, on two cores when there are two. The filter
// reads only its input, so the second half of a chunk can be filtered while the first is,
// starting from a copy of the input just before it. The bytes are the same as one kernel
// running through the whole selection.
#pragma once

#include <array>
#include <cstdint>

#include "audio/WaveFormat.h"
#include "effects/EqualizerKernel.h"

class TEqualizerRun {
  public:
    TEqualizerRun(int32_t dry, const std::array<float, kEqBands>& bandGains,
                  const WAVEFORMATEX& format);

    // In place, with TEqualizerKernel::Process's contract: every chunk but the last holds
    // whole samples, and history carries over from one chunk to the next.
    void Process(uint8_t* samples, int32_t bytes);

    // Splits whatever the processor count, so that tests cover the split on any machine.
    void SplitForTests(int32_t minimumSamples) {
        twoCores_ = true;
        minimumSplit_ = minimumSamples;
    }

  private:
    TEqualizerKernel first_;
    TEqualizerKernel second_;
    int32_t sampleBytes_;
    bool twoCores_;
    // Below this many samples a chunk is not worth a second thread (its start costs about as
    // much as filtering a few thousand samples).
    int32_t minimumSplit_ = 16384;
};
