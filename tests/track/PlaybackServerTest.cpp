// Real playback through the private sound server: a tone played by a track into "Test_Sink"
// is captured from "Test_Mic" and measured. Skipped without PULSE_SERVER.
#include <pulse/simple.h>

#include <cmath>
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

struct TCapture {
    std::vector<int16_t> left, right;
    double Rms(const std::vector<int16_t>& s) const {
        double sum = 0;
        int n = 0;
        for (int16_t v : s)
            if (std::abs(v) > 300) { // the tone's stretch only
                sum += double(v) * v;
                ++n;
            }
        return n ? std::sqrt(sum / n) : 0;
    }
    int Loud(const std::vector<int16_t>& s) const {
        int n = 0;
        for (int16_t v : s)
            n += std::abs(v) > 300;
        return n;
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
    // Plays the track from 0 with the clock running while capturing `seconds` of the mic.
    TCapture PlayAndCapture(double seconds) {
        pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
        int error = 0;
        pa_simple* mic = pa_simple_new(nullptr, "wavestack-test", PA_STREAM_RECORD, "testmic",
                                       "capture", &spec, nullptr, nullptr, &error);
        EXPECT_NE(mic, nullptr);
        TCapture capture;
        if (!mic) return capture;
        std::vector<int16_t> raw(static_cast<size_t>(seconds * 44100) * 2);
        std::thread reader([&] { pa_simple_read(mic, raw.data(), raw.size() * 2, &error); });
        const std::vector<TTransportTrack> tracks = {{track.get(), false}};
        TStudioClock clock(sink);
        clock.Start([&] { UpdatePlayingTracks(tracks); });
        TClockTicker ticker(clock, 100);
        track->Cue(0);
        PlayAll(tracks);
        reader.join();
        pa_simple_free(mic);
        StopAll(tracks);
        track->WaitForWorker();
        for (size_t i = 0; i + 1 < raw.size(); i += 2) {
            capture.left.push_back(raw[i]);
            capture.right.push_back(raw[i + 1]);
        }
        return capture;
    }
    TSoundSetup setup{sink};
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
