#include <gtest/gtest.h>

#include "audio/VelTrackUtils.h"

namespace {
const WAVEFORMATEX kCd = MakePcmFormat(44100, 16, 2); // 176400 bytes per second
const WAVEFORMATEX kMono16 = MakePcmFormat(44100, 16, 1); // 88200
} // namespace

TEST(TimeText, BytesToTextAtCdRate) {
    EXPECT_EQ(BytesToTimeText(0, kCd), "00:00.00000");
    EXPECT_EQ(BytesToTimeText(264600, kCd), "00:01.50000");
    EXPECT_EQ(BytesToTimeText(176399, kCd), "00:00.99999");
    EXPECT_EQ(BytesToTimeText(10584000, kCd), "01:00.00000");
    // 100 minutes need three minute digits.
    EXPECT_EQ(BytesToTimeText(1058400000, kCd), "100:00.00000");
    WAVEFORMATEX silent = kCd;
    silent.nAvgBytesPerSec = 0;
    EXPECT_EQ(BytesToTimeText(1234, silent), "");
}

TEST(TimeText, FractionThatRoundsToAWholeSecondCarries) {
    // 191999 / 192000 s = 0.999994.. s -> 99999.48 -> 99999; one byte less than a second at
    // 384000 B/s is 0.9999974 s, which rounds to 100000 and must carry into the seconds.
    const WAVEFORMATEX hi = MakePcmFormat(96000, 16, 2);
    EXPECT_EQ(BytesToTimeText(383999, hi), "00:01.00000");
    EXPECT_EQ(BytesToTimeText(60 * 384000 - 1, hi), "01:00.00000");
    EXPECT_EQ(SecondsToTimeText(59.999999f), "01:00.00000");
}

TEST(TimeText, TextToBytes) {
    EXPECT_EQ(TimeTextToBytes("00:01.50000", kCd), 264600);
    EXPECT_EQ(TimeTextToBytes("01:00.00000", kCd), 10584000);
    // Not aligned to samples: one hundred-thousandth of a second at 88200 B/s is 0.882 -> 1.
    EXPECT_EQ(TimeTextToBytes("00:00.00001", kMono16), 1);
    // Halves go to the even neighbour: 0.00005 s at 10000 B/s = 0.5 -> 0, 0.00015 s = 1.5 -> 2.
    WAVEFORMATEX tenK = MakePcmFormat(5000, 16, 1);
    EXPECT_EQ(TimeTextToBytes("00:00.00005", tenK), 0);
    EXPECT_EQ(TimeTextToBytes("00:00.00015", tenK), 2);
    EXPECT_EQ(TimeTextToBytes("00:00.00025", tenK), 2);
    // Blanks read as zeros; the song file's "00:00:00000" also reads as zero.
    EXPECT_EQ(TimeTextToBytes(" 0: 1. 5000", kCd), 176400 + 8820);
    EXPECT_EQ(TimeTextToBytes("00:00:00000", kCd), 0);
    // Failures give 0.
    EXPECT_EQ(TimeTextToBytes("", kCd), 0);
    EXPECT_EQ(TimeTextToBytes("100:00.00000", kCd), 0);
    EXPECT_EQ(TimeTextToBytes("ab:cd.efghi", kCd), 0);
    EXPECT_EQ(TimeTextToBytes("00:01", kCd), 0);
}

TEST(TimeText, SecondsConversions) {
    EXPECT_EQ(SecondsToTimeText(1.5f), "00:01.50000");
    EXPECT_EQ(SecondsToTimeText(61.25f), "01:01.25000");
    EXPECT_EQ(SecondsToTimeText(0.0f), "00:00.00000");
    EXPECT_EQ(SecondsToTimeText(std::numeric_limits<float>::quiet_NaN()), "00:00.00000");
    EXPECT_EQ(SecondsToTimeText(std::numeric_limits<float>::infinity()), "00:00.00000");
    EXPECT_EQ(TimeTextToSeconds("01:01.25000"), 61.25L);
    EXPECT_EQ(TimeTextToSeconds(""), 0.0L);
    EXPECT_EQ(TimeTextToSeconds("xx:01.25000"), 0.0L);
}

TEST(TimeText, NoPositionConventionAndDescriptions) {
    EXPECT_EQ(PositionToText(-1, kCd), "-1");
    EXPECT_EQ(TextToPosition("-1", kCd), -1);
    EXPECT_EQ(TextToPosition("00:01.50000", kCd), 264600);
    EXPECT_EQ(FormatDescription(kCd), "16 bit Stereo @44100Hz");
    EXPECT_EQ(FormatDescription(MakePcmFormat(11025, 8, 1)), "8 bit Mono @11025Hz");
    EXPECT_EQ(FormatDescription(MakePcmFormat(22050, 8, 2)), "8 bit Stereo @22050Hz");
    EXPECT_EQ(FormatDescription(MakePcmFormat(48000, 16, 4)), "16 bit Stereo @48000Hz");
}

TEST(WaveFormatRecord, EncodesEighteenLittleEndianBytesFieldByField) {
    const WaveFormatBytes b = EncodeWaveFormat(kCd);
    const WaveFormatBytes expected = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
    EXPECT_EQ(b, expected);
    EXPECT_TRUE(SameFormat(DecodeWaveFormat(b.data(), b.size()), kCd));
    // A 16-byte fmt payload leaves the extra size as it was in the base record.
    WAVEFORMATEX base;
    base.cbSize = 7;
    EXPECT_EQ(DecodeWaveFormat(b.data(), 16, base).cbSize, 7);
    WAVEFORMATEX other = kCd;
    other.cbSize = 1; // differs only in a field no arithmetic uses: still a different format
    EXPECT_FALSE(SameFormat(other, kCd));
}
