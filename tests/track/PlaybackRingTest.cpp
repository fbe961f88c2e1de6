// The chunk ring on the hand-driven device: the test is the clock (advance the device, update
// the position) and wakes the feeder itself, so every step is deterministic.
#include <chrono>
#include <future>
#include <thread>

#include "studio/core/Transport.h"
#include "tests/track/PlaybackDoubles.h"
#include "tests/track/TrackFixture.h"
#include "track/PlaybackState.h"

namespace {

constexpr uint32_t kHalfSecondFrames = 22050; // 44100 Hz
constexpr int32_t kCdChunk = 88200;           // 176400 bytes per second / 2

Bytes Samples16(const std::vector<int>& values) {
    Bytes b;
    for (int v : values)
        PutLE(b, static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
    return b;
}

class PlaybackRingTest : public TrackTest {
  protected:
    void SetUp() override {
        TrackTest::SetUp();
        track->SetSoundDevice(&device, cd);
    }
    const TPlaybackState& Ring() { return *track->Playback(); }
    uint8_t Status(int chunk) { return Ring().chunks[chunk].status; }
    std::vector<int> Statuses() {
        std::vector<int> s;
        for (int i = 1; i <= 8; ++i)
            s.push_back(Status(i));
        return s;
    }
    // One clock tick after the listener heard `frames` more output frames.
    void Advance(uint32_t frames) {
        device.virtualDevice.Advance(frames);
        track->UpdatePlayPosition();
    }
    // Wakes the feeder and waits until it has serviced the chunks once more.
    void Service() {
        const uint32_t before = Ring().serviceRounds;
        track->Semaphore().Release();
        for (int i = 0; i < 20000 && Ring().serviceRounds == before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_NE(Ring().serviceRounds, before) << "the feeder never woke";
    }
    void Finish() {
        Service();
        track->WaitForWorker();
    }
    Bytes Played() { return device.virtualDevice.TakePlayed(); }

    TFaultyDevice device;
};

} // namespace

TEST_F(PlaybackRingTest, ChunkTableAndCueFillTheWholeRing) {
    OpenUserFile("a.wav", cd, Pattern(5 * 176400));
    const TPlaybackState& ring = Ring();
    EXPECT_EQ(ring.bufferSize, 8u * kCdChunk);
    EXPECT_EQ(ring.chunks[0].start, 0u);
    EXPECT_EQ(ring.chunks[0].size, 5u * 176400);
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(ring.chunks[i].start, static_cast<uint32_t>((i - 1) * kCdChunk));
        EXPECT_EQ(ring.chunks[i].size, static_cast<uint32_t>(kCdChunk));
        EXPECT_EQ(ring.chunks[i].endPosition, i * kCdChunk);
    }
    EXPECT_EQ(Statuses(), std::vector<int>(8, csFilled));
    EXPECT_EQ(ring.endPosition, 5 * 176400);
    EXPECT_EQ(device.faults.buffersCreated, 1);

    // 11025 Hz mono 8-bit: 11025 / 2 = 5512 bytes a chunk (integer halving).
    OpenUserFile("b.wav", mono8, Bytes(3000, 128));
    EXPECT_EQ(Ring().chunks[8].start, 7u * 5512);
    EXPECT_EQ(Ring().bufferSize, 8u * 5512);
    // 3000 bytes: chunk 1 holds them all, the others are stop chunks.
    EXPECT_EQ(Statuses(), (std::vector<int>{1, 4, 4, 4, 4, 4, 4, 4}));

    // Odd positions are lowered to even; the ring's fill follows the position.
    track->Cue(3001);
    EXPECT_EQ(track->PlayPosition, 3000);
    EXPECT_EQ(Statuses(), std::vector<int>(8, csSilenceOnly));
}

TEST_F(PlaybackRingTest, PlaysTheDataByteExactRefillingInRingOrderAndCuesBack) {
    const Bytes data = Pattern(5 * 176400, 7);
    OpenUserFile("a.wav", cd, data);
    track->Play();
    ASSERT_EQ(track->TrackState(), tsPlaying);
    EXPECT_EQ(track->PlayPosition, 1); // a position on a boundary belongs to the stretch after

    Advance(11025);
    EXPECT_EQ(track->PlayPosition, 1 + 44100);
    Service();
    EXPECT_EQ(Statuses(), (std::vector<int>{2, 1, 1, 1, 1, 1, 1, 1}));

    // The cursor on the start of chunk 3: chunks 1 and 2 are played; 1 is refilled with the
    // data after the ring, 2 waits because the chunk after it is playing.
    Advance(3 * 11025);
    EXPECT_EQ(track->PlayPosition, 1 + 176400);
    Service();
    EXPECT_EQ(Statuses(), (std::vector<int>{1, 3, 2, 1, 1, 1, 1, 1}));
    EXPECT_EQ(Ring().chunks[1].endPosition, 9 * kCdChunk);

    // Half-second steps across the ring's wrap: the position keeps counting.
    for (int step = 0; step < 6; ++step) {
        Advance(kHalfSecondFrames);
        Service();
    }
    EXPECT_EQ(track->PlayPosition, 1 + 176400 + 6 * kCdChunk);
    EXPECT_EQ(Ring().playCursor, static_cast<uint32_t>((2 + 6) % 8 * kCdChunk));
    Advance(kHalfSecondFrames);
    EXPECT_EQ(track->PlayPosition, 1 + 176400 + 7 * kCdChunk);
    Service();

    // Past the end the position stops at end + 1, and the play ends at the next wake-up.
    Advance(2 * kHalfSecondFrames);
    EXPECT_EQ(track->PlayPosition, 5 * 176400 + 1);
    ASSERT_EQ(track->TrackState(), tsPlaying);
    Finish();
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->PlayPosition, 0);
    EXPECT_FALSE(sink.Saw(kMsgStatus, "Stop Using Stop Chunk"));
    EXPECT_FALSE(sink.SawPrefix(kMsgError, ""));

