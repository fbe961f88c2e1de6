// The waits between the user-interface thread and a track's worker, with an owner, a sink and a
// clipboard that block the worker the way a window's boxes and clipboard do: wherever the
// user-interface thread must wait for the worker, the worker is let go first, so neither waits
// for the other. A deadlock ends the program with a message (FinishesWithin).
#include "studio/core/StudioClock.h"
#include "tests/common/BlockingUi.h"
#include "tests/track/TrackFixture.h"

using namespace blockingui;

namespace {

class ThreadContractTest : public TrackTest {
  protected:
    // A track of the blocking window, opened from a user file and ready.
    std::unique_ptr<TVelTrack> WindowTrack(const Bytes& data) {
        auto t = std::make_unique<TVelTrack>(windowOwner, windowSink, view, windowClipboard,
                                             &fileLock);
        const std::string path = userDir + "/window.wav";
        WriteFile(path, WaveBytes(cd, data));
        t->FileName = path;
        t->Reopen();
        ui.Pump(); // the load's messages are plain ones: nothing waits
        t->WaitForWorker();
        EXPECT_EQ(t->TrackState(), tsReady);
        return t;
    }

    TTestUiThread ui;
    TUiCallGate gate{ui.Poster(), ui.Checker()};
    TBlockingOwner windowOwner{gate};
    TBlockingSink windowSink{gate};
    TGatedClipboard windowClipboard{gate};
};

} // namespace

TEST_F(ThreadContractTest, ClosingATrackWhoseWorkerShowsAnErrorBox) {
    auto t = WindowTrack(Pattern(40000));
    windowOwner.transferChoice = userDir + "/missing.wav";
    ASSERT_TRUE(t->InsertFrom()); // the worker cannot open the file: an error box
    ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == 1; }));
    FinishesWithin(20, "closing the track", [&] { t.reset(); });
    EXPECT_TRUE(windowSink.SawPrefix(kMsgError, "MMIOOpen. "));
    EXPECT_EQ(windowOwner.releases, 1);
    EXPECT_EQ(ui.Pump(), 1); // the box's call was dropped, so running it does nothing
}

TEST_F(ThreadContractTest, ClosingATrackWhoseWorkerWaitsForTheClipboard) {
    auto t = WindowTrack(Pattern(40000));
    t->SelStart = 0;
    t->SelEnd = 20000;
    t->SetHasSelection(true);
    t->Copy();
    ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == 1; }));
    FinishesWithin(20, "closing the track", [&] { t.reset(); });
    ui.Pump();
    EXPECT_FALSE(windowClipboard.inner.HoldsWave());
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
}

TEST_F(ThreadContractTest, StartingACombineWhileTheTargetsWorkerWaits) {
    OpenUserFile("source.wav", cd, Pattern(40000, 4));
    auto target = WindowTrack(Pattern(40000));
    target->SelStart = 0;
    target->SelEnd = 4000;
    target->SetHasSelection(true);
    target->Copy(); // waits for the clipboard on the user-interface thread
    ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == 1; }));
    FinishesWithin(20, "starting the combine",
                   [&] { target->StartCombine("00:00.00000", "00:00.10000", {track.get()}); });
    EXPECT_TRUE(gate.Held()); // calls wait for their answers again once the wait is over
    target->WaitForWorker();
    EXPECT_EQ(target->TrackState(), tsReady);
    EXPECT_EQ(target->DataLength, 17640); // a tenth of a second of 44100 Hz 16-bit stereo
}

TEST_F(ThreadContractTest, StoppingTheClockWhileATickWaitsForTheUserInterfaceThread) {
    TStudioClock clock(windowSink);
    clock.SetUiGate(&gate);
    std::atomic<int> ticks{0};
    std::atomic<int> answered{0};
    ASSERT_TRUE(clock.Start([&] {
        ++ticks;
        if (gate.Call([] {})) ++answered; // e.g. refreshing the main window's controls
    }));
    // The loop's first wait takes the initial count; ticks before it are merged into it.
    const auto tickUntilWaiting = [&] {
        return WaitUntil([&] {
            clock.Tick();
            return gate.Waiting() == 1;
        });
    };
    ASSERT_TRUE(tickUntilWaiting());
    ui.Pump(); // one turn of the event loop answers the first tick
    ASSERT_TRUE(WaitUntil([&] { return answered == 1; }));
    ASSERT_TRUE(tickUntilWaiting());
    FinishesWithin(20, "stopping the clock", [&] { clock.Stop(); });
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(answered, 1);
}

// The gate itself: a released worker leaves at once and its queued call never runs; a call
// already running finishes on the user-interface thread and writes only its own answer block.
TEST_F(ThreadContractTest, AReleasedCallIsDroppedAndARunningOneFinishesAlone) {
    std::atomic<int> ran{0};
    std::optional<int> answer;
    std::thread worker([&] { answer = gate.Ask<int>([&] { return ++ran, 7; }); });
    ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == 1; }));
    gate.Release();
    worker.join();
    EXPECT_FALSE(answer.has_value());
    bool late = true;
    std::thread([&] { late = gate.Call([] {}); }).join(); // released: no waiting, no queueing
    EXPECT_FALSE(late);
    EXPECT_EQ(ui.Pump(), 1);
    EXPECT_EQ(ran, 0);

    gate.Hold();
    std::thread second([&] { answer = gate.Ask<int>([] { return 8; }); });
    ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == 1; }));
    EXPECT_EQ(ui.Pump(), 1);
    second.join();
    EXPECT_EQ(answer, 8);
    EXPECT_TRUE(gate.Call([&] { ++ran; })); // on the user-interface thread: at once
    EXPECT_EQ(ran, 1);
}
