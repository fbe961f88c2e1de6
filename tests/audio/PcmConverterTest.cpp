#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/PcmConverter.h"
#include "audio/VelTrackUtils.h"

namespace {

using Bytes = std::vector<uint8_t>;

WAVEFORMATEX Fmt(uint32_t rate, uint16_t bits, uint16_t channels) {
    return MakePcmFormat(rate, bits, channels);
}

Bytes Le16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) {
        b.push_back(static_cast<uint8_t>(v & 0xFF));
        b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    }
    return b;
}

std::vector<int> Read16(const Bytes& b) {
    std::vector<int> v;
    for (size_t i = 0; i + 1 < b.size(); i += 2)
        v.push_back(LoadSample16(&b[i]));
    return v;
}

// Converts `in` pushed in blocks of `block` bytes, popping in pieces of `popBytes` after each
// push, then flushes and pops the rest.
Bytes Convert(const WAVEFORMATEX& from, const WAVEFORMATEX& to, const Bytes& in, size_t block,
              uint32_t popBytes = 1u << 20) {
    TPcmConverter c;
    EXPECT_EQ(c.Open(from, to), 0);
    Bytes out;
    Bytes piece(popBytes);
    auto drain = [&] {
        while (uint32_t n = c.Pop(piece.data(), popBytes))
            out.insert(out.end(), piece.begin(), piece.begin() + n);
    };
    for (size_t at = 0; at < in.size(); at += block) {
        const auto n = static_cast<uint32_t>(std::min(block, in.size() - at));
        EXPECT_EQ(c.Push(in.data() + at, n), 0);
        drain();
    }
    EXPECT_EQ(c.Flush(), 0);
    drain();
    EXPECT_EQ(c.Available(), 0u);
    return out;
}

// A sine of `hz` at `amplitude` on every channel, 16-bit or 8-bit.
Bytes Sine(uint32_t rate, uint16_t bits, uint16_t channels, size_t frames, double hz,
           double amplitude) {
    Bytes b;
    for (size_t i = 0; i < frames; ++i) {
        const double x = amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 16) {
                const auto v = static_cast<int16_t>(std::lround(x));
                b.push_back(static_cast<uint8_t>(v & 0xFF));
                b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
            } else {
                b.push_back(static_cast<uint8_t>(std::lround(x / 256) + 128));
            }
        }
    }
    return b;
}

} // namespace

TEST(PcmConverter, SizeQueriesMatchTheBlockSizingOfTheTrackConversion) {
    TPcmConverter down;
    ASSERT_EQ(down.Open(Fmt(44100, 16, 2), Fmt(22050, 8, 1)), 0);
    uint32_t n = 0;
    EXPECT_EQ(down.SizeForSource(524288, n), 0);
    EXPECT_EQ(n, 65536u);
    EXPECT_EQ(down.SizeForDestination(65536, n), 0);
    EXPECT_EQ(n, 524288u);
    EXPECT_EQ(down.SizeForSource(5, n), 0); // one whole frame, half an output frame: room for 1
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(down.SizeForSource(3, n), 0); // no whole frame
    EXPECT_EQ(n, 0u);

    TPcmConverter up;
    ASSERT_EQ(up.Open(Fmt(11025, 8, 1), Fmt(44100, 16, 2)), 0);
    EXPECT_EQ(up.SizeForSource(524288, n), 0);
    EXPECT_EQ(n, 8388608u);
    EXPECT_EQ(up.SizeForSource(57344, n), 0);
    EXPECT_EQ(n, 917504u);
    // The caller lowers the source block in 8192-byte steps while the pair reaches 1 MiB.
    uint32_t source = 524288, destination = 0;
    ASSERT_EQ(up.SizeForSource(source, destination), 0);
    while (source + destination >= 0x100000) {
        source -= 8192;
        ASSERT_EQ(up.SizeForSource(source, destination), 0);
    }
    EXPECT_EQ(source, 57344u);
    EXPECT_EQ(destination, 917504u);
    EXPECT_EQ(up.SizeForDestination(917504, n), 0);
    EXPECT_EQ(n, 57344u);
    EXPECT_EQ(up.SizeForDestination(6, n), 0); // 1.5 frames -> 1 frame = half a source frame
    EXPECT_EQ(n, 1u);

    // 441 frames at 44100 Hz are 480 at 48000 Hz; one more frame needs 2 more bytes of room.
    TPcmConverter odd;
    ASSERT_EQ(odd.Open(Fmt(44100, 16, 1), Fmt(48000, 16, 1)), 0);
    EXPECT_EQ(odd.SizeForSource(882, n), 0);
    EXPECT_EQ(n, 960u);
    EXPECT_EQ(odd.SizeForSource(884, n), 0);
    EXPECT_EQ(n, 964u); // 442 * 48000 / 44100 = 481.09 -> 482 frames
    EXPECT_EQ(odd.SizeForDestination(964, n), 0);
    EXPECT_EQ(n, 886u); // 482 * 44100 / 48000 = 442.84 -> 443 frames

    TPcmConverter wide;
    ASSERT_EQ(wide.Open(Fmt(4000, 8, 1), Fmt(1000000, 16, 2)), 0);
    EXPECT_EQ(wide.SizeForSource(0xFFFFFFFFu, n), TPcmConverter::kSizeOverflow);
    TPcmConverter closed;
    EXPECT_EQ(closed.SizeForSource(4, n), TPcmConverter::kNotOpen);
    EXPECT_EQ(closed.SizeForDestination(4, n), TPcmConverter::kNotOpen);
}