    const Bytes played = Played();
    ASSERT_GE(played.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), played.begin()));
    EXPECT_TRUE(
        std::all_of(played.begin() + data.size(), played.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(PlaybackRingTest, StopsAtSelectionBoundariesAndCuesBackToWhereTheStretchBegan) {
    const Bytes data = Pattern(5 * 176400, 3);
    OpenUserFile("a.wav", cd, data);
    Select(176400, 352800); // 1 s .. 2 s

    // From before the selection: plays up to its start, comes back to the data's start.
    track->Cue(0);
    EXPECT_EQ(Ring().endPosition, 176400);
    EXPECT_EQ(Statuses(), (std::vector<int>{1, 1, 4, 4, 4, 4, 4, 4}));
    track->Play();
    Advance(kHalfSecondFrames);
    Service();
    Advance(kHalfSecondFrames);
    Finish();
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->PlayPosition, 0);
    Bytes played = Played();
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 176400, played.begin()));

    // Exactly on the selection start: plays the selection, comes back to its start.
    track->Cue(176400);
    track->Play();
    EXPECT_EQ(Ring().endPosition, 352800);
    EXPECT_EQ(Ring().returnPosition, 176400);
    Advance(kHalfSecondFrames);
    Service();
    Advance(kHalfSecondFrames);
    Finish();
    EXPECT_EQ(track->PlayPosition, 176400);
    played = Played();
    EXPECT_TRUE(std::equal(data.begin() + 176400, data.begin() + 352800, played.begin()));
    EXPECT_FALSE(sink.Saw(kMsgStatus, "Stop Using Stop Chunk"));

    // From inside: stops at its end, back to its start. From after it: to the data's end.
    track->Cue(200000);
    EXPECT_EQ(track->NextBoundary(), 352800);
    EXPECT_EQ(track->PreviousBoundary(), 176400);
    track->Cue(400000);
    EXPECT_EQ(track->NextBoundary(), 5 * 176400);
    EXPECT_EQ(track->PreviousBoundary(), 352800);
}

TEST_F(PlaybackRingTest, ClosingAPlayingTrackStopsItsSoundAndEndsItsFeeder) {
    OpenUserFile("a.wav", cd, Pattern(20 * 176400, 5));
    track->Cue(0);
    track->Play();
    Advance(kHalfSecondFrames);
    Service();
    ASSERT_EQ(track->TrackState(), tsPlaying);
    // What a closing window does: the cancel alone must end the feeder, well before the
    // twenty seconds of sound would.
    auto closed = std::async(std::launch::async, [&] { track->CancelWorkerAndWait(); });
    ASSERT_EQ(closed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(track->TrackState(), tsReady);
    Played();
    Advance(kHalfSecondFrames);
    const Bytes after = Played();
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0; }))
        << "the buffer plays on after the close";
}

