#include "tests/track/TrackFixture.h"

#include "effects/FadeKernel.h"

#include <sys/stat.h>

namespace {

Bytes Samples16(const std::vector<int>& values) {
    Bytes b;
    for (int v : values)
        PutLE(b, static_cast<uint32_t>(static_cast<uint16_t>(v)), 2);
    return b;
}

} // namespace

TEST_F(TrackTest, DistortionRewritesOnlyTheSelectionAndLeavesAnUndoState) {
    const WAVEFORMATEX mono16 = MakePcmFormat(44100, 16, 1);
    // Prefix sample, then the selection, then a tail sample.
    const Bytes data = Samples16({30000, 16383, 16384, -20000, 32767, -32768, 100, 30000});
    OpenUserFile("a.wav", mono16, data);
    track->SetStartOffsetText("00:01.00000");
    Select(2, 14);
    track->EffectState = esRunning;
    Run([&] { track->StartDistortion(100, 50, 50, 100, 100); });
    // Band 16384..32767 -> +-16384; -32768 lies above the band and is stored as -32767.
    EXPECT_EQ(Working(), Samples16({30000, 16383, 16384, -16384, 16384, -32767, 100, 30000}));
    EXPECT_EQ(track->EffectState, esApplied);
    EXPECT_EQ(track->UndoNames.back(), "Distorting");
    EXPECT_EQ(track->PlayPosition, 88200 + 2);
    EXPECT_TRUE(track->HasSelection);
    EXPECT_EQ(track->SelStart, 2);

    // Undo brings the data back and the effect state to ready.
    track->Undo();
    track->WaitForWorker();
    EXPECT_EQ(Working(), data);
    EXPECT_EQ(track->EffectState, esReady);
}

TEST_F(TrackTest, EffectRunChunksAreInvisible) {
    // A fade over more than two chunks, and over exactly two (two full chunks and an empty
    // third), gives the bytes of one uninterrupted pass.
    for (const int32_t selection : {1048576 + 4002, 1048576}) {
        const Bytes data = Pattern(static_cast<std::size_t>(selection) + 400, selection);
        OpenUserFile("a.wav", cd, data);
        Select(200, 200 + selection);
        track->EffectState = esRunning;
        Run([&] { track->StartFade(150, 10); });
        Bytes expected = data;
        TFadeKernel whole(150, 10, selection, cd);
        whole.Process(expected.data() + 200, selection);
        EXPECT_EQ(Working(), expected) << selection;
        EXPECT_EQ(track->EffectState, esApplied);
        track->Undo();
        track->WaitForWorker();
    }
}

TEST_F(TrackTest, EmptySelectionChangesNothingButStillMakesAState) {
    const Bytes data = Pattern(4000);
    OpenUserFile("a.wav", cd, data);
    Select(1000, 1000);
    track->HasSelection = false;
    for (int i = 0; i < 2; ++i) {
        track->EffectState = esRunning;
        Run([&] {
            if (i == 0)
                track->StartFade(100, 0);
            else
                track->StartDistortion(0, 0, 0, 0, 0);
        });
        EXPECT_EQ(Working(), data);
        EXPECT_EQ(track->EffectState, esApplied);
    }
    EXPECT_EQ(track->UndoNames, (std::vector<std::string>{"Original", "Fading", "Distorting"}));
}

TEST_F(TrackTest, DelayIsPrimedFromTheAudioBeforeTheSelection) {
    // 8-bit mono 11025 Hz, total delay 10/10000 s: D = Round(11.025) = 11 samples. Dry 0,
    // wet 100, no feedback: the selection becomes the track delayed by 11 samples.
    const Bytes data = Pattern(1000, 5);
    OpenUserFile("a.wav", mono8, data);
    Select(100, 300);
    track->EffectState = esRunning;
    Run([&] { track->StartDelay(10, 0, 0, 100, 0, 10, 5); });
    Bytes expected = data;
    for (int i = 100; i < 300; ++i)
        expected[i] = data[i - 11];
    EXPECT_EQ(Working(), expected);
    EXPECT_EQ(track->PlayPosition, 100);
    EXPECT_EQ(track->UndoNames.back(), "Delaying");

    // At the track start the lines are silent: the first 11 samples become silence (128).
    track->Undo();
    track->WaitForWorker();
    Select(0, 50);
    track->EffectState = esRunning;
    Run([&] { track->StartDelay(10, 0, 0, 100, 0, 10, 5); });
    expected = data;
    for (int i = 0; i < 50; ++i)
        expected[i] = i < 11 ? 128 : data[i - 11];
    EXPECT_EQ(Working(), expected);
}

