// The level meters: what a block of samples measures, how posts merge until taken, how the
// meter's bar, hold and clip mark move on the clock (values worked out by hand), and that a
// playing track's meter follows what is heard, not the chunks filled seconds ahead of it.
#include <gtest/gtest.h>

#include <thread>

#include "tests/track/PlaybackDoubles.h"
#include "tests/track/TrackFixture.h"
#include "track/PlaybackState.h"
#include "ui/core/LevelMeter.h"

void PrintTo(const TPeak& peak, std::ostream* out) {
    *out << "{" << peak.magnitude << (peak.clipped ? ", clipped}" : "}");
}

namespace {

Bytes Le16(const std::vector<int>& values) {
    Bytes b;
    for (int v : values)
        PutLE(b, static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
    return b;
}

TPeak BlockOf16(const std::vector<int>& values) {
    const Bytes b = Le16(values);
    return BlockPeak(b.data(), static_cast<int32_t>(b.size()), true);
}

TPeak BlockOf8(const Bytes& b) {
    return BlockPeak(b.data(), static_cast<int32_t>(b.size()), false);
}

} // namespace

TEST(LevelMeter, BlocksAndRingsMeasureTheirLoudestWholeSample) {
    EXPECT_EQ(BlockOf16({1000, -20000, 300}), (TPeak{20000, false}));
    EXPECT_EQ(BlockOf16({-32768, 5}), (TPeak{32768, true}));
    EXPECT_EQ(BlockOf16({0, 32767}), (TPeak{32767, true}));
    EXPECT_EQ(BlockOf16({32766, -32767}), (TPeak{32767, false})); // one short of both ends
    // A trailing half sample is not read as a sample.
    const Bytes odd = {0x10, 0x00, 0xFF};
    EXPECT_EQ(BlockPeak(odd.data(), 3, true), (TPeak{16, false}));
    EXPECT_EQ(BlockPeak(odd.data(), 1, true), TPeak{});
    // 8-bit: the distance from 128, on the 16-bit scale; 0 and 255 are full scale.
    EXPECT_EQ(BlockOf8({128, 200, 60}), (TPeak{72 * 256, false}));
    EXPECT_EQ(BlockOf8({128, 255}), (TPeak{127 * 256, true}));
    EXPECT_EQ(BlockOf8({0}), (TPeak{32768, true}));
    EXPECT_EQ(BlockOf8({128, 128}), TPeak{});
    EXPECT_EQ(BlockPeak(nullptr, 4, false), TPeak{});

    // A ring of five bytes: take byte t at ring[t % 5]; the sample at take byte 4 straddles the
    // end (low byte ring[4], high byte ring[0]) and is the only one of [4, 6).
    const Bytes ring = {0x27, 0xFF, 0x7F, 0xFF, 0x10};
    EXPECT_EQ(RingPeak(ring.data(), 5, 4, 6, true), (TPeak{10000, false}));
    EXPECT_EQ(RingPeak(ring.data(), 5, 4, 5, true), TPeak{}); // no whole sample
    // [6, 8): ring[1], ring[2] = 0x7FFF.
    EXPECT_EQ(RingPeak(ring.data(), 5, 6, 8, true), (TPeak{32767, true}));
    // 8-bit over the wrap: take bytes 2..5 are ring[2], ring[3], ring[0], ring[1].
    const Bytes ring8 = {128, 10, 128, 250};
    EXPECT_EQ(RingPeak(ring8.data(), 4, 2, 6, false), (TPeak{122 * 256, false}));
    EXPECT_EQ(RingPeak(ring8.data(), 4, 2, 3, false), TPeak{});
}

TEST(LevelMeter, PostsMergeUntilTakenAlsoFromSeveralThreads) {
    TLevelMeter meter;
    EXPECT_EQ(meter.Take(), TPeak{});
    meter.Post({100, false});
    meter.Post({50, true});
    meter.Post({70, false});
    EXPECT_EQ(meter.Take(), (TPeak{100, true})); // the loudest, and the clip of a quieter one
    EXPECT_EQ(meter.Take(), TPeak{});
    meter.Post({40000, false}); // beyond the scale (a gain above 1): kept at full scale
    EXPECT_EQ(meter.Take(), (TPeak{32768, false}));

    // Two writers and a reader: no post is lost between the takes.
    constexpr uint32_t kPosts = 20000;
    TPeak seen;
    std::atomic<int> writing{2};
    std::thread a([&] {
        for (uint32_t i = 1; i <= kPosts; ++i)
            meter.Post({i, false});
        --writing;
    });
    std::thread b([&] {
        for (uint32_t i = 1; i <= kPosts; ++i)
            meter.Post({kPosts - i, i == kPosts / 2});
        --writing;
    });
    while (writing > 0)
        seen = Louder(seen, meter.Take());
    a.join();
    b.join();
    seen = Louder(seen, meter.Take());
    EXPECT_EQ(seen, (TPeak{kPosts, true}));

    // What an output stage does to a peak.
    EXPECT_EQ(ScaledPeak({32768, true}, 0.05623413f), (TPeak{1843, false}));  // -25 dB
    EXPECT_EQ(ScaledPeak({20000, false}, 2.0f), (TPeak{32768, true}));        // saturates
    EXPECT_EQ(ScaledPeak({127 * 256, true}, 1.0f), (TPeak{127 * 256, true})); // 8-bit full scale
    EXPECT_EQ(ScaledPeak({16000, false}, 1.0f), (TPeak{16000, false}));
}

TEST(LevelMeter, BarFallsHoldWaitsThenFallsClipStaysUntilCleared) {
    EXPECT_FLOAT_EQ(TMeterBallistics::PeakDb(32768), 0.0f);
    EXPECT_NEAR(TMeterBallistics::PeakDb(16384), -6.0206f, 1e-4);
    EXPECT_NEAR(TMeterBallistics::PeakDb(3277), -19.9995f, 1e-3);
    EXPECT_FLOAT_EQ(TMeterBallistics::PeakDb(1), -60.0f); // -90.3 dB: below the floor
    EXPECT_FLOAT_EQ(TMeterBallistics::PeakDb(0), -60.0f);

    TMeterBallistics m;
    EXPECT_TRUE(m.AtRest());
    m.Tick({16384, false}, 100);
    EXPECT_NEAR(m.LevelDb(), -6.0206f, 1e-4);
    EXPECT_NEAR(m.HoldDb(), -6.0206f, 1e-4);
    // 20 dB a second: 2 dB a tick; the hold stays for 2000 ms.
    for (int tick = 1; tick <= 20; ++tick)
        m.Tick({}, 100);
    EXPECT_NEAR(m.LevelDb(), -46.0206f, 1e-3);
    EXPECT_NEAR(m.HoldDb(), -6.0206f, 1e-4); // 2000 ms: still held
    m.Tick({}, 100);                         // 2100 ms: it falls at the bar's rate
    EXPECT_NEAR(m.LevelDb(), -48.0206f, 1e-3);
    EXPECT_NEAR(m.HoldDb(), -8.0206f, 1e-3);
    // A quieter peak lifts the bar but not the falling hold; a louder one takes the hold.
    m.Tick({3277, false}, 100); // -20 dB
    EXPECT_NEAR(m.LevelDb(), -19.9995f, 1e-3);
    EXPECT_NEAR(m.HoldDb(), -10.0206f, 1e-3);
    m.Tick({32767, true}, 100);
    EXPECT_NEAR(m.LevelDb(), -0.000265f, 1e-4);
    EXPECT_NEAR(m.HoldDb(), -0.000265f, 1e-4);
    EXPECT_TRUE(m.Clipped());
    // A late tick lets both fall by its whole time, never below the floor or the bar.
    m.Tick({3277, false}, 100);
    EXPECT_NEAR(m.LevelDb(), -2.000265f, 1e-3);
    m.Tick({}, 5000);
    EXPECT_FLOAT_EQ(m.LevelDb(), -60.0f);
    EXPECT_FLOAT_EQ(m.HoldDb(), -60.0f);
    EXPECT_TRUE(m.Clipped()); // the clip mark does not fade
    EXPECT_FALSE(m.AtRest());
    m.ClearClip();
    EXPECT_TRUE(m.AtRest());
    m.Tick({16384, false}, -50); // a clock that went back moves nothing down
    m.Tick({}, -50);
    EXPECT_NEAR(m.LevelDb(), -6.0206f, 1e-4);
    m.Clear();
    EXPECT_TRUE(m.AtRest());
}

namespace {

constexpr uint32_t kFramesPerPart = 2205; // 50 ms at 44100 Hz

class OutputMeterTest : public TrackTest {
  protected:
    void SetUp() override {
        TrackTest::SetUp();
        track->SetSoundDevice(&device, cd);
    }
    const TPlaybackState& Ring() { return *track->Playback(); }
    void Advance(uint32_t frames) {
        device.virtualDevice.Advance(frames);
        track->UpdatePlayPosition();
    }
    void Service() {
        const uint32_t before = Ring().serviceRounds;
        track->Semaphore().Release();
        for (int i = 0; i < 20000 && Ring().serviceRounds == before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_NE(Ring().serviceRounds, before) << "the feeder never woke";
    }
    // Advances `frames` in steps of at most a quarter second, the feeder refilling after
    // each, and answers what the meter got over the whole way.
    TPeak Heard(uint32_t frames) {
        TPeak peak;
        while (frames > 0) {
            const uint32_t step = std::min<uint32_t>(frames, 11025);
            Advance(step);
            Service();
            peak = Louder(peak, track->LevelMeter().Take());
            frames -= step;
        }
        return peak;
    }
    TFaultyDevice device;
};

// Five seconds of 44100 Hz stereo: 1000 for the first second, 16384 for the next, 100 after,
// but for one full-scale sample at 3 s.
Bytes FiveSeconds() {
    std::vector<int> samples;
    for (int frame = 0; frame < 5 * 44100; ++frame) {
        const int v = frame < 44100 ? 1000 : frame < 2 * 44100 ? 16384 : 100;
        samples.push_back(frame == 3 * 44100 ? -32768 : v);
        samples.push_back(-v);
    }
    return Le16(samples);
}

} // namespace

TEST_F(OutputMeterTest, APlayingTrackPostsWhatTheCursorPassedNotWhatWasFilled) {
    OpenUserFile("a.wav", cd, FiveSeconds());
    track->Play();
    ASSERT_EQ(track->TrackState(), tsPlaying);
    // The cue filled four seconds, the loud second and the clip among them: nothing is heard
    // yet, so nothing is posted.
    track->UpdatePlayPosition();
    EXPECT_EQ(track->LevelMeter().Take(), TPeak{});
    EXPECT_EQ(Heard(44100 - kFramesPerPart), (TPeak{1000, false}));
    // The last quiet part, up to the loud one's first byte: the part begun is not heard yet.
    EXPECT_EQ(Heard(kFramesPerPart), (TPeak{1000, false}));
    EXPECT_EQ(Heard(kFramesPerPart), (TPeak{16384, false}));
    EXPECT_EQ(Heard(44100 - kFramesPerPart), (TPeak{16384, false}));
    EXPECT_EQ(Heard(44100), (TPeak{100, false}));
    EXPECT_EQ(Heard(kFramesPerPart), (TPeak{32768, true}));
    // Past the ring's wrap: the first chunk as the feeder refilled it, the quiet first second
    // gone from it.
    EXPECT_EQ(Heard(44100), (TPeak{100, false}));
    track->Stop();
    track->WaitForWorker();
    EXPECT_EQ(track->LevelMeter().Take(), TPeak{});

    // The volume comes first: doubled, the loud second is saturated at full scale. Turned off,
    // the meters measure nothing.
    track->SetVolumeValue(100);
    track->Cue(0);
    track->Play();
    EXPECT_EQ(Heard(44100), (TPeak{2000, false}));
    EXPECT_EQ(Heard(kFramesPerPart), (TPeak{32767, true}));
    SetLevelMetering(false);
    EXPECT_EQ(Heard(kFramesPerPart), TPeak{});
    SetLevelMetering(true);
    track->Stop();
    track->WaitForWorker();
}