TEST(PcmConverter, RefusesBadFormatsAndMisuse) {
    TPcmConverter c;
    const WAVEFORMATEX good = Fmt(44100, 16, 2);
    auto with = [&](auto change) {
        WAVEFORMATEX f = good;
        change(f);
        return f;
    };
    const std::vector<WAVEFORMATEX> bad = {
        with([](WAVEFORMATEX& f) { f.wFormatTag = 3; }),
        with([](WAVEFORMATEX& f) { f.nChannels = 0; }),
        Fmt(44100, 16, 3),
        Fmt(44100, 24, 2),
        Fmt(44100, 12, 1),
        Fmt(0, 16, 2),
        with([](WAVEFORMATEX& f) { f.nBlockAlign = 2; }),
    };
    for (const auto& f : bad) {
        EXPECT_EQ(c.Open(f, good), TPcmConverter::kBadSourceFormat);
        EXPECT_EQ(c.Open(good, f), TPcmConverter::kBadDestinationFormat);
        EXPECT_FALSE(c.IsOpen());
    }
    EXPECT_EQ(c.Open(Fmt(1000, 16, 1), Fmt(257000, 16, 1)), TPcmConverter::kRateRatioTooLarge);
    EXPECT_EQ(c.Open(Fmt(257000, 16, 1), Fmt(1000, 16, 1)), TPcmConverter::kRateRatioTooLarge);
    EXPECT_EQ(c.Open(Fmt(1000, 16, 1), Fmt(256000, 16, 1)), 0);
    EXPECT_EQ(c.Open(Fmt(256000, 16, 1), Fmt(1000, 16, 1)), 0);

    // Fields that do not describe the data are not checked.
    WAVEFORMATEX loose = good;
    loose.nAvgBytesPerSec = 7;
    loose.cbSize = 22;
    EXPECT_EQ(c.Open(loose, good), 0);

    uint8_t frame[4] = {};
    TPcmConverter closed;
    EXPECT_EQ(closed.Push(frame, 4), TPcmConverter::kNotOpen);
    EXPECT_EQ(closed.Flush(), TPcmConverter::kNotOpen);
    EXPECT_EQ(closed.Available(), 0u);
    EXPECT_EQ(closed.Pop(frame, 4), 0u);
    EXPECT_EQ(closed.LookaheadSourceBytes(), 0u);

    ASSERT_EQ(c.Open(good, Fmt(22050, 8, 1)), 0);
    EXPECT_EQ(c.Push(nullptr, 4), TPcmConverter::kNullBuffer);
    EXPECT_EQ(c.Push(nullptr, 0), 0);
    EXPECT_EQ(c.Flush(), 0);
    EXPECT_EQ(c.Flush(), 0);
    EXPECT_EQ(c.Push(frame, 4), TPcmConverter::kAlreadyFlushed);
    EXPECT_EQ(c.Available(), 0u);
    c.Close();
    EXPECT_FALSE(c.IsOpen());

    for (int code = 1; code <= 9; ++code) {
        EXPECT_FALSE(TPcmConverter::ErrorText(code).empty());
        EXPECT_NE(TPcmConverter::ErrorText(code), TPcmConverter::ErrorText(code + 1));
    }
    EXPECT_NE(TPcmConverter::ErrorText(77).find("77"), std::string::npos);
}

