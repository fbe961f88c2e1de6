// Equalizer: the band table, the folded filter and its behaviour on impulses. Expected
// values come from a separate double-precision evaluation of the band formula.
#include <gtest/gtest.h>

#include <vector>

#include "audio/VelTrackUtils.h"
#include "effects/EqualizerKernel.h"
#include "effects/KernelMath.h"

namespace {

std::array<float, kEqBands> Gains(int percent) {
    std::array<float, kEqBands> g{};
    g.fill(PercentGain(percent));
    return g;
}

// A 16-bit mono selection holding one impulse of `height` at sample `at`, `count` long.
std::vector<uint8_t> Impulse(int count, int at, int height) {
    std::vector<uint8_t> bytes(2 * count, 0);
    StoreSample16(&bytes[2 * at], height);
    return bytes;
}

std::vector<int> Samples16(const std::vector<uint8_t>& bytes, int from, int count) {
    std::vector<int> v;
    for (int i = from; i < from + count; ++i)
        v.push_back(LoadSample16(&bytes[2 * i]));
    return v;
}

} // namespace

TEST(Equalizer, BandTableMatchesKnownValuesAndIsSymmetric) {
    const TEqBandTable& h = EqualizerBands();
    EXPECT_NEAR(h[0][0], 0.001828379, 5e-10);
    EXPECT_NEAR(h[0][15], 0.001831052, 5e-10);
    EXPECT_NEAR(h[1][15], 0.001953104, 5e-10);
    EXPECT_NEAR(h[5][4], -0.003560554, 5e-10);
    EXPECT_NEAR(h[5][27], -0.003560554, 5e-10);
    EXPECT_NEAR(h[5][15], 0.031162418, 5e-10);
    EXPECT_NEAR(h[9][0], -0.005971706, 5e-10);
    EXPECT_NEAR(h[9][14], -0.362302454, 5e-10);
    EXPECT_NEAR(h[9][15], 0.186504772, 5e-10);
    for (int k = 0; k < kEqBands; ++k)
        for (int n = 0; n < kEqTaps; ++n)
            EXPECT_NEAR(h[k][n], h[k][31 - n], 1e-15);

    // Folding: gains 1.0 on bands 5 and 9 only add their two columns.
    std::array<float, kEqBands> g{};
    g[5] = 1.0f;
    g[9] = 1.0f;
    TEqualizerKernel k(0, g, MakePcmFormat(44100, 16, 1));
    EXPECT_NEAR(k.Combined()[15], 0.031162418 + 0.186504772, 1e-9);
    EXPECT_NEAR(k.Combined()[0], -0.005971706 + h[5][0], 1e-9);
}

TEST(Equalizer, SingleBandImpulseIsTheBandLaggingByHalfTheTaps) {
    // Dry 0, band 5 at 100 %: an impulse of 10000 at the selection start comes out as
    // 10000 * h_5[n] for n = 0..31, symmetric about 15.5, then silence.
    std::array<float, kEqBands> g{};
    g[5] = 1.0f;
    TEqualizerKernel k(0, g, MakePcmFormat(44100, 16, 1));
    auto bytes = Impulse(40, 0, 10000);
    k.Process(bytes.data(), 26); // the history must carry over the cut
    k.Process(bytes.data() + 26, static_cast<int32_t>(bytes.size()) - 26);
    const std::vector<int> band5 = {-184, -153, -117, -78, -36, 8,   52,  96,   138,  177, 213,
                                    245,  271,  291,  305, 312, 312, 305, 291,  271,  245, 213,
                                    177,  138,  96,   52,  8,   -36, -78, -117, -153, -184};
    EXPECT_EQ(Samples16(bytes, 0, 32), band5);
    EXPECT_EQ(Samples16(bytes, 32, 8), std::vector<int>(8, 0));

    std::array<float, kEqBands> top{};
    top[9] = 1.0f;
    TEqualizerKernel k9(0, top, MakePcmFormat(44100, 16, 2));
    auto b9 = Impulse(32, 0, 10000);
    k9.Process(b9.data(), static_cast<int32_t>(b9.size()));
    const std::vector<int> band9 = {-60,  374,   -403, 75,   -81,  517,  -572,  110,
                                    -124, 836,   -988, 208,  -266, 2173, -3623, 1865,
                                    1865, -3623, 2173, -266, 208,  -988, 836,   -124,
                                    110,  -572,  517,  -81,  75,   -403, 374,   -60};
    EXPECT_EQ(Samples16(b9, 0, 32), band9);
}

TEST(Equalizer, FlatSettingsPassOrSilenceAndEmptyInput) {
    // No band gain, dry 100: unchanged (no -32768 here: the store would make it -32767).
    std::vector<uint8_t> bytes;
    for (int v : {0, 1, -1, 32767, -32767, 1234, -4321, 77}) {
        bytes.push_back(0);
        bytes.push_back(0);
        StoreSample16(&bytes[bytes.size() - 2], v);
    }
    const auto original = bytes;
    TEqualizerKernel pass(100, Gains(0), MakePcmFormat(44100, 16, 1));
    pass.Process(bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(bytes, original);

    TEqualizerKernel mute(0, Gains(0), MakePcmFormat(44100, 16, 1));
    mute.Process(bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(bytes, std::vector<uint8_t>(original.size(), 0));

    std::vector<uint8_t> eight = {0, 255, 128, 17, 200};
    TEqualizerKernel mute8(0, Gains(0), MakePcmFormat(8000, 8, 2));
    mute8.Process(eight.data(), 5);
    EXPECT_EQ(eight, std::vector<uint8_t>(5, 128));

    // Everything at 100 % on a loud square wave: the sum goes beyond full scale and is
    // saturated, never wrapped.
    std::vector<uint8_t> loud(2 * 64);
    for (int i = 0; i < 64; ++i)
        StoreSample16(&loud[2 * i], (i / 4) % 2 ? 30000 : -30000);
    TEqualizerKernel boost(100, Gains(100), MakePcmFormat(44100, 16, 1));
    boost.Process(loud.data(), static_cast<int32_t>(loud.size()));
    bool sawTop = false;
    for (int i = 0; i < 64; ++i) {
        const int v = LoadSample16(&loud[2 * i]);
        EXPECT_GE(v, -32767);
        sawTop = sawTop || v == 32767 || v == -32767;
    }
    EXPECT_TRUE(sawTop);

    std::vector<uint8_t> none = {5};
    pass.Process(none.data(), 0);
    pass.Process(none.data(), 1); // half a 16-bit sample: left alone
    EXPECT_EQ(none[0], 5);
}

TEST(Equalizer, PathFollowsTheProcessorAndTheBaselineCanBeForced) {
    // The identity tests run each path; this makes sure the picked one is the vector path
    // wherever the processor has it, so that those tests do cover it here.
    TEqualizerKernel k(100, Gains(50), MakePcmFormat(44100, 16, 1));
#if defined(__x86_64__)
    __builtin_cpu_init();
    EXPECT_EQ(k.UsesAvx2(), __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"));
#else
    EXPECT_FALSE(k.UsesAvx2());
#endif
    k.UseBaselinePathForTests();
    EXPECT_FALSE(k.UsesAvx2());
}
