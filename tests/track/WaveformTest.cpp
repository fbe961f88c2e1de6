// The waveform's arithmetic against values worked out by hand from its rules.
#include <gtest/gtest.h>

#include <vector>

#include "track/Waveform.h"

TEST(Waveform, PositionsAndColumnsMapBothWays) {
    // 402 px: 400 usable columns; 400000 bytes: 1000 bytes a column.
    EXPECT_EQ(PositionToColumn(500 + 1000, 500, 400000, 402), 1);
    EXPECT_EQ(ColumnToPosition(1, 500, 400000, 402), 1500);
    EXPECT_EQ(PositionToColumn(7, 0, 0, 402), 0); // empty data
    // 3 columns over 10 bytes: column 1 -> 3, odd, lowered to 2.
    EXPECT_EQ(ColumnToPosition(1, 0, 10, 5), 2);
    // A negative result keeps its odd value.
    EXPECT_EQ(ColumnToPosition(0, -3, 10, 5), -3);
}

TEST(Waveform, DrawingStepOfLongAndShortTracks) {
    // 10 min 44100 Hz 16-bit stereo on 400 px: 264600 -> 132300 samples, halved to 129.
    const TDrawingStep longTrack = DrawingStep(400, 105840000, true);
    EXPECT_EQ(longTrack.samplesPerColumn, 129);
    EXPECT_EQ(longTrack.stride, 1024);
    EXPECT_EQ(longTrack.bytesPerColumn, 129 * 1024 * 2);
    const TDrawingStep shortTrack = DrawingStep(400, 40000, false);
    EXPECT_EQ(shortTrack.samplesPerColumn, 100);
    EXPECT_EQ(shortTrack.stride, 1);
    EXPECT_EQ(shortTrack.bytesPerColumn, 100);
}

static void Put16(std::vector<uint8_t>& b, size_t sample, int16_t v) {
    b[sample * 2] = static_cast<uint8_t>(v & 0xff);
    b[sample * 2 + 1] = static_cast<uint8_t>((v >> 8) & 0xff);
}

TEST(Waveform, ColumnValuesOfSyntheticSignals) {
    // Stride 1024 advances 1023 then 1025: samples 0, 1023, 2048, 3071 are examined.
    std::vector<uint8_t> b(4096 * 2, 0);
    Put16(b, 0, 8000);
    Put16(b, 1023, -4000);
    Put16(b, 2048, 4000);
    Put16(b, 3071, -2000);
    Put16(b, 1, 30000); // never examined
    // P = 6000, N = -3000; height 100, half 50: 50 - round(37.5) + 1 = 50 - 38 + 1 = 13,
    // 50 - round(-18.75) + 1 = 50 + 19 + 1 = 70.
    TColumnValues v = ColumnValues(
        ColumnAverages(b.data(), static_cast<int32_t>(b.size()), true, 1024, 4), true, 100);
    EXPECT_EQ(v.yTop, 13);
    EXPECT_EQ(v.yBottom, 70);
    // Silence: both at half + 1.
    std::vector<uint8_t> silent(64, 128);
    v = ColumnValues(ColumnAverages(silent.data(), 64, false, 1, 64), false, 60);
    EXPECT_EQ(v.yTop, 31);
    EXPECT_EQ(v.yBottom, 31);
    // 8-bit, full scale 32: +16 gives 0.5 * 40 = 20; -8 gives -10 (integer average of -8, -9
    // is -8 by truncation toward zero). Height 80, half 40.
    std::vector<uint8_t> eight = {144, 120, 144, 119};
    v = ColumnValues(ColumnAverages(eight.data(), 4, false, 1, 4), false, 80);
    EXPECT_EQ(v.yTop, 40 - 20 + 1);
    EXPECT_EQ(v.yBottom, 40 + 10 + 1);
    // A half rounds to even: P = 4000 on half 5 -> 2.5 -> 2.
    std::vector<uint8_t> h(4, 0);
    Put16(h, 0, 4000);
    v = ColumnValues(ColumnAverages(h.data(), 4, true, 1, 2), true, 10);
    EXPECT_EQ(v.yTop, 5 - 2 + 1);
}