TEST(PcmConverter, SameRateWidthAndChannelRulesOnHandValues) {
    // 8 -> 16: (byte - 128) * 256.
    EXPECT_EQ(Read16(Convert(Fmt(8000, 8, 1), Fmt(8000, 16, 1), {0, 1, 127, 128, 129, 255}, 64)),
              (std::vector<int>{-32768, -32512, -256, 0, 256, 32512}));
    // 16 -> 8: x / 256 to nearest, halves to even, + 128, saturated.
    EXPECT_EQ(
        Convert(Fmt(8000, 16, 1), Fmt(8000, 8, 1),
                Le16({32767, -32768, 128, 384, -128, -384, 383, 640, 32640, 32639, -32640, -32639}),
                64),
        (Bytes{255, 0, 128, 130, 128, 126, 129, 130, 255, 255, 0, 1}));
    // Stereo -> mono 16: (l + r) / 2, halves to even.
    EXPECT_EQ(Read16(Convert(Fmt(8000, 16, 2), Fmt(8000, 16, 1),
                             Le16({1, 0, 3, 0, -1, 0, -3, 0, 32767, 32767, -32768, -32768, 32767,
                                   32766, 5, 2}),
                             64)),
              (std::vector<int>{0, 2, 0, -2, 32767, -32768, 32766, 4}));
    // Stereo 16 -> mono 8 rounds once: (l + r) / 512.
    EXPECT_EQ(Convert(Fmt(8000, 16, 2), Fmt(8000, 8, 1),
                      Le16({128, 128, 384, 384, 32767, 32767, 256, 0, 768, 0}), 64),
              (Bytes{128, 130, 255, 128, 130}));
    // Stereo 8 -> mono 8.
    EXPECT_EQ(Convert(Fmt(8000, 8, 2), Fmt(8000, 8, 1),
                      {129, 128, 131, 128, 127, 128, 125, 128, 255, 255, 0, 0}, 64),
              (Bytes{128, 130, 128, 126, 255, 0}));
    // Mono -> stereo duplicates.
    EXPECT_EQ(Read16(Convert(Fmt(8000, 16, 1), Fmt(8000, 16, 2), Le16({1234, -5}), 64)),
              (std::vector<int>{1234, 1234, -5, -5}));
    EXPECT_EQ(Read16(Convert(Fmt(8000, 8, 1), Fmt(8000, 16, 2), {0, 200}, 64)),
              (std::vector<int>{-32768, -32768, 18432, 18432}));
    EXPECT_EQ(Convert(Fmt(8000, 16, 1), Fmt(8000, 8, 2), Le16({384, -32768}), 64),
              (Bytes{130, 130, 0, 0}));
    // Stereo 16 -> stereo 8 keeps the channels apart.
    EXPECT_EQ(Convert(Fmt(8000, 16, 2), Fmt(8000, 8, 2), Le16({384, -384, 256, 0}), 64),
              (Bytes{130, 126, 129, 128}));

    // Partial frames: byte by byte gives the same; a trailing half frame is dropped.
    const Bytes stereo = Le16({100, 300, -700, 901, 5, 6, 32767, -32768});
    const Bytes whole = Convert(Fmt(8000, 16, 2), Fmt(8000, 16, 1), stereo, stereo.size());
    EXPECT_EQ(Convert(Fmt(8000, 16, 2), Fmt(8000, 16, 1), stereo, 1), whole);
    EXPECT_EQ(Convert(Fmt(8000, 16, 2), Fmt(8000, 16, 1), stereo, 3), whole);
    Bytes ragged = stereo;
    ragged.insert(ragged.end(), {1, 2, 3});
    EXPECT_EQ(Convert(Fmt(8000, 16, 2), Fmt(8000, 16, 1), ragged, 5), whole);
    EXPECT_EQ(Read16(whole), (std::vector<int>{200, 100, 6, 0}));

    // Pop hands out whole frames only.
    TPcmConverter c;
    ASSERT_EQ(c.Open(Fmt(8000, 16, 1), Fmt(8000, 16, 2)), 0);
    const Bytes two = Le16({7, 8});
    ASSERT_EQ(c.Push(two.data(), 4), 0);
    EXPECT_EQ(c.Available(), 8u);
    uint8_t out[8] = {};
    EXPECT_EQ(c.Pop(out, 3), 0u);
    EXPECT_EQ(c.Pop(nullptr, 8), 0u);
    EXPECT_EQ(c.Pop(out, 7), 4u);
    EXPECT_EQ(c.Available(), 4u);
    EXPECT_EQ(c.LookaheadSourceBytes(), 0u);
}

