// The combine's sequence from the confirmed dialog to its end, on real tracks and a host that
// records what the main window would have done, in order, beside the panel's messages.
#include <string>
#include <vector>

#include "studio/core/CombinePlan.h"
#include "studio/core/SongWindows.h"
#include "tests/track/TrackFixture.h"

namespace {

// The window's side of a combine, as one ordered log with the messages the sequence reports.
struct FakeHost : TCombineHost, TMessageSink {
    std::vector<std::string> log;
    std::function<bool()> makeTarget = [] { return true; };
    TStudioMode mode = TStudioMode::Idle;

    void SetMode(TStudioMode m) override {
        mode = m;
        log.push_back("mode " + std::to_string(int(m)));
    }
    void RefreshControls() override { log.push_back("refresh"); }
    bool MakeTarget() override {
        log.push_back("make");
        return makeTarget();
    }
    void EnableStop() override { log.push_back("stop on"); }
    void SetTargetStart(const std::string& t) override { log.push_back("start " + t); }
    void SetTargetCaption(const std::string& c) override { log.push_back("caption " + c); }
    void ShowPreviousWindow() override { log.push_back("back"); }
    void CloseTarget() override { log.push_back("close"); }
    void ForgetTarget() override { log.push_back("forget"); }
    void AddMessage(uint8_t kind, const std::string& text) override {
        log.push_back(std::to_string(kind) + ":" + text);
    }
    std::vector<std::string> Take() { return std::exchange(log, {}); }
};

struct Box {
    RecordingOwner owner;
    THeadlessTrackView view;
    std::unique_ptr<TVelTrack> track;
};

using Log = std::vector<std::string>;

class CombinePlanTest : public TrackTest {
  protected:
    TVelTrack& Source(const std::string& name, const WAVEFORMATEX& f, const Bytes& data,
                      const std::string& start) {
        auto box = std::make_unique<Box>();
        box->track = std::make_unique<TVelTrack>(box->owner, sink, box->view, clipboard, &fileLock);
        const std::string path = userDir + "/" + name;
        WriteFile(path, WaveBytes(f, data));
        TVelTrack& t = *box->track;
        t.FileName = path;
        t.Reopen();
        t.WaitForWorker();
        EXPECT_EQ(t.TrackState(), tsReady);
        t.SetStartOffsetText(start);
        boxes.push_back(std::move(box));
        return t;
    }
    // The window's MakeTarget: the fixture's track becomes the new, empty target, loading.
    void MakeTargetTrack() {
        track->NewTrack(cd, "00:00.00000");
        track->Reopen();
    }
    void Poll(const std::vector<TVelTrack*>& unmuted) {
        PollCombine(host.mode, track.get(), unmuted, host, host);
    }

    FakeHost host;
    std::vector<std::unique_ptr<Box>> boxes;
};

} // namespace

TEST(CombineSpanTest, TimeTextOfTheSpan) {
    EXPECT_EQ(CombineTimeText(0), "00:00.00000");
    EXPECT_EQ(CombineTimeText(75.5L), "01:15.50000");
    EXPECT_EQ(CombineTimeText(5999.99999L), "99:59.99999");
    EXPECT_EQ(CombineTimeText(5999.999996L), std::nullopt); // rounds to 100 minutes
    EXPECT_EQ(CombineTimeText(-0.00001L), std::nullopt);
}

TEST_F(CombinePlanTest, AConfirmedCombineMakesItsTargetStartsOnReadyAndEndsOnReadyAgain) {
    // a: 1 s of 44100 Hz 16-bit stereo at 0.5 s; b: 2205 bytes of 11025 Hz 8-bit mono (0.2 s)
    // at 0.2 s. earliest = 0.2 s, latest = 0.5 + 1 = 1.5 s, so the length is 1.3 s.
    TVelTrack& a = Source("a.wav", cd, Pattern(176400), "00:00.50000");
    TVelTrack& b = Source("b.wav", MakePcmFormat(11025, 8, 1), Bytes(2205, 160), "00:00.20000");

    host.makeTarget = [&] {
        MakeTargetTrack();
        return true;
    };
    EXPECT_TRUE(ConfirmCombine(host, host));
    EXPECT_EQ(host.Take(), (Log{"mode 4", "refresh", "2:Making New Track", "make"}));

    // While the target loads, the clock waits. The load may be over already, so the state is
    // held at Loading only once the worker is done, and given back afterwards.
    track->WaitForWorker();
    ASSERT_EQ(track->TrackState(), tsReady);
    track->SetState(tsLoading);
    Poll({&a, &b, track.get()});
    EXPECT_TRUE(host.log.empty());
    track->SetState(tsReady);

    // Ready: the target, an unmuted window itself, is no source of its own mix.
    Poll({&a, track.get(), &b});
    EXPECT_EQ(host.Take(), (Log{"stop on", "mode 5", "6:Adding Tracks", "start 00:00.20000"}));
    EXPECT_EQ(track->StartOffsetText, "00:00.20000");
    track->WaitForWorker();
    EXPECT_EQ(a.TrackState(), tsReady);
    EXPECT_EQ(b.TrackState(), tsReady);
    // 1.3 s of 44100 Hz stereo frames of 4 bytes: 57330 x 4.
    EXPECT_EQ(track->DataLength, 229320);

    Poll({&a, track.get(), &b});
    EXPECT_EQ(host.Take(), (Log{"mode 0", "forget", "7:Adding Tracks", "refresh"}));
    // Outside the two combine modes the clock's poll leaves the target alone.
    Poll({&a, track.get(), &b});
    EXPECT_TRUE(host.log.empty());
}

