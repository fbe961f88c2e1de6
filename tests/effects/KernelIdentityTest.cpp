// The product kernels against the plain per-sample versions, on random data, fed in one
// piece and in pieces of awkward sizes: every output byte must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "effects/DelayKernel.h"
#include "effects/DistortionKernel.h"
#include "effects/EqualizerKernel.h"
#include "effects/FadeKernel.h"
#include "effects/KernelMath.h"
#include "tests/effects/ReferenceKernels.h"

namespace {

struct Shape {
    uint16_t bits;
    uint16_t channels;
};
const Shape kShapes[] = {{16, 1}, {16, 2}, {8, 1}, {8, 2}};

// Loud random data, a good share of it at or beyond the extremes so saturation happens.
std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    // Sprinkle the 16-bit extremes -32768 (00 80) and 32767 (FF 7F) at even offsets.
    for (size_t i = 0; i + 1 < n; i += 97) {
        v[i] = (i % 2 == 0) ? 0x00 : 0xFF;
        v[i + 1] = (i % 2 == 0) ? 0x80 : 0x7F;
    }
    return v;
}

// Chunk sizes that a 16-bit track would still cut on whole samples: odd sample counts,
// the run's full chunk and the odd remainders.
std::vector<int32_t> Pieces(int32_t total, int32_t sampleBytes, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<int32_t> sizes;
    while (total > 0) {
        int32_t n = static_cast<int32_t>(rng() % 1500 + 1) * sampleBytes;
        n = std::min(n, total);
        sizes.push_back(n);
        total -= n;
    }
    return sizes;
}

template <class Kernel>
std::vector<uint8_t> InPieces(Kernel& k, std::vector<uint8_t> data,
                              const std::vector<int32_t>& sizes) {
    int32_t at = 0;
    for (int32_t n : sizes) {
        k.Process(data.data() + at, n);
        at += n;
    }
    return data;
}

// -1 when equal, else the first differing byte offset (or the shorter size), so a failure
// names a position instead of printing two large blocks.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

} // namespace

TEST(KernelIdentity, DistortionMatchesReferenceForManySettings) {
    const int settings[][5] = {{50, 50, 50, 100, 100},  {100, 0, 30, -150, 150},
                               {20, 20, 20, 50, 50},    {0, 0, 0, 100, 100},
                               {73, 11, 99, -37, -121}, {100, 100, 100, 150, -150}};
    for (const Shape& s : kShapes) {
        const WAVEFORMATEX f = MakePcmFormat(44100, s.bits, s.channels);
        for (const auto& p : settings) {
            const auto in = RandomBytes(20001, 7);
            auto expected = in;
            ref::Distortion(expected, s.bits == 16, p[0], p[1], p[2], p[3], p[4]);
            TDistortionKernel k(p[0], p[1], p[2], p[3], p[4], f);
            EXPECT_EQ(
                FirstDifference(InPieces(k, in, Pieces(20001, s.bits == 16 ? 2 : 1, 3)), expected),
                -1)
                << s.bits << "-bit " << p[0] << "/" << p[1] << "/" << p[2];
        }
    }
}

TEST(KernelIdentity, FadeMatchesReferenceAcrossPieces) {
    const int settings[][2] = {{100, 0}, {0, 200}, {37, 163}, {100, 100}, {200, 3}, {50, 50}};
    for (const Shape& s : kShapes) {
        const WAVEFORMATEX f = MakePcmFormat(22050, s.bits, s.channels);
        const int32_t sb = s.bits == 16 ? 2 : 1;
        for (const auto& p : settings) {
            const int32_t bytes = 30002 - (sb == 2 ? 0 : 1);
            const auto in = RandomBytes(bytes, 11);
            auto expected = in;
            ref::Fade(expected, s.bits == 16, p[0], p[1]);
            TFadeKernel k(p[0], p[1], bytes, f);
            EXPECT_EQ(FirstDifference(InPieces(k, in, Pieces(bytes, sb, 5)), expected), -1)
                << s.bits << "-bit " << p[0] << "->" << p[1];
        }
    }
}

