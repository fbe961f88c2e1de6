#include "tests/track/TrackFixture.h"

#include "effects/FadeKernel.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

void WaitFor(const std::atomic<bool>& flag) {
    while (!flag)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

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

// The dialog may close (EffectState 0) while its effect still runs. However the run ends, kept,
// cancelled or refused, the track must stay at 0: at 1 or 2 with no dialog its edits would
// stay disabled for good.
TEST_F(TrackTest, TheDialogClosingDuringARunLeavesNoEffectStateBehind) {
    const Bytes data = Pattern(3 * 524288, 4);
    OpenUserFile("a.wav", cd, data);
    Select(0, 4000);
    Run([&] { track->Copy(); }); // Insert and Paste need a wave on the clipboard
    Select(0, static_cast<int32_t>(data.size()));
    std::atomic<bool> held{false}, release{false};
    view.onBlock = [&](int32_t) {
        held = true;
        WaitFor(release);
    };
    const auto editsEnabled = [&] {
        std::string off;
        for (const TMenuItem& item : track->PopupMenu())
            for (const char* edit : {"Cut", "Clear", "Delete", "Insert", "Paste"})
                if (item.caption == edit && !item.enabled) off += edit;
        return off;
    };
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel);
        held = release = false;
        track->EffectState = esRunning;
        ASSERT_TRUE(track->StartFade(100, 0));
        WaitFor(held);
        track->EffectState = esNoDialog; // the dialog closes under the run
        if (cancel) track->Worker().Cancel();
        release = true;
        track->WaitForWorker();
        EXPECT_EQ(track->EffectState, esNoDialog);
        EXPECT_EQ(track->UndoNames.size(), 2u); // the first run kept, the cancelled one not
        EXPECT_EQ(editsEnabled(), "");
    }
    view.onBlock = nullptr;
    // A start refused at once, with no dialog open, leaves no dialog state either.
    track->SelEnd = static_cast<int32_t>(data.size()) + 4;
    EXPECT_FALSE(track->StartFade(100, 0));
    EXPECT_EQ(track->EffectState, esNoDialog);
    EXPECT_EQ(editsEnabled(), "");
}

// The dialog's Undo (EffectState 3 first) while the track is not between jobs, as after a
// refresh that came too late, is refused and leaves the effect applied, so that the dialog
// offers Undo and Cancel again rather than only OK; once the track is Ready it goes through.
TEST_F(TrackTest, ARefusedDialogUndoLeavesTheEffectApplied) {
    const Bytes data = Pattern(40000, 6);
    OpenUserFile("a.wav", cd, data);
    Select(1000, 9000);
    track->EffectState = esRunning;
    Run([&] { track->StartFade(0, 100); });
    ASSERT_EQ(track->EffectState, esApplied);
    const Bytes faded = Working();
    std::atomic<bool> held{false}, release{false};
    sink.onMessage = [&](int kind, const std::string& text) {
        if (kind != kMsgStart || text.rfind("Reading", 0) != 0) return;
        held = true;
        WaitFor(release);
    };
    track->ChooseMenuItem("Fast Refresh");
    WaitFor(held);
    track->EffectState = esRunning;
    const int before = owner.stateChanges;
    EXPECT_FALSE(track->UndoTo(static_cast<int>(track->UndoFiles.size()) - 1));
    EXPECT_EQ(track->EffectState, esApplied);
    EXPECT_GT(owner.stateChanges, before);
    release = true;
    track->WaitForWorker();
    sink.onMessage = nullptr;
    EXPECT_EQ(track->UndoNames.size(), 2u);
    EXPECT_EQ(Working(), faded);

    track->EffectState = esRunning;
    EXPECT_TRUE(track->UndoTo(static_cast<int>(track->UndoFiles.size()) - 1));
    EXPECT_EQ(track->EffectState, esReady);
    track->WaitForWorker();
    EXPECT_EQ(Working(), data);
    EXPECT_TRUE(track->HasSelection); // kept for the next effect
}
