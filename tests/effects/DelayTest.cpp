// Delay: derived values, the closed form on hand-made signals, priming, the sweep, and
// settings at and beyond the edges. Expected values are worked out by hand or in a
// separate double-precision calculation.
#include <gtest/gtest.h>

#include <vector>

#include "audio/VelTrackUtils.h"
#include "effects/DelayKernel.h"

namespace {

std::vector<uint8_t> Pack16(const std::vector<int>& values) {
    std::vector<uint8_t> bytes(values.size() * 2);
    for (size_t i = 0; i < values.size(); ++i) {
        const auto u = static_cast<uint16_t>(static_cast<int16_t>(values[i]));
        bytes[2 * i] = static_cast<uint8_t>(u);
        bytes[2 * i + 1] = static_cast<uint8_t>(u >> 8);
    }
    return bytes;
}

int At16(const std::vector<uint8_t>& bytes, size_t i) {
    return LoadSample16(&bytes[2 * i]);
}

// Runs the kernel over track[selStart, selEnd) with the preroll it asks for.
std::vector<uint8_t> RunDelay(TDelayKernel& k, const std::vector<uint8_t>& track, int32_t selStart,
                              int32_t selEnd) {
    const int32_t pre = k.PrerollBytes(selStart);
    k.Prime(track.data() + selStart - pre, pre);
    std::vector<uint8_t> out(selEnd - selStart, 0xEE);
    k.Process(track.data() + selStart, out.data(), selEnd - selStart);
    return out;
}

} // namespace

TEST(Delay, DerivedValuesMonoAndStereo) {
    // 0.025 s at 44100 Hz is 1102.5 frames, rounded to the even 1102; 0.0125 s is 551.25
    // frames, truncated to 551, halved to 275 in mono.
    TDelayKernel mono(250, 50, 50, 50, 1, 10, 125, MakePcmFormat(44100, 16, 1));
    EXPECT_EQ(mono.D(), 1102);
    EXPECT_EQ(mono.L(), 1103);
    EXPECT_EQ(mono.A(), 275);
    EXPECT_EQ(mono.Centre(), 828);
    EXPECT_FLOAT_EQ(mono.Omega(), 0.00014247585204429924f);
    EXPECT_EQ(mono.FeedbackGain(), 0.25f); // feedback 50 % of wet 50 %

    TDelayKernel stereo(250, 50, 50, 50, 1, 10, 125, MakePcmFormat(44100, 16, 2));
    EXPECT_EQ(stereo.D(), 2204);
    EXPECT_EQ(stereo.L(), 2205);
    EXPECT_EQ(stereo.A(), 551);
    EXPECT_EQ(stereo.Centre(), 1654);
    EXPECT_FLOAT_EQ(stereo.Omega(), 7.123792602214962e-05f);

    // The feedback gain carries the wet gain and its sign.
    const WAVEFORMATEX f = MakePcmFormat(8000, 16, 1);
    EXPECT_EQ(TDelayKernel(10, 50, 100, -100, 0, 10, 0, f).FeedbackGain(), -0.5f);
    EXPECT_EQ(TDelayKernel(10, -100, 100, -100, 0, 10, 0, f).FeedbackGain(), 1.0f);
    EXPECT_EQ(TDelayKernel(10, 150, 100, 0, 0, 10, 0, f).FeedbackGain(), 0.0f);
    EXPECT_EQ(TDelayKernel(10, 30, 100, 70, 0, 10, 0, f).FeedbackGain(), 0.20999999344348907f);
    EXPECT_EQ(TDelayKernel(10, 30, 100, 70, 0, 10, 0, f).WetGain(), 0.699999988079071f);
}

TEST(Delay, FixedEchoWithFeedbackFollowsTheClosedForm) {
    // 3 samples at 10000 Hz; dry 100, wet 100, feedback 50: y[n] = x[n] + x[n-3] + 0.5 y[n-3].
    // An impulse of 1000 gives 1000, 1500, 750, 375, 187.5 -> 188 (halves to even), 94, ...
    std::vector<int> x(45, 0);
    x[0] = 1000;
    const auto track = Pack16(x);
    TDelayKernel k(3, 50, 100, 100, 0, 10, 0, MakePcmFormat(10000, 16, 1));
    ASSERT_EQ(k.D(), 3);
    const auto out = RunDelay(k, track, 0, static_cast<int32_t>(track.size()));
    std::vector<int> expected(45, 0);
    const int echoes[] = {1000, 1500, 750, 375, 188, 94, 47, 24, 12, 6, 3, 2, 1, 0, 0};
    for (int i = 0; i < 15; ++i)
        expected[3 * i] = echoes[i];
    for (size_t i = 0; i < 45; ++i)
        EXPECT_EQ(At16(out, i), expected[i]) << i;
}

