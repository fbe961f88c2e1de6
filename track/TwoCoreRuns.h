// Effect kernels over the effect run's chunks on two cores when there are two: the chunk's
// second half is filtered by a second kernel, set to start where the first half ends, while
// the first kernel does the first half. The bytes are those of one kernel running through
// the whole selection; only kernels whose state at a sample can be rebuilt are split.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "audio/WaveFormat.h"
#include "effects/EqualizerKernel.h"
#include "effects/FadeKernel.h"

// Runs `here` on this thread and `there` on a second one at the same time, and returns when
// both are done. Without a thread to be had (the process at its limit), runs them in turn.
void RunSideBySide(const std::function<void()>& here, const std::function<void()>& there);

// What the two kernels of a split share: whether to split and where.
class TTwoCoreSplit {
  public:
    explicit TTwoCoreSplit(const WAVEFORMATEX& format);

    // Splits whatever the processor count, so that tests cover the split on any machine.
    void SplitForTests(int32_t minimumSamples) {
        twoCores_ = true;
        minimumSplit_ = minimumSamples;
    }

  protected:
    // The first sample of the second half, or 0 when the chunk stays whole.
    int32_t Middle(int32_t count, int32_t atLeast) const;

    int32_t sampleBytes_;

  private:
    bool twoCores_;
    // Below this many samples a chunk is not worth a second thread (starting one costs about
    // as much as filtering a few thousand samples).
    int32_t minimumSplit_ = 16384;
};

// The filter reads only its input, so the second kernel starts from a copy of the input
// just before its half.
class TEqualizerRun : public TTwoCoreSplit {
  public:
    TEqualizerRun(int32_t dry, const std::array<float, kEqBands>& bandGains,
                  const WAVEFORMATEX& format);
    // In place, with TEqualizerKernel::Process's contract.
    void Process(uint8_t* samples, int32_t bytes);

  private:
    TEqualizerKernel first_;
    TEqualizerKernel second_;
};

// The gain depends only on the sample's number, so the second kernel is the first one moved
// on by the first half.
class TFadeRun : public TTwoCoreSplit {
  public:
    TFadeRun(int32_t left, int32_t right, int64_t selectionBytes, const WAVEFORMATEX& format);
    // In place, with TFadeKernel::Process's contract.
    void Process(uint8_t* samples, int32_t bytes);

  private:
    TFadeKernel first_;
};