TEST_F(TrackTest, CancelledOrFailedEffectsLeaveEverythingAsBefore) {
    const Bytes data = Pattern(3 * 524288);
    const std::string user = OpenUserFile("a.wav", cd, data);
    int blocks = 0;
    view.onBlock = [&](int32_t) {
        if (++blocks == 2) track->Worker().Cancel();
    };
    Select(0, static_cast<int32_t>(data.size()));
    track->EffectState = esRunning;
    Run([&] { track->StartEqualizer(50, {100, 0, 0, 0, 0, 0, 0, 0, 0, 100}); });
    view.onBlock = nullptr;
    EXPECT_EQ(track->EffectState, esReady);
    EXPECT_TRUE(track->UndoFiles.empty());
    EXPECT_EQ(Working(), data);
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});

    {
        FileSizeLimit limit(800000);
        track->EffectState = esRunning;
        Run([&] { track->StartFade(0, 100); });
    }
    EXPECT_EQ(track->EffectState, esReady);
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "MMIOWrite. data "));
    EXPECT_TRUE(track->UndoFiles.empty());
    EXPECT_EQ(track->FileName, user);
    EXPECT_EQ(Working(), data);
}

// The effect's data is written but the state file cannot be finished (its pad byte is the
// write the disk refuses): the effect was not kept, so the dialog must not offer to undo it;
// that undo would drop the user's previous change.
TEST_F(TrackTest, AnEffectWhoseStateCannotBeFinishedIsNotOfferedForUndo) {
    OpenUserFile("a.wav", mono8, Pattern(1001, 3)); // odd: the state ends on a pad byte
    Select(0, 500);
    Run([&] { track->Clear(); });
    const Bytes cleared = Working();
    struct stat st {};
    ASSERT_EQ(::stat(track->FileName.c_str(), &st), 0);
    ASSERT_EQ(st.st_size % 2, 0);
    Select(600, 900);
    track->EffectState = esRunning;
    {
        FileSizeLimit limit(static_cast<rlim_t>(st.st_size - 1));
        Run([&] { track->StartFade(0, 100); });
    }
    EXPECT_EQ(track->EffectState, esReady);
    EXPECT_EQ(track->UndoNames, (std::vector<std::string>{"Original", "Clearing"}));
    EXPECT_EQ(Working(), cleared);
    EXPECT_EQ(track->TrackState(), tsReady);
}

// A refused start leaves the dialog able to try again: EffectState back at 1, the track
// announced so that the dialog refreshes, and the starter says it did not start.
TEST_F(TrackTest, RefusedEffectStartsAreAnnouncedAndLeaveTheDialogReady) {
    track->EffectState = esRunning;
    int before = owner.stateChanges;
    EXPECT_FALSE(track->StartFade(0, 100)); // an empty track is not Ready
    EXPECT_EQ(track->EffectState, esReady);
    EXPECT_GT(owner.stateChanges, before);

    OpenUserFile("a.wav", cd, Pattern(4000));
    track->SelStart = 0;
    track->SelEnd = 8000; // beyond the data
    track->EffectState = esRunning;
    before = owner.stateChanges;
    EXPECT_FALSE(track->StartDistortion(100, 50, 50, 100, 100));
    EXPECT_EQ(track->EffectState, esReady);
    EXPECT_GT(owner.stateChanges, before);
    EXPECT_TRUE(sink.SawPrefix(kMsgRefusal, "The selection must lie inside the data"));
    EXPECT_TRUE(track->UndoFiles.empty());

    Select(0, 4000);
    track->EffectState = esRunning;
    EXPECT_TRUE(track->StartEqualizer(100, {}));
    track->WaitForWorker();
    EXPECT_EQ(track->EffectState, esApplied);
}
