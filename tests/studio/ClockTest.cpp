// The Studio's clock loop and the song-wide transport over tracks on the hand-driven device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "studio/core/SoundSetup.h"
#include "studio/core/StudioClock.h"
#include "studio/core/Transport.h"
#include "tests/track/PlaybackDoubles.h"
#include "tests/track/TrackFixture.h"
#include "track/PlaybackState.h"

namespace {

template <typename F> bool WaitFor(F done) {
    for (int i = 0; i < 20000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

} // namespace

TEST(StudioClockTest, TicksOncePerReleaseStopsOnRequestAndReportsAFailedWait) {
    RecordingSink sink;
    {
        TStudioClock clock(sink);
        std::atomic<int> ticks{0};
        ASSERT_TRUE(clock.Start([&] { ++ticks; }));
        EXPECT_FALSE(clock.Start([] {}));                                // one loop at a time
        ASSERT_TRUE(WaitFor([&] { return clock.PendingTicks() == 0; })); // took the first count
        clock.Tick();
        ASSERT_TRUE(WaitFor([&] { return ticks == 1; }));
        clock.Tick();
        ASSERT_TRUE(WaitFor([&] { return ticks == 2; }));
        clock.Stop(); // the wake-up for the stop runs no tick
        EXPECT_FALSE(clock.Running());
        EXPECT_EQ(ticks, 2);
        EXPECT_TRUE(sink.lines.empty());
        // Started again (as around reading a song) and stopped before its first tick: the
        // count is gone, so the stop's release ends the first wait, and the loop must end.
        ASSERT_TRUE(clock.Start([&] { ++ticks; }));
        clock.Stop();
        EXPECT_FALSE(clock.Running());
        EXPECT_EQ(ticks, 2);
    }
    // A wait that runs out ends the loop with the semaphore's text, as an error.
    TStudioClock clock(sink, 5);
    std::atomic<bool> failed{false};
    ASSERT_TRUE(clock.Start([] {}, [&] { failed = true; }));
    ASSERT_TRUE(WaitFor([&] { return failed.load(); }));
    EXPECT_TRUE(sink.Saw(kMsgError, "WaitForSingleObject 258"));
    clock.Stop();
    EXPECT_FALSE(clock.Running());
}

TEST(SoundSetupTest, ChoosesBySavedNameAndReportsEveryFailure) {
    RecordingSink sink;
    const WAVEFORMATEX cd = MakePcmFormat(44100, 16, 2);
    std::vector<TSoundDevice> devices = {{"", "Default"}, {"b", "Second"}};
    std::string created;
    HRESULT createResult = DS_OK;
    TSoundSetup setup(
        sink, [&] { return devices; },
        [&](const std::string& id, std::unique_ptr<TSoundOutputDevice>& out) {
            created = id;
            if (createResult == DS_OK) out = std::make_unique<TFaultyDevice>();
            return createResult;
        });
    ASSERT_TRUE(setup.Initialise("Second", cd));
    EXPECT_EQ(created, "b");
    EXPECT_TRUE(sink.Saw(kMsgStatus, "Second Initialized {16 bit Stereo @44100Hz)"));
    ASSERT_TRUE(setup.Initialise("Gone", MakePcmFormat(22050, 8, 1)));
    EXPECT_EQ(created, "");
    EXPECT_TRUE(sink.Saw(kMsgStatus, "Default Initialized {8 bit Mono @22050Hz)"));

    WAVEFORMATEX bad = cd;
    bad.wBitsPerSample = 12;
    EXPECT_FALSE(setup.Initialise("Default", bad));
    EXPECT_TRUE(sink.Saw(kMsgError, "SetFormat. The specified wave format is not supported."));
    createResult = DSERR_NODRIVER;
    EXPECT_FALSE(setup.Initialise("Default", cd));
    EXPECT_EQ(setup.Device(), nullptr);
    EXPECT_TRUE(sink.Saw(kMsgError,
                         "Default DirectSoundCreate Fails. No sound driver is available for use, "
                         "or the given GUID is not a valid DirectSound device ID."));
    devices.clear();
    EXPECT_FALSE(setup.Initialise("Default", cd));
    EXPECT_TRUE(sink.Saw(kMsgError, "No DirectSound devices"));
}

class TransportTest : public TrackTest {
  protected:
    void SetUp() override {
        TrackTest::SetUp();
        second = std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock);
        track->SetSoundDevice(&device, cd);
        second->SetSoundDevice(&device, cd);
    }
    void TearDown() override {
        second.reset();
        TrackTest::TearDown();
    }
    TFaultyDevice device;
    std::unique_ptr<TVelTrack> second;
};

TEST_F(TransportTest, PlayAllSkipsMutedAndStopAllStopsEveryoneAtOnePosition) {
    OpenUserFile("a.wav", cd, Pattern(5 * 176400));
    // The second track: 22050 Hz mono 16-bit, 5 s.
    const WAVEFORMATEX mono16 = MakePcmFormat(22050, 16, 1);
    WriteFile(userDir + "/b.wav", WaveBytes(mono16, Pattern(5 * 44100)));
    second->FileName = userDir + "/b.wav";
    second->Reopen();
    second->WaitForWorker();
    TVelTrack empty(owner, sink, view, clipboard, &fileLock);

    std::vector<TTransportTrack> tracks = {
        {track.get(), false}, {second.get(), true}, {&empty, false}};
    EXPECT_TRUE(Participating(tracks[0]));
    EXPECT_FALSE(Participating(tracks[1]));
    EXPECT_FALSE(Participating(tracks[2]));
    PlayAll(tracks);
    EXPECT_EQ(track->TrackState(), tsPlaying);
    EXPECT_EQ(second->TrackState(), tsReady);

    tracks[1].muted = false;
    StopAll(tracks);
    track->WaitForWorker();
    PlayAll(tracks);
    ASSERT_EQ(second->TrackState(), tsPlaying);
    device.virtualDevice.Advance(44100); // 1 s
    UpdatePlayingTracks(tracks);
    EXPECT_EQ(track->PlayPosition, 1 + 176400);
    EXPECT_EQ(second->PlayPosition, 1 + 44100);

    // Both stop at the first track's time: 176401 bytes are "00:01.00001", which is 44100
    // bytes of the second format, whose own text ("00:01.00000") comes back last.
    EXPECT_EQ(StopAll(tracks), "00:01.00000");
    track->WaitForWorker();
    second->WaitForWorker();
    EXPECT_EQ(track->PlayPosition, 176400);
    EXPECT_EQ(second->PlayPosition, 44100);
    EXPECT_EQ(StopAll(tracks), "-1"); // nothing plays

    // Sync takes the first track's time to the second; Rewind all cues everyone at 0.
    track->Cue(352800); // 2 s
    SyncTracks(tracks, *track);
    EXPECT_EQ(second->PlayPosition, 88200);
    RewindAll(tracks);
    EXPECT_EQ(track->PlayPosition, 0);
    EXPECT_EQ(second->PlayPosition, 0);
}
