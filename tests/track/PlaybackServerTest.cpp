// Real playback through the private sound server: what the tracks play into "Test_Sink" is
// captured from "Test_Mic" and measured. Skipped without PULSE_SERVER.
#include <pulse/simple.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "studio/core/SoundSetup.h"
#include "studio/core/StudioClock.h"
#include "studio/core/Transport.h"
#include "tests/track/TrackFixture.h"

namespace {

// 440 Hz at `amplitude` on both channels, 16-bit stereo 44100 Hz.
Bytes Tone(int frames, double amplitude) {
    Bytes b;
    for (int i = 0; i < frames; ++i) {
        const auto v =
            static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * 440 * i / 44100.0)));
        PutLE(b, static_cast<uint16_t>(v), 2);
        PutLE(b, static_cast<uint16_t>(v), 2);
    }
    return b;
}

// A 1 kHz burst of `ms` milliseconds at 3/8 of full scale from sample 0, then silence up to
// `frames`, in any of the formats (8-bit samples are offset by 128).
Bytes Burst(const WAVEFORMATEX& f, int frames, int ms) {
    Bytes b;
    const int loud = static_cast<int>(f.nSamplesPerSec) * ms / 1000;
    for (int i = 0; i < frames; ++i) {
        const double x = i < loud ? 0.375 * std::sin(2 * M_PI * 1000 * i / f.nSamplesPerSec) : 0;
        for (int c = 0; c < f.nChannels; ++c) {
            if (f.wBitsPerSample == 16)
                PutLE(b, static_cast<uint16_t>(static_cast<int16_t>(std::lround(x * 32768))), 2);
            else
                b.push_back(static_cast<uint8_t>(128 + std::lround(x * 128)));
        }
    }
    return b;
}

constexpr int kLoud = 300;   // above the capture's rounding noise, far below every signal
constexpr int kOnset = 3000; // a quarter of the bursts' 12288 peak: 40 us into a rising 1 kHz
constexpr int kRate = 44100; // the sink's rate, so capture samples are output frames

struct TCapture {
    std::vector<int16_t> left, right;
    double Rms(const std::vector<int16_t>& s) const {
        double sum = 0;
        int n = 0;
        for (int16_t v : s)
            if (std::abs(v) > kLoud) { // the tone's stretch only
                sum += double(v) * v;
                ++n;
            }
        return n ? std::sqrt(sum / n) : 0;
    }
    int Loud(const std::vector<int16_t>& s) const {
        int n = 0;
        for (int16_t v : s)
            n += std::abs(v) > kLoud;
        return n;
    }
    // The first sample from `from` on whose magnitude exceeds `threshold`; -1 when none.
    static long First(const std::vector<int16_t>& s, long from, int threshold) {
        for (long i = std::max(from, 0L); i < static_cast<long>(s.size()); ++i)
            if (std::abs(s[static_cast<size_t>(i)]) > threshold) return i;
        return -1;
    }
    static long Last(const std::vector<int16_t>& s, int threshold) {
        for (long i = static_cast<long>(s.size()) - 1; i >= 0; --i)
            if (std::abs(s[static_cast<size_t>(i)]) > threshold) return i;
        return -1;
    }
};

