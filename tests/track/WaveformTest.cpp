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

TEST(Waveform, TheTakesColumnsReadTheRecordingMemoryAsARing) {
    // 8-bit: take byte t lies at ring[t % 8]. From t = 6 four samples: t 6, 7, 8, 9 are ring
    // bytes 6, 7, 0, 1 holding +10, -4, +20, -8.
    std::vector<uint8_t> ring(8, 128);
    ring[6] = 138;
    ring[7] = 124;
    ring[0] = 148;
    ring[1] = 120;
    TColumnAverages a = RingColumnAverages(ring.data(), 8, 6, 0, 10, false, 1, 4);
    EXPECT_EQ(a.positive, 15); // (10 + 20) / 2
    EXPECT_EQ(a.negative, -6); // (-4 - 8) / 2
    // Take bytes 6 and 7 already overwritten: passed over.
    a = RingColumnAverages(ring.data(), 8, 6, 8, 10, false, 1, 4);
    EXPECT_EQ(a.positive, 20);
    EXPECT_EQ(a.negative, -8);
    // Only take bytes up to 9 recorded: t = 9 is not read.
    a = RingColumnAverages(ring.data(), 8, 6, 0, 9, false, 1, 4);
    EXPECT_EQ(a.positive, 15);
    EXPECT_EQ(a.negative, -4);
    // Stride 4 advances 3 then 5: from t = 2, samples t 2, 5, 10, 13 = ring 2, 5, 2, 5.
    std::vector<uint8_t> strided(8, 128);
    strided[2] = 132; // +4
    strided[5] = 100; // -28
    a = RingColumnAverages(strided.data(), 8, 2, 0, 100, false, 4, 4);
    EXPECT_EQ(a.positive, 4);
    EXPECT_EQ(a.negative, -28);
    // A 16-bit sample across the end of an odd-sized ring: low byte ring[4], high byte ring[0].
    std::vector<uint8_t> odd = {0x12, 0, 0, 0, 0x34};
    a = RingColumnAverages(odd.data(), 5, 4, 0, 6, true, 1, 1);
    EXPECT_EQ(a.positive, 0x1234);
}

TEST(Waveform, TheTakeWalkerStepsColumnByColumnAndCatchesUpWithTheRing) {
    // Two samples a column, two bytes a step, 8-bit mono over a 6-byte ring.
    const TDrawingStep step{2, 1, 2};
    TTakeColumnWalker walker(step, false, 1);
    std::vector<uint8_t> ring = {129, 130, 131, 132, 133, 134}; // +1 .. +6
    EXPECT_EQ(walker.Next(ring.data(), 6, 0, 6).positive, 1);   // t 0, 1: (1 + 2) / 2
    EXPECT_EQ(walker.Next(ring.data(), 6, 0, 6).positive, 3);   // t 2, 3: (3 + 4) / 2
    // The ring has come round: t 6, 7 are ring 0, 1 again, refilled with +10 and +12.
    ring[0] = 138;
    ring[1] = 140;
    EXPECT_EQ(walker.Next(ring.data(), 6, 4, 8).positive, 5);  // t 4, 5
    EXPECT_EQ(walker.Next(ring.data(), 6, 4, 8).positive, 11); // t 6, 7
    EXPECT_EQ(walker.Cursor(), 8);
    // Fallen behind: only t 12 .. 13 are held; the column starts there (ring 0, 1).
    EXPECT_EQ(walker.Next(ring.data(), 6, 12, 14).positive, 11);
    EXPECT_EQ(walker.Cursor(), 14);
    // 16-bit stereo catches up on a whole frame: held from 13 means from 16.
    TTakeColumnWalker stereo({1, 1, 4}, true, 4);
    std::vector<uint8_t> frames(24, 0);
    frames[16] = 7; // take byte 16: the left sample of the fifth frame
    EXPECT_EQ(stereo.Next(frames.data(), 24, 13, 24).positive, 7);
    EXPECT_EQ(stereo.Cursor(), 20);
}

TEST(Waveform, TheTakesRedrawWaitAndItsRecordingMarker) {
    // One step's audio to the nearest ms at 176400 bytes a second, kept within 10 .. 100 ms.
    EXPECT_EQ(TakeRedrawWaitMs(3528, 176400), 20u);    // 20.000
    EXPECT_EQ(TakeRedrawWaitMs(3616, 176400), 20u);    // 20.499
    EXPECT_EQ(TakeRedrawWaitMs(3617, 176400), 21u);    // 20.504
    EXPECT_EQ(TakeRedrawWaitMs(1320, 176400), 10u);    // 7.48: no faster than 10 ms
    EXPECT_EQ(TakeRedrawWaitMs(264192, 176400), 100u); // 1497.7: never slower than 100 ms
    EXPECT_EQ(TakeRedrawWaitMs(0, 0), 10u);

    // 402 px, 400000 bytes: 1000 bytes a column. The recording marker at 150000 into the data
    // takes the start marker's place; the bands run from it to the selection end.
    TViewPositions p{500, 100000, 300000, true, 500 + 150000};
    TMarkerLayout m = MarkerLayout(p, 500, 400000, 402, 100, -1);
    EXPECT_TRUE(m.selStart.visible);
    EXPECT_EQ(m.selStart.left, 150);
    EXPECT_EQ(m.selEnd.left, 300);
    EXPECT_EQ(m.topBand.left, 151);
    EXPECT_EQ(m.topBand.width, 149);
    p.recordingMarker = -1; // the take is over: the selection start again
    EXPECT_EQ(MarkerLayout(p, 500, 400000, 402, 100, -1).selStart.left, 100);
    // Without a selection the recording marker still shows, alone.
    p = {500, 0, 0, false, 500 + 150000};
    m = MarkerLayout(p, 500, 400000, 402, 100, -1);
    EXPECT_TRUE(m.selStart.visible);
    EXPECT_EQ(m.selStart.left, 150);
    EXPECT_FALSE(m.selEnd.visible || m.topBand.visible || m.bottomBand.visible);
}