TEST_F(PlaybackRingTest, StartOffsetInsideAChunkPlaysSilenceThenTheData) {
    const Bytes data = Pattern(176400, 5); // 1 s
    OpenUserFile("a.wav", cd, data);
    track->SetStartOffsetText("00:00.25000"); // 44100 bytes
    ASSERT_EQ(track->StartOffset, 44100);
    track->Cue(0);
    // Chunk 1: silence then data; 2: data; 3: the last 44100 bytes then silence; then stops.
    EXPECT_EQ(Statuses(), (std::vector<int>{1, 1, 1, 4, 4, 4, 4, 4}));
    EXPECT_EQ(Ring().chunks[3].endPosition, 44100 + 176400);
    track->Play();
    for (int i = 0; i < 3; ++i) {
        Advance(kHalfSecondFrames);
        Service();
    }
    track->WaitForWorker();
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->PlayPosition, 44100); // back to the start offset
    const Bytes played = Played();
    ASSERT_EQ(played.size(), 3u * kCdChunk);
    EXPECT_TRUE(
        std::all_of(played.begin(), played.begin() + 44100, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), played.begin() + 44100));
    EXPECT_TRUE(std::all_of(played.begin() + 44100 + 176400, played.end(),
                            [](uint8_t b) { return b == 0; }));
}

TEST_F(PlaybackRingTest, VolumeScalesSamplesWithHalfEvenRoundingAndSaturation) {
    const std::vector<int> in = {1000, -1000, 20000, -20000, 32767, -32768, 3, -3, 5, 7, 1, -1};
    OpenUserFile("a.wav", cd, Samples16(in));
    const auto ringAt = [&](int volume) {
        track->SetVolumeValue(volume);
        track->Cue(0);
        return device.Ring(static_cast<uint32_t>(in.size() * 2 + 4));
    };
    Bytes expected = Samples16(in);
    expected.resize(expected.size() + 4, 0); // silence after the data
    EXPECT_EQ(ringAt(0), expected);
    EXPECT_EQ(ringAt(-100), Bytes(in.size() * 2 + 4, 0));
    expected = Samples16({2000, -2000, 32767, -32767, 32767, -32767, 6, -6, 10, 14, 2, -2, 0, 0});
    EXPECT_EQ(ringAt(100), expected);
    expected = Samples16({500, -500, 10000, -10000, 16384, -16384, 2, -2, 2, 4, 0, 0, 0, 0});
    EXPECT_EQ(ringAt(-50), expected);

    // 8-bit: unsigned bytes around 128.
    OpenUserFile("b.wav", mono8, Bytes{228, 28, 255, 0, 129, 127});
    track->SetVolumeValue(100);
    track->Cue(0);
    EXPECT_EQ(device.Ring(7), (Bytes{255, 0, 255, 0, 130, 126, 128}));
    track->SetVolumeValue(-50);
    track->Cue(0);
    EXPECT_EQ(device.Ring(7), (Bytes{178, 78, 192, 64, 128, 128, 128}));
}

TEST_F(PlaybackRingTest, PanAndDampenReachTheBufferAndSurviveACue) {
    OpenUserFile("a.wav", cd, Pattern(1000));
    track->SetPanValue(-100);
    EXPECT_EQ(device.faults.lastPan, -5000);
    track->SetPanValue(40);
    EXPECT_EQ(device.faults.lastPan, 2000);
    track->SetDampen(true);
    EXPECT_EQ(device.faults.lastVolume, -2500);
    device.faults.lastPan = 0;
    device.faults.lastVolume = 0;
    track->Cue(0); // a new buffer takes the stored settings
    EXPECT_EQ(device.faults.lastPan, 2000);
    EXPECT_EQ(device.faults.lastVolume, -2500);
    track->SetDampen(false);
    EXPECT_EQ(device.faults.lastVolume, 0);
    // Out of the control's range: reported, the value stays stored.
    track->SetPanValue(300);
    EXPECT_TRUE(sink.Saw(
        kMsgError, "SetPan fails An invalid parameter was passed to the returning function."));
    EXPECT_EQ(track->Pan(), 300);
}