namespace {

// Signals for the equalizer beyond plain noise. Smooth: two loud sines and a little noise,
// whose running sums often pass close to zero and so near the float grid's fine steps.
// Bursts: silence with short loud bursts, so whole batches of zeros, batches that start or
// end in silence, and the saturating extremes.
std::vector<uint8_t> EqSignal(int kind, int32_t bytes, bool wide, uint32_t seed) {
    if (kind == 0) return RandomBytes(static_cast<size_t>(bytes), seed);
    std::mt19937 rng(seed);
    const int32_t sb = wide ? 2 : 1;
    const int32_t full = wide ? 32767 : 127;
    std::vector<uint8_t> v(static_cast<size_t>(bytes), wide ? 0 : 128);
    for (int32_t i = 0; i + sb <= bytes; i += sb) {
        const int32_t n = i / sb;
        int64_t x = 0;
        if (kind == 1) {
            x = std::lround(0.6 * full * std::sin(0.0627 * n) + 0.39 * full * std::sin(0.3 * n) +
                            static_cast<double>(rng() % 7) - 3.0);
        } else if (n % 397 < 23) {
            x = n % 397 == 5 ? -full - 1 : static_cast<int64_t>(rng() % (2 * full + 1)) - full;
        }
        if (wide)
            StoreSample16(&v[i], x);
        else
            StoreSample8(&v[i], x);
    }
    return v;
}

} // namespace

TEST(KernelIdentity, EqualizerMatchesReferenceOnBothPathsAcrossPieces) {
    std::mt19937 rng(19);
    for (const Shape& s : kShapes) {
        const WAVEFORMATEX f = MakePcmFormat(44100, s.bits, s.channels);
        const bool wide = s.bits == 16;
        const int32_t sb = wide ? 2 : 1;
        const int32_t bytes = 9000 + sb * 3; // several windows plus an odd tail
        for (int round = 0; round < 7; ++round) {
            std::array<float, kEqBands> gains{};
            int32_t dry = 0;
            if (round < 4) {
                for (auto& g : gains)
                    g = PercentGain(static_cast<int32_t>(rng() % 201));
                dry = static_cast<int32_t>(rng() % 201);
            } else if (round == 4) {
                dry = 50; // no filter: y = x / 2, every odd sample an exact tie, to even
            } else if (round == 5) {
                dry = 150;
                gains[3] = PercentGain(1); // a tiny filter beside the ties
            } else {
                dry = 200; // everything loud: saturation on most samples
                gains.fill(PercentGain(200));
            }
            for (int kind = 0; kind < 3; ++kind) {
                const auto in = EqSignal(kind, bytes, wide, 23 + round);
                auto expected = in;
                ref::Equalizer(expected, wide, dry, gains);
                // Each path as the processor picks it and the baseline one forced; each with
                // its own margin and with ones wide enough that some or all batches take the
                // second look and the exact way: the ways must splice without a trace.
                for (bool baseline : {false, true}) {
                    for (double margin : {0.0, 0x1p-40, 0x1p-34, 0x1p-10}) {
                        TEqualizerKernel k(dry, gains, f);
                        if (baseline) k.UseBaselinePathForTests();
                        if (margin > 0) k.SetCheckMarginForTests(margin);
                        const auto pieces = Pieces(bytes, sb, 29 + round + (margin > 0 ? 2 : 0));
                        EXPECT_EQ(FirstDifference(InPieces(k, in, pieces), expected), -1)
                            << s.bits << "-bit " << s.channels << " ch, round " << round
                            << ", signal " << kind << (baseline ? ", baseline" : ", picked")
                            << ", margin " << margin;
                    }
                }
            }
        }
    }
}

