// Distortion and fade on hand-made samples, expected values worked out by hand.
#include <gtest/gtest.h>

#include <vector>

#include "audio/VelTrackUtils.h"
#include "effects/DistortionKernel.h"
#include "effects/FadeKernel.h"

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

std::vector<int> Unpack16(const std::vector<uint8_t>& bytes) {
    std::vector<int> values(bytes.size() / 2);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = LoadSample16(&bytes[2 * i]);
    return values;
}

std::vector<int> Distort16(const std::vector<int>& in, int up, int low, int clamp, int dry,
                           int wet) {
    auto bytes = Pack16(in);
    TDistortionKernel k(up, low, clamp, dry, wet, MakePcmFormat(44100, 16, 1));
    k.Process(bytes.data(), static_cast<int32_t>(bytes.size()));
    return Unpack16(bytes);
}

std::vector<int> Fade16(const std::vector<int>& in, int left, int right, int channels = 1) {
    auto bytes = Pack16(in);
    TFadeKernel k(left, right, static_cast<int64_t>(bytes.size()),
                  MakePcmFormat(44100, 16, static_cast<uint16_t>(channels)));
    k.Process(bytes.data(), static_cast<int32_t>(bytes.size()));
    return Unpack16(bytes);
}

} // namespace

TEST(Distortion, HalfBandClampsUpperHalfAndSaturatesMinus32768) {
    TDistortionKernel k(100, 50, 50, 100, 100, MakePcmFormat(44100, 16, 2));
    EXPECT_EQ(k.Lower(), 16384); // Round(16383.5) goes to the even neighbour
    EXPECT_EQ(k.Upper(), 32767);
    EXPECT_EQ(k.ClampLevel(), 16384);
    EXPECT_EQ(
        Distort16({0, 16383, 16384, 20000, 32767, -16383, -16384, -20000, -32767, -32768}, 100, 50,
                  50, 100, 100),
        (std::vector<int>{0, 16383, 16384, 16384, 16384, -16383, -16384, -16384, -16384, -32767}));
}

TEST(Distortion, WetBeyondFullScaleNegativeWetAndZeroBand) {
    // Clamp 100 at wet 150: 32767 * 1.5 = 49150.5, rounded to the even 49150, then saturated.
    TDistortionKernel loud(100, 0, 100, 100, 150, MakePcmFormat(44100, 16, 1));
    EXPECT_EQ(loud.ClampLevel(), 49150);
    EXPECT_EQ(Distort16({1, -1, 0, 32767, -32768}, 100, 0, 100, 100, 150),
              (std::vector<int>{32767, -32767, 32767, 32767, -32767}));

    // A negative wet flips the clamp level's sign: inside the band signs swap.
    EXPECT_EQ(Distort16({20000, -20000, 100}, 100, 50, 50, 100, -100),
              (std::vector<int>{-16384, 16384, 100}));

    // Both thresholds and clamp 0: only zero is in the band; the rest is scaled by dry with
    // halves going to the even neighbour (1.5 -> 2, 2.5 -> 2, 3.5 -> 4).
    EXPECT_EQ(Distort16({0, 3, 5, 7, -3, -5, 32767}, 0, 0, 0, 50, 100),
              (std::vector<int>{0, 2, 2, 4, -2, -2, 16384}));
    const std::vector<int> plain = {0, 1, -1, 12345, -32767, 32767};
    EXPECT_EQ(Distort16(plain, 0, 0, 0, 100, 100), plain);
}

TEST(Distortion, EightBitUsesFullScale127) {
    TDistortionKernel k(100, 50, 50, 100, 100, MakePcmFormat(8000, 8, 1));
    EXPECT_EQ(k.Lower(), 64); // Round(63.5)
    EXPECT_EQ(k.Upper(), 127);
    EXPECT_EQ(k.ClampLevel(), 64);
    // Bytes: 128 is 0; 0 is -128, above the band; 200 is 72, in the band.
    std::vector<uint8_t> bytes = {128, 0, 200, 60, 191, 192, 255};
    k.Process(bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{128, 0, 192, 64, 191, 192, 192}));

    // Empty and negative lengths touch nothing.
    std::vector<uint8_t> none = {1, 2};
    k.Process(none.data(), 0);
    k.Process(none.data(), -5);
    EXPECT_EQ(none, (std::vector<uint8_t>{1, 2}));
}

TEST(Fade, RampEndpointsAndCarriedCounter) {
    // 100 % -> 0 % over 1000 samples of full scale: step is the float nearest -0.001.
    const std::vector<int> loud(1000, 32767);
    const auto out = Fade16(loud, 100, 0);
    EXPECT_EQ(out[0], 32734);
    EXPECT_EQ(out[1], 32701);
    EXPECT_EQ(out[499], 16383);
    EXPECT_EQ(out[998], 33);
    EXPECT_EQ(out[999], 0);

    // Fed in pieces, the counter carries over.
    auto bytes = Pack16(loud);
    TFadeKernel k(100, 0, 2000, MakePcmFormat(44100, 16, 1));
    k.Process(bytes.data(), 998); // 499 samples
    EXPECT_EQ(k.NextK(), 500);
    k.Process(bytes.data() + 998, 1002);
    EXPECT_EQ(Unpack16(bytes), out);

    // Stereo: the ramp steps per sample, not per frame (0 -> 200 % over 8 samples).
    EXPECT_EQ(Fade16(std::vector<int>(8, 1000), 0, 200, 2),
              (std::vector<int>{250, 500, 750, 1000, 1250, 1500, 1750, 2000}));
    // A ramp that ends at zero from a negative sample: 100 % -> 0 % over 7.
    EXPECT_EQ(Fade16(std::vector<int>(7, -100), 100, 0),
              (std::vector<int>{-86, -71, -57, -43, -29, -14, 0}));
}

TEST(Fade, UnityLeavesDataSaturationAndEmptySelection) {
    const std::vector<int> data = {0, 1, -1, 32767, -32767, 12345, -4321};
    EXPECT_EQ(Fade16(data, 100, 100), data);
    EXPECT_EQ(Fade16({20000, -20000, 100, -100}, 200, 200),
              (std::vector<int>{32767, -32767, 200, -200}));

    // 8-bit at 200 %: bytes saturate at 255 and 0.
    std::vector<uint8_t> bytes = {200, 50, 138, 128};
    TFadeKernel k8(200, 200, 4, MakePcmFormat(8000, 8, 1));
    k8.Process(bytes.data(), 4);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{255, 0, 148, 128}));

    // No samples to spread the ramp over: nothing changes, whatever is fed.
    TFadeKernel empty(100, 0, 0, MakePcmFormat(44100, 16, 1));
    EXPECT_EQ(empty.SampleCount(), 0);
    std::vector<uint8_t> untouched = {9, 9, 9, 9};
    empty.Process(untouched.data(), 4);
    EXPECT_EQ(untouched, (std::vector<uint8_t>{9, 9, 9, 9}));
    // A single byte of a 16-bit track holds no sample either.
    TFadeKernel half(0, 0, 1, MakePcmFormat(44100, 16, 1));
    untouched.resize(1);
    half.Process(untouched.data(), 1);
    EXPECT_EQ(untouched[0], 9);
}