class PlaybackServerTest : public TrackTest {
  protected:
    void SetUp() override {
        if (!std::getenv("PULSE_SERVER")) GTEST_SKIP() << "no private sound server";
        TrackTest::SetUp();
        ASSERT_TRUE(setup.Initialise("Test_Sink", cd));
        track->SetSoundDevice(setup.Device(), cd);
    }
    void TearDown() override {
        others.clear();
        TrackTest::TearDown();
    }
    // A further track of the song on the same device, holding `data` in `f`, starting at
    // `startText` on the song's timeline.
    TVelTrack* OpenOther(const std::string& name, const WAVEFORMATEX& f, const Bytes& data,
                         const std::string& startText) {
        const std::string path = userDir + "/" + name;
        WriteFile(path, WaveBytes(f, data));
        others.push_back(std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock));
        TVelTrack* other = others.back().get();
        other->SetSoundDevice(setup.Device(), cd);
        other->FileName = path;
        other->Reopen();
        other->WaitForWorker();
        EXPECT_EQ(other->TrackState(), tsReady);
        other->SetStartOffsetText(startText);
        return other;
    }
    // Rewinds `tracks` (unless told not to) and plays them all with the clock running while
    // capturing `seconds` of the mic, which is opened first so that its latency set-up is over
    // before anything plays.
    TCapture PlayAndCapture(double seconds, const std::vector<TVelTrack*>& which,
                            bool rewind = true) {
        pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
        int error = 0;
        pa_simple* mic = pa_simple_new(nullptr, "wavestack-test", PA_STREAM_RECORD, "testmic",
                                       "capture", &spec, nullptr, nullptr, &error);
        EXPECT_NE(mic, nullptr);
        TCapture capture;
        if (!mic) return capture;
        std::vector<int16_t> raw(static_cast<size_t>(seconds * kRate) * 2);
        std::thread reader([&] { pa_simple_read(mic, raw.data(), raw.size() * 2, &error); });
        std::vector<TTransportTrack> tracks;
        for (TVelTrack* t : which)
            tracks.push_back({t, false});
        if (rewind) RewindAll(tracks);
        TStudioClock clock(sink);
        clock.Start([&] { UpdatePlayingTracks(tracks); });
        TClockTicker ticker(clock, 100);
        PlayAll(tracks);
        reader.join();
        pa_simple_free(mic);
        StopAll(tracks);
        for (TVelTrack* t : which)
            t->WaitForWorker();
        for (size_t i = 0; i + 1 < raw.size(); i += 2) {
            capture.left.push_back(raw[i]);
            capture.right.push_back(raw[i + 1]);
        }
        return capture;
    }
    TCapture PlayAndCapture(double seconds) { return PlayAndCapture(seconds, {track.get()}); }

    // Plays the two tracks together `attempts` times at most and answers the distance between
    // their bursts' onsets in the capture of each try [output frames], stopping at the first
    // that lies within `tolerance` of `expected`. A try can only miss through the server
    // (an underrun of a loaded machine delays everything after it); a fault of the tracks
    // misses on every one.
    std::vector<long> OnsetDistances(TVelTrack* a, TVelTrack* b, long expected, long tolerance,
                                     int attempts = 3) {
        std::vector<long> distances;
        for (int i = 0; i < attempts; ++i) {
            const TCapture c = PlayAndCapture(3.0, {a, b});
            const long first = TCapture::First(c.left, 0, kOnset);
            // The second burst is looked for well after the first has faded.
            const long second = first < 0 ? -1 : TCapture::First(c.left, first + kRate / 4, kOnset);
            EXPECT_GE(first, 0) << "the earlier burst never arrived";
            EXPECT_GE(second, 0) << "the later burst never arrived";
            if (first < 0 || second < 0) break;
            // Both channels carry both bursts (a mono track plays on both).
            EXPECT_EQ(TCapture::First(c.right, 0, kOnset), first);
            // Nothing after the later burst: no stale ring contents come round again.
            EXPECT_LT(TCapture::Last(c.left, kLoud), second + kRate / 10);
            distances.push_back(second - first);
            std::printf("onset distance %.3f ms\n", 1000.0 * (second - first) / kRate);
            if (std::labs(second - first - expected) <= tolerance) break;
        }
        return distances;
    }

    TSoundSetup setup{sink};
    std::vector<std::unique_ptr<TVelTrack>> others;
};

} // namespace

TEST_F(PlaybackServerTest, ToneArrivesAtItsLevelAndLengthWithVolumeAndPan) {
    OpenUserFile("tone.wav", cd, Tone(44100, 8000));
    // Volume 0: the tone's RMS is 8000 / sqrt(2) = 5657, for about one second.
    TCapture c = PlayAndCapture(2.5);
    EXPECT_NEAR(c.Rms(c.left), 5657, 400);
    EXPECT_NEAR(c.Rms(c.right), 5657, 400);
    // 97.6 % of the tone's samples lie above 300 (counted apart in python).
    EXPECT_NEAR(c.Loud(c.left), 44100 * 0.976, 44100 * 0.08);

    // +100 doubles 8000 to 16000: RMS 11314.
    track->SetVolumeValue(100);
    c = PlayAndCapture(2.5);
    EXPECT_NEAR(c.Rms(c.left), 11314, 800);

    // -100: nothing above the threshold.
    track->SetVolumeValue(-100);
    c = PlayAndCapture(2.5);
    EXPECT_LT(c.Loud(c.left), 200);

    // Pan -100: the right channel is 50 dB down (gain 0.0032), the left untouched.
    track->SetVolumeValue(0);
    track->SetPanValue(-100);
    c = PlayAndCapture(2.5);
    EXPECT_NEAR(c.Rms(c.left), 5657, 400);
    EXPECT_LT(c.Loud(c.right), 200);
}