TEST(PcmConverter, BlockSizesDoNotChangeTheOutput) {
    struct Case {
        WAVEFORMATEX from, to;
    };
    const Case cases[] = {
        {Fmt(44100, 16, 2), Fmt(22050, 8, 1)},
        {Fmt(11025, 8, 1), Fmt(44100, 16, 2)},
        {Fmt(44100, 16, 2), Fmt(48000, 16, 2)},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.from.nSamplesPerSec);
        const Bytes in = Sine(k.from.nSamplesPerSec, k.from.wBitsPerSample, k.from.nChannels, 30000,
                              1000.0, 12000.0);
        const Bytes whole = Convert(k.from, k.to, in, in.size());
        EXPECT_EQ(Convert(k.from, k.to, in, k.from.nBlockAlign, 4093), whole);
        EXPECT_EQ(Convert(k.from, k.to, in, 4095, 1u << 16), whole);
        EXPECT_EQ(Convert(k.from, k.to, in, 57344, 6), whole);
    }
}

TEST(PcmConverter, WholeStreamLengthIsTheRoundedDuration) {
    auto frames = [](const WAVEFORMATEX& from, const WAVEFORMATEX& to, size_t inFrames) {
        const Bytes in =
            Sine(from.nSamplesPerSec, from.wBitsPerSample, from.nChannels, inFrames, 440.0, 5000.0);
        const Bytes out = Convert(from, to, in, 4096);
        EXPECT_EQ(out.size() % to.nBlockAlign, 0u);
        return out.size() / to.nBlockAlign;
    };
    EXPECT_EQ(frames(Fmt(44100, 16, 2), Fmt(22050, 16, 2), 100000), 50000u);
    EXPECT_EQ(frames(Fmt(22050, 16, 2), Fmt(44100, 16, 2), 50000), 100000u);
    EXPECT_EQ(frames(Fmt(44100, 16, 1), Fmt(22050, 8, 1), 44101), 22050u); // 22050.5 -> even
    EXPECT_EQ(frames(Fmt(44100, 16, 1), Fmt(22050, 8, 1), 44103), 22052u); // 22051.5 -> even
    EXPECT_EQ(frames(Fmt(11025, 8, 1), Fmt(44100, 16, 2), 12345), 49380u);
    EXPECT_EQ(frames(Fmt(44100, 16, 2), Fmt(48000, 16, 2), 44100), 48000u);
    EXPECT_EQ(frames(Fmt(48000, 16, 1), Fmt(44100, 16, 1), 1000), 919u); // 918.75
    EXPECT_EQ(frames(Fmt(48000, 16, 1), Fmt(44100, 16, 1), 1), 1u);      // 0.91875
    EXPECT_EQ(frames(Fmt(44100, 16, 1), Fmt(8000, 16, 1), 5), 1u);       // 0.907
    EXPECT_EQ(frames(Fmt(44100, 16, 1), Fmt(8000, 16, 1), 0), 0u);

    // A round trip through half the rate gives back the frame count.
    const Bytes in = Sine(44100, 16, 2, 88200, 1000.0, 8000.0);
    const Bytes half = Convert(Fmt(44100, 16, 2), Fmt(22050, 16, 2), in, 57344);
    const Bytes back = Convert(Fmt(22050, 16, 2), Fmt(44100, 16, 2), half, 4095);
    EXPECT_EQ(back.size(), in.size());
}

TEST(PcmConverter, ResampledSineKeepsFrequencyAmplitudeAndTiming) {
    // 1 kHz at 16000, two seconds, 44100 Hz mono -> 48000 Hz: compare sample by sample with the
    // ideal sine at the new rate (no time shift allowed) away from the two ends.
    const Bytes in = Sine(44100, 16, 1, 88200, 1000.0, 16000.0);
    const std::vector<int> out = Read16(Convert(Fmt(44100, 16, 1), Fmt(48000, 16, 1), in, 8192));
    ASSERT_EQ(out.size(), 96000u);
    double worst = 0, peak = 0;
    int crossings = 0;
    for (size_t i = 4800; i < 91200; ++i) {
        const double ideal = 16000.0 * std::sin(2 * M_PI * 1000.0 * i / 48000.0);
        worst = std::max(worst, std::abs(out[i] - ideal));
        peak = std::max(peak, std::abs(static_cast<double>(out[i])));
        if ((out[i - 1] < 0) != (out[i] < 0)) ++crossings;
    }
    EXPECT_LT(worst, 8.0); // far below one 8-bit step; a shift by one sample would be ~2000
    EXPECT_NEAR(peak, 16000.0, 20.0);
    // 86400 samples at 48 kHz are 1.8 s: 1800 cycles, two crossings each.
    EXPECT_NEAR(crossings, 3600, 2);

    // Stereo 16 -> mono 8 at half the rate: the 1 kHz tone keeps its level (20000 / 256).
    const Bytes stereo = Sine(44100, 16, 2, 44100, 1000.0, 20000.0);
    const Bytes mono = Convert(Fmt(44100, 16, 2), Fmt(22050, 8, 1), stereo, 4095);
    ASSERT_EQ(mono.size(), 22050u);
    int top = 0, bottom = 0;
    crossings = 0;
    for (size_t i = 2205; i < 19845; ++i) {
        const int v = mono[i] - 128;
        top = std::max(top, v);
        bottom = std::min(bottom, v);
        const double ideal = 20000.0 / 256 * std::sin(2 * M_PI * 1000.0 * i / 22050.0);
        EXPECT_LE(std::abs(v - ideal), 1.0) << i;
        if ((mono[i - 1] < 128) != (mono[i] < 128)) ++crossings;
    }
    EXPECT_EQ(top, 78);
    EXPECT_EQ(bottom, -78);
    EXPECT_NEAR(crossings, 1600, 2); // 0.8 s of 1 kHz

    // Full scale stays in range: saturated, never wrapped.
    const Bytes loud = Sine(44100, 16, 1, 20000, 3000.0, 32767.0);
    const std::vector<int> resampled =
        Read16(Convert(Fmt(44100, 16, 1), Fmt(48000, 16, 1), loud, 4096));
    const auto [lo, hi] = std::minmax_element(resampled.begin(), resampled.end());
    EXPECT_GT(*hi, 32000);
    EXPECT_LT(*lo, -32000);
}

