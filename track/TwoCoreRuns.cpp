#include "track/TwoCoreRuns.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#include "effects/KernelMath.h"

void RunSideBySide(const std::function<void()>& here, const std::function<void()>& there) {
    std::thread helper;
    try {
        helper = std::thread(there);
    } catch (const std::system_error&) {
        here();
        there();
        return;
    }
    here();
    helper.join();
}

TTwoCoreSplit::TTwoCoreSplit(const WAVEFORMATEX& format)
    : sampleBytes_(SampleBytes(format)), twoCores_(std::thread::hardware_concurrency() > 1) {}

int32_t TTwoCoreSplit::Middle(int32_t count, int32_t atLeast) const {
    if (!twoCores_ || count < std::max(minimumSplit_, atLeast)) return 0;
    return count / 2;
}

// ---- equalizer ----

namespace {

constexpr int32_t kHistory = TEqualizerKernel::kHistorySamples;

} // namespace

TEqualizerRun::TEqualizerRun(int32_t dry, const std::array<float, kEqBands>& bandGains,
                             const WAVEFORMATEX& format)
    : TTwoCoreSplit(format), first_(dry, bandGains, format), second_(dry, bandGains, format) {}

void TEqualizerRun::Process(uint8_t* samples, int32_t bytes) {
    const int32_t count = bytes / sampleBytes_;
    const int32_t middle = Middle(count, 2 * kHistory);
    if (middle == 0) {
        first_.Process(samples, bytes);
        return;
    }
    // Both halves are filtered in place, so the input each history needs is copied first:
    // the samples before the second half, and the chunk's last ones for the next chunk.
    uint8_t beforeSecond[kHistory * 2];
    uint8_t beforeNext[kHistory * 2];
    const auto historyBytes = static_cast<size_t>(kHistory * sampleBytes_);
    std::memcpy(beforeSecond, samples + (middle - kHistory) * sampleBytes_, historyBytes);
    std::memcpy(beforeNext, samples + (count - kHistory) * sampleBytes_, historyBytes);
    second_.ContinueAfter(beforeSecond);
    const int32_t firstBytes = middle * sampleBytes_;
    RunSideBySide([&] { first_.Process(samples, firstBytes); },
                  [&] { second_.Process(samples + firstBytes, bytes - firstBytes); });
    first_.ContinueAfter(beforeNext);
}

// ---- fade ----

TFadeRun::TFadeRun(int32_t left, int32_t right, int64_t selectionBytes, const WAVEFORMATEX& format)
    : TTwoCoreSplit(format), first_(left, right, selectionBytes, format) {}

void TFadeRun::Process(uint8_t* samples, int32_t bytes) {
    const int32_t count = bytes / sampleBytes_;
    const int32_t middle = Middle(count, 2);
    if (middle == 0) {
        first_.Process(samples, bytes);
        return;
    }
    TFadeKernel second = first_;
    second.Skip(middle);
    const int32_t firstBytes = middle * sampleBytes_;
    RunSideBySide([&] { first_.Process(samples, firstBytes); },
                  [&] { second.Process(samples + firstBytes, bytes - firstBytes); });
    first_ = second;
}