TEST_F(PlaybackServerTest, TracksStartedTogetherArriveAlignedToTheirStartOffsets) {
    // The same 40 ms burst at the start of two tracks that start 0.5 s and 1.25 s into the
    // song: the capture holds them 0.75 s = 33075 frames apart, within 5 ms (220 frames).
    const int frames = kRate * 3 / 10;
    TVelTrack* a = OpenOther("a.wav", cd, Burst(cd, frames, 40), "00:00.50000");
    TVelTrack* b = OpenOther("b.wav", cd, Burst(cd, frames, 40), "00:01.25000");
    std::vector<long> d = OnsetDistances(a, b, 33075, 220);
    ASSERT_FALSE(d.empty());
    EXPECT_NEAR(d.back(), 33075, 220);
    // Play all again: the tracks were cued back and line up just the same.
    d = OnsetDistances(a, b, 33075, 220);
    ASSERT_FALSE(d.empty());
    EXPECT_NEAR(d.back(), 33075, 220);

    // Formats of their own: the start offsets are the same times in other byte counts
    // (1.25 s of 22050 Hz 8-bit mono is 27562.5 bytes, rounded to 27562: 0.02 ms early).
    const WAVEFORMATEX mono8 = MakePcmFormat(22050, 8, 1);
    const WAVEFORMATEX mono48 = MakePcmFormat(48000, 16, 1);
    TVelTrack* c = OpenOther("c.wav", mono48, Burst(mono48, 14400, 40), "00:00.50000");
    TVelTrack* e = OpenOther("e.wav", mono8, Burst(mono8, 6615, 40), "00:01.25000");
    EXPECT_EQ(c->StartOffset, 48000);
    EXPECT_EQ(e->StartOffset, 27562);
    d = OnsetDistances(c, e, 33075, 220);
    ASSERT_FALSE(d.empty());
    EXPECT_NEAR(d.back(), 33075, 220);
    EXPECT_FALSE(sink.SawPrefix(kMsgError, ""));
}

TEST_F(PlaybackServerTest, ToneArrivesWholeAfterItsStartOffset) {
    // One second of tone starting 0.3 s into the song, played from 0 alone: its loud stretch
    // spans one second (the first and last loud samples lie within a cycle of its ends), and
    // nothing precedes it by more than the output's latency.
    OpenUserFile("tone.wav", cd, Tone(kRate, 8000));
    track->SetStartOffsetText("00:00.30000");
    long span = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const TCapture c = PlayAndCapture(3.0);
        const long first = TCapture::First(c.left, 0, kLoud);
        const long last = TCapture::Last(c.left, kLoud);
        ASSERT_GE(first, 0);
        EXPECT_NEAR(c.Rms(c.left), 5657, 400);
        span = last - first + 1;
        std::printf("tone span %.3f ms\n", 1000.0 * span / kRate);
        if (std::labs(span - kRate) <= 220) break;
    }
    EXPECT_NEAR(span, kRate, 220);
}

TEST_F(PlaybackServerTest, StartOffsetInsideAFramePlaysWholeFrames) {
    // 0.50001 s is 44100.882 bytes of 16-bit mono, rounded to 44101: an odd start offset must
    // not pair the high byte of one sample with the low byte of the next (that would be loud
    // noise, not the tone).
    const WAVEFORMATEX mono16 = MakePcmFormat(kRate, 16, 1);
    Bytes mono;
    const Bytes stereo = Tone(kRate, 8000);
    for (size_t i = 0; i < stereo.size(); i += 4)
        mono.insert(mono.end(), stereo.begin() + i, stereo.begin() + i + 2);
    OpenUserFile("mono.wav", mono16, mono);
    track->SetStartOffsetText("00:00.50001");
    ASSERT_EQ(track->StartOffset, 44101);
    TCapture c = PlayAndCapture(2.5);
    EXPECT_NEAR(c.Rms(c.left), 5657, 400);
    EXPECT_NEAR(c.Loud(c.left), kRate * 0.976, kRate * 0.08);

    // 0.50001 s of 16-bit stereo is 88201.764 bytes, rounded to 88202: half a frame. A tone
    // on the left alone must stay on the left.
    Bytes left;
    for (size_t i = 0; i < stereo.size(); i += 4)
        left.insert(left.end(), {stereo[i], stereo[i + 1], 0, 0});
    OpenUserFile("left.wav", cd, left);
    track->SetStartOffsetText("00:00.50001");
    ASSERT_EQ(track->StartOffset, 88202);
    c = PlayAndCapture(2.5);
    EXPECT_NEAR(c.Rms(c.left), 5657, 400);
    EXPECT_LT(c.Loud(c.right), 200);
    // A cue half a frame into the data keeps its position but plays whole frames too.
    track->SetStartOffsetText("00:00.00000");
    track->Cue(2);
    EXPECT_EQ(track->PlayPosition, 2);
    c = PlayAndCapture(2.5, {track.get()}, false);
    EXPECT_NEAR(c.Rms(c.left), 5657, 400);
    EXPECT_LT(c.Loud(c.right), 200);
}