TEST_F(PlaybackRingTest, EmptyTrackAndFailedBufferCreation) {
    track->Cue(0);
    EXPECT_EQ(track->Playback(), nullptr);
    EXPECT_EQ(track->TrackState(), tsEmpty);
    EXPECT_FALSE(track->StartBuffer());

    device.faults.create = DSERR_OUTOFMEMORY;
    OpenUserFile("a.wav", cd, Pattern(176400));
    EXPECT_TRUE(sink.Saw(kMsgError,
                         "CreateSoundBuffer The DirectSound subsystem could not "
                         "allocate sufficient memory to complete the caller's request."));
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_NE(track->WorkingFile().handle, nullptr);
    EXPECT_FALSE(Ring().HasBuffer());
    track->Play();
    EXPECT_EQ(track->TrackState(), tsReady);

    track->Cue(0);
    EXPECT_TRUE(Ring().HasBuffer());
    EXPECT_EQ(Statuses(), (std::vector<int>{1, 1, 4, 4, 4, 4, 4, 4}));
    track->Play();
    EXPECT_EQ(track->TrackState(), tsPlaying);
    track->Stop();
    track->WaitForWorker();
    EXPECT_EQ(track->TrackState(), tsReady);
}

TEST_F(PlaybackRingTest, StopChunkOnlyBeforeTheEndAndDeviceFailures) {
    const Bytes data = Pattern(5 * 176400);
    device.faults.lockFailsAt = 2 * kCdChunk; // chunk 3 is never filled
    OpenUserFile("a.wav", cd, data);
    EXPECT_TRUE(sink.Saw(kMsgError, "SoundBuffer.Lock fails This function is not valid for the "
                                    "current state of this object."));
    EXPECT_EQ(Statuses(), (std::vector<int>{1, 1, 0, 1, 1, 1, 1, 1}));
    track->Play();
    Advance(kHalfSecondFrames);
    Service();
    EXPECT_FALSE(sink.Saw(kMsgStatus, "Stop Using Stop Chunk"));
    Advance(kHalfSecondFrames + 100);
    Finish();
    EXPECT_TRUE(sink.Saw(kMsgStatus, "Stop Using Stop Chunk"));
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->PlayPosition, 0);

    // Play refused by the buffer: reported, the track stays Ready.
    device.faults.play = DSERR_BUFFERLOST;
    track->Play();
    EXPECT_TRUE(
        sink.Saw(kMsgError, "play fails The buffer memory has been lost and must be restored."));
    EXPECT_EQ(track->TrackState(), tsReady);
    device.faults.play = DS_OK;

    // A cursor that cannot be read leaves the position alone; a refused stop changes nothing.
    track->Play();
    device.faults.position = DSERR_GENERIC;
    Advance(1000);
    EXPECT_EQ(track->PlayPosition, 1);
    EXPECT_TRUE(sink.Saw(kMsgError, "GetCurrentPosition fails An undetermined error occurred "
                                    "inside the DirectSound subsystem."));
    device.faults.position = DS_OK;
    Advance(10000);
    device.faults.stop = DSERR_INVALIDCALL;
    track->StopAt("-1");
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "Stop fails "));
    device.faults.stop = DS_OK;
    Service();
    EXPECT_EQ(track->TrackState(), tsPlaying);

    // The cursor missed by the failed update is counted by the next one: 11000 frames.
    // Stop during play: cued where it stood, lowered to an even byte.
    EXPECT_EQ(track->PlayPosition, 1 + 44000);
    EXPECT_EQ(track->StopAt("-1"), "00:00.24944");
    track->WaitForWorker();
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->PlayPosition, 44000);
    // A Ready track is not stopped: the text comes back as it went in.
    EXPECT_EQ(track->StopAt("00:01.00000"), "00:01.00000");
    EXPECT_EQ(track->PlayPosition, 44000);
}