TEST(KernelIdentity, DelayMatchesReferenceAcrossPiecesAndPrerolls) {
    const ref::DelaySettings settings[] = {
        {250, 50, 50, 50, 0, 10, 125},  {10, 100, 100, 100, 0, 10, 125},
        {37, -150, 150, -150, 0, 1, 0}, {100, 90, 80, 120, 1, 37, 100},
        {25, 50, 100, 100, 1, 200, 25}, {13, -40, 60, 70, 1, 5, 0},
        {1, 150, 150, 150, 1, 200, 1},  {2500, 150, -20, 150, 1, 3, 2500},
    };
    for (const Shape& s : kShapes) {
        const WAVEFORMATEX f = MakePcmFormat(8000, s.bits, s.channels);
        const int32_t sb = s.bits == 16 ? 2 : 1;
        for (const auto& p : settings) {
            const auto track = RandomBytes(20000, 31);
            for (int32_t selStart : {0, 7, 3001, 8000}) {
                const int32_t selEnd = 18000 + (sb == 2 ? 0 : 1);
                const auto expected = ref::Delay(track, selStart, selEnd, f, p);
                TDelayKernel k(p.total, p.feedback, p.dry, p.wet, p.type, p.freq, p.modulated, f);
                ASSERT_TRUE(k.Ready());
                const int32_t pre = k.PrerollBytes(selStart);
                k.Prime(track.data() + selStart - pre, pre);
                std::vector<uint8_t> out(selEnd - selStart, 0xEE);
                int32_t at = 0;
                for (int32_t n : Pieces(selEnd - selStart, sb, 37)) {
                    k.Process(track.data() + selStart + at, out.data() + at, n);
                    at += n;
                }
                EXPECT_EQ(FirstDifference(out, expected), -1)
                    << s.bits << "-bit " << s.channels << "ch total " << p.total << " type "
                    << p.type << " S " << selStart;
            }
        }
    }
}

namespace {

// The effect run's chunking: full chunks of 524288 bytes, then the remainder, which is an
// empty chunk when the length is an exact multiple.
std::vector<int32_t> RunChunks(int32_t total) {
    std::vector<int32_t> sizes(total / 524288 + 1, 524288);
    sizes.back() = total % 524288;
    return sizes;
}

} // namespace

TEST(KernelIdentity, LongSelectionsInRunChunksEqualOnePiece) {
    const WAVEFORMATEX f = MakePcmFormat(44100, 16, 2);
    for (int32_t total : {1048576, 1048576 + 524288 + 1234}) {
        const auto in = RandomBytes(static_cast<size_t>(total), 41);
        const std::vector<int32_t> one = {total};
        const std::vector<int32_t> chunks = RunChunks(total);
        ASSERT_EQ(chunks.size(), total == 1048576 ? 3u : 4u);

        TDistortionKernel d(60, 10, 40, -80, 120, f);
        EXPECT_EQ(FirstDifference(InPieces(d, in, chunks), InPieces(d, in, one)), -1);

        TFadeKernel fa(30, 170, total, f), fb(30, 170, total, f);
        EXPECT_EQ(FirstDifference(InPieces(fa, in, chunks), InPieces(fb, in, one)), -1);

        std::array<float, kEqBands> g{};
        for (int k = 0; k < kEqBands; ++k)
            g[k] = PercentGain(20 * k);
        TEqualizerKernel ea(70, g, f), eb(70, g, f);
        eb.UseBaselinePathForTests(); // and the two paths against each other
        EXPECT_EQ(FirstDifference(InPieces(ea, in, chunks), InPieces(eb, in, one)), -1);

        for (int32_t type : {0, 1}) {
            TDelayKernel da(250, 60, 80, 90, type, 37, 200, f);
            TDelayKernel db(250, 60, 80, 90, type, 37, 200, f);
            std::vector<uint8_t> outA(total), outB(total);
            int32_t at = 0;
            for (int32_t n : chunks) {
                da.Process(in.data() + at, outA.data() + at, n);
                at += n;
            }
            db.Process(in.data(), outB.data(), total);
            EXPECT_EQ(FirstDifference(outA, outB), -1) << "type " << type;
        }
    }
}