TEST(Waveform, NudgeStepsAndLimits) {
    int32_t moved = 0;
    for (int tick = 1; tick <= 20; ++tick)
        moved += NudgeStep(tick);
    EXPECT_EQ(moved, 1240);
    TViewPositions p{100, 0, 0, false};
    for (int tick = 1; tick <= 20; ++tick)
        ApplyNudge(TNudgeButton::PlayForward, tick, 100, 1000000, p);
    EXPECT_EQ(p.playPosition, 100 + 1240);
    TViewPositions nearEnd{1100 - 500, 0, 0, false};
    for (int tick = 1; tick <= 20; ++tick)
        ApplyNudge(TNudgeButton::PlayForward, tick, 100, 1000, nearEnd);
    EXPECT_EQ(nearEnd.playPosition, 1100);
    TViewPositions s{100, 10, 20, true};
    ApplyNudge(TNudgeButton::StartRewind, 10, 100, 50, s);
    EXPECT_EQ(s.selStart, 0);
    ApplyNudge(TNudgeButton::StartForward, 10, 100, 50, s);
    EXPECT_EQ(s.selStart, 20);
    ApplyNudge(TNudgeButton::EndRewind, 10, 100, 50, s);
    EXPECT_EQ(s.selEnd, 20);
    ApplyNudge(TNudgeButton::EndForward, 10, 100, 50, s);
    EXPECT_EQ(s.selEnd, 50);
    ApplyNudge(TNudgeButton::PlayRewind, 10, 100, 50, s);
    EXPECT_EQ(s.playPosition, 100);
}

TEST(Waveform, PositionControlsFollowStateAndSelection) {
    TPositionFacts f{tsPlaying, true, 10, 20, 150, 100, 50};
    TPositionControls c = PositionControls(f);
    EXPECT_TRUE(c.playTimeAsText);
    EXPECT_FALSE(c.playTime || c.startTime || c.playForward);
    f.state = tsReady;
    c = PositionControls(f);
    EXPECT_FALSE(c.playTimeAsText);
    EXPECT_TRUE(c.startRewind && c.startForward && c.endRewind && c.endForward);
    EXPECT_FALSE(c.playForward); // at start offset + data length
    EXPECT_TRUE(c.playRewind && c.playTime);
    f.hasSelection = false;
    c = PositionControls(f);
    EXPECT_FALSE(c.startTime || c.endTime || c.startRewind);
}

TEST(Waveform, MouseGestureZoneClearAndSwap) {
    const TMouseFacts ready{tsReady, false, 402, 0, 400000}; // 1000 bytes a column
    TWaveMouse m;
    TViewPositions p;
    EXPECT_FALSE(m.Press(false, 100, ready, p).redrawMarkers); // right button
    TMouseFacts busy = ready;
    busy.state = tsBusy;
    EXPECT_FALSE(m.Press(true, 100, busy, p).redrawMarkers);
    EXPECT_TRUE(m.Press(true, 100, ready, p).redrawMarkers);
    EXPECT_EQ(p.playPosition, 100000);
    EXPECT_TRUE(m.Armed());
    EXPECT_FALSE(m.Move(104, ready, p).redrawMarkers); // strictly within 5 px
    EXPECT_FALSE(m.Move(96, ready, p).redrawMarkers);
    EXPECT_TRUE(m.Move(95, ready, p).redrawMarkers); // leaves the zone: ends swapped
    EXPECT_TRUE(p.hasSelection);
    EXPECT_EQ(p.selStart, 95000);
    EXPECT_EQ(p.selEnd, 100000);
    m.Move(1000, ready, p); // pointer limited to width - 2
    EXPECT_EQ(p.selEnd, 400000);
    EXPECT_TRUE(m.Release(true, ready).cueNow);
    // A click with a selection clears it and moves the play position.
    m.Press(true, 10, ready, p);
    EXPECT_FALSE(p.hasSelection);
    EXPECT_EQ(p.selStart, 0);
    EXPECT_EQ(p.selEnd, 0);
    EXPECT_EQ(p.playPosition, 10000);
    m.Release(true, ready);
    // With an effects dialog open a press keeps the selection and a move does nothing.
    TMouseFacts dialog = ready;
    dialog.effectsDialogOpen = true;
    p = {0, 1000, 5000, true};
    m.Press(true, 10, dialog, p);
    EXPECT_TRUE(p.hasSelection);
    EXPECT_FALSE(m.Move(300, dialog, p).redrawMarkers);
    EXPECT_EQ(p.selEnd, 5000);
}

TEST(Waveform, WorkBarSitsJustBeforeTheBlockEnd) {
    EXPECT_EQ(WorkBarColumn(200000, 400000, 402), 199); // column 200, one before
    EXPECT_EQ(WorkBarColumn(0, 400000, 402), 0);
}
