#include "track/EqualizerRun.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

constexpr int32_t kHistory = TEqualizerKernel::kHistorySamples;

} // namespace

TEqualizerRun::TEqualizerRun(int32_t dry, const std::array<float, kEqBands>& bandGains,
                             const WAVEFORMATEX& format)
    : first_(dry, bandGains, format), second_(dry, bandGains, format),
      sampleBytes_(Is16Bit(format) ? 2 : 1), twoCores_(std::thread::hardware_concurrency() > 1) {}

void TEqualizerRun::Process(uint8_t* samples, int32_t bytes) {
    const int32_t count = bytes / sampleBytes_;
    if (!twoCores_ || count < std::max(minimumSplit_, 2 * kHistory)) {
        first_.Process(samples, bytes);
        return;
    }
    // Both halves filter in place, so the input each history needs is copied first: the
    // samples before the second half, and the chunk's last ones for the next chunk.
    const int32_t middle = count / 2;
    uint8_t beforeSecond[kHistory * 2];
    uint8_t beforeNext[kHistory * 2];
    std::memcpy(beforeSecond, samples + (middle - kHistory) * sampleBytes_,
                static_cast<size_t>(kHistory * sampleBytes_));
    std::memcpy(beforeNext, samples + (count - kHistory) * sampleBytes_,
                static_cast<size_t>(kHistory * sampleBytes_));
    second_.ContinueAfter(beforeSecond);
    uint8_t* const secondHalf = samples + middle * sampleBytes_;
    const int32_t secondBytes = bytes - middle * sampleBytes_;
    std::thread helper;
    try {
        helper = std::thread(
            [this, secondHalf, secondBytes] { second_.Process(secondHalf, secondBytes); });
    } catch (const std::system_error&) {
        // No thread to be had (the process is at its limit): filter the chunk here.
        first_.Process(samples, bytes);
        return;
    }
    first_.Process(samples, middle * sampleBytes_);
    helper.join();
    first_.ContinueAfter(beforeNext);
}