TEST(Delay, PureWetIsTheTrackDelayedIncludingThePreroll) {
    // 8-bit stereo at 8000 Hz, 0.0025 s: 20 frames, D = 40 samples.
    std::vector<uint8_t> track(400);
    for (size_t i = 0; i < track.size(); ++i)
        track[i] = static_cast<uint8_t>(i * 7 + 3);
    const WAVEFORMATEX f = MakePcmFormat(8000, 8, 2);
    {
        TDelayKernel k(25, 0, 0, 100, 0, 10, 0, f);
        ASSERT_EQ(k.D(), 40);
        EXPECT_EQ(k.PrerollBytes(100), 41);
        const auto out = RunDelay(k, track, 100, 300);
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(out[i], track[100 + i - 40]) << i;
    }
    {
        // At the track start the first D samples echo silence.
        TDelayKernel k(25, 0, 0, 100, 0, 10, 0, f);
        EXPECT_EQ(k.PrerollBytes(0), 0);
        const auto out = RunDelay(k, track, 0, 200);
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(out[i], 128) << i;
        for (int i = 40; i < 200; ++i)
            EXPECT_EQ(out[i], track[i - 40]) << i;
    }
    {
        // Dry only: unchanged, in place, but -32768 is stored as -32767.
        auto data = Pack16({5, -32768, 32767, -7});
        TDelayKernel k(25, 90, 100, 0, 0, 10, 0, MakePcmFormat(8000, 16, 1));
        k.Process(data.data(), data.data(), static_cast<int32_t>(data.size()));
        EXPECT_EQ(data, Pack16({5, -32767, 32767, -7}));
    }
}

TEST(Delay, SweepStartsAtCentreMovesUpAndReadsThatFarBack) {
    // 8000 Hz mono, total and modulated 0.01 s: D = 80, L = 81, A = 40, centre = 41, 1 Hz.
    TDelayKernel k(100, 0, 0, 100, 1, 10, 100, MakePcmFormat(8000, 16, 1));
    ASSERT_EQ(k.L(), 81);
    ASSERT_EQ(k.Centre(), 41);
    EXPECT_EQ(k.SweepAt(1), 41);
    EXPECT_EQ(k.SweepAt(100), 44);
    EXPECT_EQ(k.SweepAt(2001), 81);
    EXPECT_EQ(k.SweepAt(4001), 41);
    EXPECT_EQ(k.SweepAt(6001), 1);

    std::vector<int> ramp(7500);
    for (int i = 0; i < 7500; ++i)
        ramp[i] = i - 20000;
    const auto track = Pack16(ramp);
    const auto out = RunDelay(k, track, 400, 14400); // selection starts at sample 200
    EXPECT_EQ(At16(out, 0), ramp[200 - 41]);
    EXPECT_EQ(At16(out, 99), ramp[200 + 99 - 44]);
    EXPECT_EQ(At16(out, 2000), ramp[200 + 2000 - 81]);
    EXPECT_EQ(At16(out, 6000), ramp[200 + 6000 - 1]);

    // Modulated delay 0: m = L = D + 1 throughout, one sample more than the fixed delay.
    TDelayKernel flat(3, 0, 0, 100, 1, 10, 0, MakePcmFormat(10000, 16, 1));
    EXPECT_EQ(flat.A(), 0);
    EXPECT_EQ(flat.SweepAt(1), 4);
    EXPECT_EQ(flat.SweepAt(12345), 4);
    const auto out2 = RunDelay(flat, track, 400, 800);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(At16(out2, i), ramp[200 + i - 4]) << i;
}

TEST(Delay, DegenerateSettingsStayInsideTheLines) {
    std::vector<uint8_t> track(2000);
    for (size_t i = 0; i < track.size(); ++i)
        track[i] = static_cast<uint8_t>(i * 13);
    const WAVEFORMATEX f = MakePcmFormat(4000, 8, 1);

    // 0.0001 s at 4000 Hz rounds to no frame: a one-sample line, which echoes the sample
    // just before, the preroll's last byte first.
    TDelayKernel zero(1, 0, 0, 100, 0, 10, 0, f);
    EXPECT_EQ(zero.D(), 0);
    EXPECT_EQ(zero.L(), 1);
    const auto out = RunDelay(zero, track, 500, 600);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(out[i], track[500 + i - 1]) << i;

    // A modulated delay far above the total and a negative total: defined, and in range.
    for (const auto& p : {std::array<int, 2>{1, 2500}, std::array<int, 2>{-50, 300}}) {
        TDelayKernel odd(p[0], 150, 100, 150, 1, 200, p[1], f);
        ASSERT_TRUE(odd.Ready());
        EXPECT_GE(odd.L(), 1);
        const auto o = RunDelay(odd, track, 1000, 2000);
        EXPECT_EQ(o.size(), 1000u);
    }

    // Empty input and half a 16-bit sample: the partial byte is passed through.
    TDelayKernel k(10, 50, 50, 50, 0, 10, 0, MakePcmFormat(8000, 16, 1));
    uint8_t in[1] = {0x42};
    uint8_t out1[1] = {0};
    k.Process(in, out1, 0);
    EXPECT_EQ(out1[0], 0);
    k.Process(in, out1, 1);
    EXPECT_EQ(out1[0], 0x42);
}