TEST_F(PlaybackRingTest, OutputFormatSetsTheDeviceOrReports) {
    OpenUserFile("a.wav", cd, Pattern(1000));
    EXPECT_TRUE(track->SetOutputFormat(cd, 22050));
    const WAVEFORMATEX out = device.virtualDevice.OutputFormat();
    EXPECT_EQ(out.nSamplesPerSec, 22050u);
    EXPECT_EQ(out.nAvgBytesPerSec, 88200u);
    WAVEFORMATEX bad = cd;
    bad.wBitsPerSample = 24;
    EXPECT_FALSE(track->SetOutputFormat(bad, 0));
    EXPECT_TRUE(sink.Saw(kMsgError, "SetFormat. The specified wave format is not supported."));
}

TEST_F(PlaybackRingTest, RewindSyncAndCueFromOutsideLeaveATrackInItsWorkAlone) {
    // Three chunks and a bit: the fade is held inside its first block read while the song's
    // transport cues every track; a cue that reached the worker's file would move the write
    // position and the result would not be the data unchanged.
    Bytes original = Pattern(3 * 524288 + 1000, 7);
    for (std::size_t i = 0; i + 1 < original.size(); i += 2)
        if (original[i] == 0x00 && original[i + 1] == 0x80) original[i] = 0x01; // -32768 saturates
    OpenUserFile("a.wav", cd, original);
    Select(0, static_cast<int32_t>(original.size()));
    std::promise<void> inside, go;
    std::shared_future<void> goSignal = go.get_future().share();
    bool first = true;
    view.onBlock = [&](int32_t) {
        if (!first) return;
        first = false;
        inside.set_value();
        goSignal.wait();
    };
    track->StartFade(100, 100); // a gain of exactly one: the data comes back as it was
    inside.get_future().wait();
    const std::vector<TTransportTrack> song{{track.get(), false}};
    RewindAll(song);
    SyncTracks(song, *track);
    track->Cue(0);
    go.set_value();
    track->WaitForWorker();
    view.onBlock = nullptr;
    ASSERT_EQ(track->TrackState(), tsReady);
    ASSERT_FALSE(track->UndoNames.empty());
    EXPECT_EQ(track->UndoNames.back(), "Fading");
    EXPECT_EQ(Working(), original);
}

// A failed pan or quiet-play setting is an error box that waits for the user; the feeder and
// the window need the buffer's lock meanwhile, so the report comes after the lock is let go.
TEST_F(PlaybackRingTest, PanAndDampenFailuresAreReportedWithTheBufferLockFree) {
    OpenUserFile("a.wav", cd, Pattern(176400));
    std::atomic<int> probesLeft{0};
    int reports = 0;
    int heldReports = 0;
    sink.onMessage = [&](int kind, const std::string&) {
        if (kind != kMsgError) return;
        ++reports;
        auto done = std::make_shared<std::atomic<bool>>(false);
        ++probesLeft;
        std::thread([this, done, &probesLeft] {
            Ring().HasBuffer(); // takes the buffer's lock
            *done = true;
            --probesLeft;
        }).detach();
        for (int i = 0; i < 2000 && !*done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!*done) ++heldReports;
    };
    track->SetPanValue(300); // outside the buffer's range
    device.faults.volume = DSERR_INVALIDCALL;
    track->SetDampen(true);
    sink.onMessage = nullptr;
    while (probesLeft > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(reports, 2);
    EXPECT_EQ(heldReports, 0);
    EXPECT_EQ(track->Pan(), 300);
    EXPECT_TRUE(track->Dampen());
}

// The window sets pan and volume while the feeder and a combine read them: a reader never
// sees a volume together with another volume's gain.
TEST_F(PlaybackRingTest, VolumeAndGainAreReadAsOnePair) {
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            track->SetVolumeValue(i % 2 ? -50 : 100);
            track->SetPanValue(i % 2 ? -20 : 20);
        }
    });
    int mismatches = 0;
    for (int i = 0; i < 100000; ++i) {
        const TVolumeSetting v = track->VolumeSetting();
        if (!((v.volume == -50 && v.gain == 0.5f) || (v.volume == 100 && v.gain == 2.0f) ||
              (v.volume == 0 && v.gain == 1.0f)))
            ++mismatches;
        const int32_t pan = track->Pan();
        if (pan != 0 && pan != 20 && pan != -20) ++mismatches;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(mismatches, 0);
}
