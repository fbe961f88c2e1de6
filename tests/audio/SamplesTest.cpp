#include <gtest/gtest.h>

#include <vector>

#include "audio/VelTrackUtils.h"

TEST(Samples, SixteenBitStoreSaturatesSymmetrically) {
    std::vector<uint8_t> block(8, 0xAA);
    TSamples w(block.data(), 8, true);
    EXPECT_EQ(w.Count(), 4);
    EXPECT_EQ(w.readCursor, block.data() + 2);
    EXPECT_EQ(w.writeCursor, block.data());
    w.Store(block.data(), 40000);
    w.Store(block.data() + 2, -40000);
    w.Store(block.data() + 4, -32768);
    w.Store(block.data() + 6, -2);
    const std::vector<uint8_t> expected = {0xFF, 0x7F, 0x01, 0x80, 0x01, 0x80, 0xFE, 0xFF};
    EXPECT_EQ(block, expected);
}

TEST(Samples, EightBitStoreWritesOneSaturatedByte) {
    std::vector<uint8_t> block(5, 0x55);
    TSamples w(block.data(), 4, false);
    EXPECT_EQ(w.Count(), 4);
    w.Store(block.data(), 127);
    w.Store(block.data() + 1, 128);
    w.Store(block.data() + 2, -128);
    w.Store(block.data() + 3, -129);
    const std::vector<uint8_t> expected = {255, 255, 0, 0, 0x55};
    EXPECT_EQ(block, expected);
}

TEST(Samples, ReadsWrapsStridesAndReadsBack) {
    std::vector<int16_t> values(100);
    for (int i = 0; i < 100; ++i) values[i] = static_cast<int16_t>(i * 10 - 300);
    std::vector<uint8_t> block(200);
    for (int i = 0; i < 100; ++i) StoreSample16(&block[2 * i], values[i]);
    TSamples w(block.data(), 200, true);

    TSamples::Cursor p;
    w.PlaceCursor(p, 2);
    // Read back by 3 from the second sample goes around the block to sample 98.
    EXPECT_EQ(w.ReadBack(p, 3), values[98]);
    EXPECT_EQ(p, block.data() + 2);
    EXPECT_EQ(w.ReadNext(p), values[1]);
    EXPECT_EQ(w.ReadNext(p), values[2]);

    w.PlaceCursor(p, 198);
    EXPECT_EQ(w.ReadNextWrap(p), values[99]);
    EXPECT_EQ(p, w.Start());

    // Stride: not modulo, back to the start when past the end.
    w.PlaceCursor(p, 190);
    EXPECT_EQ(w.ReadStrideWrap(p, 3), values[95]);
    EXPECT_EQ(p, block.data() + 196);
    EXPECT_EQ(w.ReadStrideWrap(p, 3), values[98]);
    EXPECT_EQ(p, w.Start());
}

TEST(Samples, EightBitReadsAreByteMinus128AndSilenceIs128) {
    std::vector<uint8_t> block = {0, 128, 255, 7};
    TSamples w(block.data(), 3, false);
    TSamples::Cursor p = w.Start();
    EXPECT_EQ(w.ReadNext(p), -128);
    EXPECT_EQ(w.ReadNext(p), 0);
    EXPECT_EQ(w.ReadNext(p), 127);
    w.FillSilence();
    EXPECT_EQ(block, (std::vector<uint8_t>{128, 128, 128, 7}));

    std::vector<uint8_t> odd = {1, 2, 3, 4, 5};
    TSamples w16(odd.data(), 5, true); // count rounds down: the fifth byte is not a sample
    w16.FillSilence();
    EXPECT_EQ(odd, (std::vector<uint8_t>{0, 0, 0, 0, 5}));
}