TEST_F(CombinePlanTest, ACancelledCombineClosesItsTarget) {
    TVelTrack& a = Source("a.wav", cd, Pattern(3 * 524288 / 2), "00:00.00000");
    MakeTargetTrack();
    track->WaitForWorker();
    host.mode = TStudioMode::CombinePreparing;
    // The user's Stop all lands while the second chunk is mixed.
    view.onBlock = [&](int32_t position) {
        if (position >= 524288) track->Worker().Cancel();
    };
    Poll({&a});
    track->WaitForWorker();
    view.onBlock = nullptr;
    ASSERT_EQ(track->TrackState(), tsClosing);
    host.Take();
    Poll({&a});
    EXPECT_EQ(host.Take(), (Log{"7:Adding Tracks", "5: ... Action Cancelled", "mode 0",
                                "caption Closing...", "back", "close", "forget"}));
    EXPECT_EQ(a.TrackState(), tsReady);
}

TEST_F(CombinePlanTest, ACombineThatCannotGoOnNeverHoldsTheWindowInPreparing) {
    // No caption left for a target: the preparing mode is left at once.
    host.makeTarget = [] { return false; };
    EXPECT_FALSE(ConfirmCombine(host, host));
    EXPECT_EQ(host.Take(), (Log{"mode 4", "refresh", "2:Making New Track", "make",
                                "5: ... Action Cancelled", "mode 0", "refresh"}));

    // A target whose working file could not be made never becomes Ready: it is closed.
    host.mode = TStudioMode::CombinePreparing;
    track->SetState(tsEmpty);
    Poll({});
    EXPECT_EQ(host.Take(), (Log{"5: ... Action Cancelled", "mode 0", "caption Closing...", "back",
                                "close", "forget"}));

    // A Ready target with nothing to mix (every other track muted meanwhile): it starts and
    // ends at once the cancelled way, and its track is never started.
    MakeTargetTrack();
    track->WaitForWorker();
    host.mode = TStudioMode::CombinePreparing;
    Poll({track.get()});
    EXPECT_EQ(host.Take(), (Log{"stop on", "mode 5", "6:Adding Tracks", "7:Adding Tracks",
                                "5: ... Action Cancelled", "mode 0", "caption Closing...", "back",
                                "close", "forget"}));
    EXPECT_EQ(track->TrackState(), tsReady);

    // The target's window went away: the mode goes idle in either combine mode.
    for (TStudioMode m : {TStudioMode::CombinePreparing, TStudioMode::Combining}) {
        host.mode = m;
        PollCombine(host.mode, nullptr, {}, host, host);
        EXPECT_EQ(host.Take(), (Log{"mode 0", "forget", "refresh"}));
    }
}

TEST_F(CombinePlanTest, PlanSpansTheUnmutedTracks) {
    TVelTrack& a = Source("a.wav", MakePcmFormat(8000, 16, 1), Bytes(32000, 0), "00:03.00000");
    TVelTrack& b = Source("b.wav", MakePcmFormat(8000, 8, 1), Bytes(4000, 128), "00:01.25000");
    // a: 3 s + 2 s; b: 1.25 s + 0.5 s: from 1.25 s to 5 s.
    TCombinePlan plan = PlanCombine({&a, nullptr, &b}, nullptr);
    EXPECT_EQ(plan.sources, (std::vector<TVelTrack*>{&a, &b}));
    EXPECT_EQ(plan.startText, "00:01.25000");
    EXPECT_EQ(plan.lengthText, "00:03.75000");
    plan = PlanCombine({}, nullptr);
    EXPECT_FALSE(plan.Valid());
    EXPECT_EQ(plan.earliestSeconds, 10000);
    EXPECT_EQ(plan.latestSeconds, 0);
    // A span beyond what time text holds leaves no plan: 0 s to 99:59 + 2 s.
    a.SetStartOffsetText("99:59.00000");
    EXPECT_TRUE(PlanCombine({&a}, nullptr).Valid());
    b.SetStartOffsetText("00:00.00000");
    EXPECT_FALSE(PlanCombine({&a, &b}, nullptr).Valid());
}

TEST_F(CombinePlanTest, SongChildOfReadsTheTrack) {
    // A song track whose file is missing: an empty track, still written under its path.
    track->FileName = userDir + "/gone.wav";
    track->Reopen();
    ASSERT_EQ(track->TrackState(), tsEmpty);
    const TSongChild child = SongChildOf(*track, true, false, -20, 30, "00:02.00000");
    EXPECT_TRUE(child.isTrackWindow);
    EXPECT_TRUE(child.emptyTrack);
    EXPECT_FALSE(child.changing);
    EXPECT_EQ(child.waveFileName, userDir + "/gone.wav");
    EXPECT_EQ(child.state.fileName, UpperCasePath(userDir + "/gone.wav"));
    EXPECT_TRUE(child.state.muted);
    EXPECT_EQ(child.state.pan, -20);
    EXPECT_EQ(child.state.volume, 30);
    EXPECT_EQ(child.state.offset, "00:02.00000");
    // A new track lives in its working file only: nothing to write, and not empty.
    MakeTargetTrack();
    track->WaitForWorker();
    const TSongChild fresh = SongChildOf(*track, false, false, 0, 0, "00:00.00000");
    EXPECT_FALSE(fresh.emptyTrack);
    EXPECT_EQ(fresh.waveFileName, "");
    EXPECT_EQ(fresh.state.fileName, UpperCasePath(track->FileName));
}
