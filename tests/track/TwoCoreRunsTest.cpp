// The kernels split over two threads against the plain per-sample versions: halves done
// apart must join without a trace, at the split and from one chunk into the next.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "effects/KernelMath.h"
#include "tests/effects/ReferenceKernels.h"
#include "track/TwoCoreRuns.h"

namespace {

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

template <class Run>
std::vector<uint8_t> InChunks(Run& run, std::vector<uint8_t> data,
                              const std::vector<int32_t>& chunks) {
    int32_t at = 0;
    for (int32_t n : chunks) {
        run.Process(data.data() + at, n);
        at += n;
    }
    EXPECT_EQ(at, static_cast<int32_t>(data.size()));
    return data;
}

long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

} // namespace

TEST(TwoCoreRuns, EqualizerSplitChunksGiveTheBytesOfOneFilter) {
    std::array<float, kEqBands> gains{};
    for (int k = 0; k < kEqBands; ++k)
        gains[k] = PercentGain(20 * k + 7);
    for (const uint16_t bits : {16, 8}) {
        const int32_t sb = bits / 8;
        const WAVEFORMATEX f = MakePcmFormat(44100, bits, 2);
        // A chunk that splits in two uneven halves, one just too short to split, the
        // shortest that splits, a long one, and a last one with a stray byte on 16 bits.
        const std::vector<int32_t> chunks = {1001 * sb, 61 * sb, 62 * sb, 5000 * sb,
                                             300 * sb + (sb - 1)};
        int32_t total = 0;
        for (int32_t n : chunks)
            total += n;
        const auto in = Noise(static_cast<size_t>(total), 5 + bits);
        auto expected = in;
        ref::Equalizer(expected, bits == 16, 90, gains);
        TEqualizerRun run(90, gains, f);
        run.SplitForTests(0);
        EXPECT_EQ(FirstDifference(InChunks(run, in, chunks), expected), -1) << bits << "-bit";
    }
}

TEST(TwoCoreRuns, EqualizerFullSizeChunksOnThisMachineMatchTheFilter) {
    // The effect run's own chunk size, split or not as the processor count decides.
    std::array<float, kEqBands> gains{};
    gains.fill(PercentGain(150));
    const WAVEFORMATEX f = MakePcmFormat(44100, 16, 2);
    const auto in = Noise(2 * 524288 + 4410, 77);
    auto expected = in;
    ref::Equalizer(expected, true, 100, gains);
    TEqualizerRun run(100, gains, f);
    EXPECT_EQ(FirstDifference(InChunks(run, in, {524288, 524288, 4410}), expected), -1);
}

TEST(TwoCoreRuns, FadeSplitChunksGiveTheBytesOfOneRamp) {
    for (const uint16_t bits : {16, 8}) {
        const int32_t sb = bits / 8;
        const WAVEFORMATEX f = MakePcmFormat(22050, bits, 1);
        // One sample (too short to split), two (the shortest split), odd halves, a long
        // chunk, and a stray byte at the end on 16 bits.
        const std::vector<int32_t> chunks = {1 * sb, 2 * sb, 999 * sb, 7000 * sb, 5 * sb + sb - 1};
        int32_t total = 0;
        for (int32_t n : chunks)
            total += n;
        const auto in = Noise(static_cast<size_t>(total), 31 + bits);
        auto expected = in;
        ref::Fade(expected, bits == 16, 170, 20);
        TFadeRun run(170, 20, total, f);
        run.SplitForTests(0);
        EXPECT_EQ(FirstDifference(InChunks(run, in, chunks), expected), -1) << bits << "-bit";
    }
}