TEST(PcmConverter, LookaheadIsEnoughToReleaseOutputUpToAPoint) {
    const std::pair<WAVEFORMATEX, WAVEFORMATEX> pairs[] = {
        {Fmt(44100, 16, 2), Fmt(22050, 8, 1)},
        {Fmt(11025, 8, 1), Fmt(44100, 16, 2)},
        {Fmt(8000, 16, 1), Fmt(44100, 16, 1)},
        {Fmt(96000, 16, 2), Fmt(8000, 16, 2)},
    };
    for (const auto& [from, to] : pairs) {
        SCOPED_TRACE(from.nSamplesPerSec);
        TPcmConverter c;
        ASSERT_EQ(c.Open(from, to), 0);
        const uint32_t look = c.LookaheadSourceBytes();
        EXPECT_GT(look, 0u);
        EXPECT_EQ(look % from.nBlockAlign, 0u);
        const uint64_t lookFrames = look / from.nBlockAlign;
        const Bytes frame(from.nBlockAlign, from.wBitsPerSample == 8 ? 128 : 0);
        for (uint64_t pushed = 1; pushed <= lookFrames + 20000; ++pushed) {
            ASSERT_EQ(c.Push(frame.data(), from.nBlockAlign), 0);
            const uint64_t ready = c.Available() / to.nBlockAlign;
            // Never more than the source so far accounts for...
            ASSERT_LE(ready, pushed * to.nSamplesPerSec / from.nSamplesPerSec);
            // ...and everything up to `lookahead` before the newest frame.
            if (pushed > lookFrames) {
                ASSERT_GE(ready, (pushed - lookFrames) * to.nSamplesPerSec / from.nSamplesPerSec)
                    << pushed;
            }
        }
    }
}

TEST(PcmConverter, LongStreamStaysWithinItsBlocks) {
    // Ten minutes of 44100 Hz 16-bit stereo in 57344-byte blocks, each block's room popped
    // after its push: what waits never grows beyond one block's room plus the held-back tail.
    TPcmConverter c;
    ASSERT_EQ(c.Open(Fmt(44100, 16, 2), Fmt(22050, 8, 1)), 0);
    const uint32_t block = 57344;
    uint32_t room = 0;
    ASSERT_EQ(c.SizeForSource(block, room), 0);
    ASSERT_EQ(room, 7168u);
    const Bytes tone = Sine(44100, 16, 2, block / 4, 441.0, 10000.0); // whole cycles per block
    Bytes out(room);
    const uint64_t totalFrames = 44100ull * 600;
    uint64_t fed = 0, popped = 0;
    uint32_t worstWaiting = 0;
    while (fed < totalFrames * 4) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(block, totalFrames * 4 - fed));
        ASSERT_EQ(c.Push(tone.data(), n), 0);
        fed += n;
        popped += c.Pop(out.data(), room);
        worstWaiting = std::max(worstWaiting, c.Available());
    }
    ASSERT_EQ(c.Flush(), 0);
    while (uint32_t n = c.Pop(out.data(), room))
        popped += n;
    EXPECT_EQ(popped, totalFrames / 2);
    EXPECT_LE(worstWaiting, c.LookaheadSourceBytes() / 8 + 64);
}
