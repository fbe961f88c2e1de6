// Combining tracks: every expected byte is built here from the inputs with a plain sum, by hand
// or with long double arithmetic, never from the code under test.
#include <cmath>
#include <random>

#include "audio/VelTrackUtils.h"
#include "tests/track/TrackFixture.h"
#include "track/CombineState.h"

namespace {

Bytes Samples16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values)
        PutLE(b, static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
    return b;
}

int Sample16(const Bytes& b, std::size_t index) {
    return static_cast<int16_t>(b[2 * index] | b[2 * index + 1] << 8);
}

Bytes Noise16(std::size_t samples, uint32_t seed, int amplitude) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-amplitude, amplitude);
    Bytes b;
    for (std::size_t i = 0; i < samples; ++i)
        PutLE(b, static_cast<uint16_t>(static_cast<int16_t>(d(rng))), 2);
    return b;
}

// A track of its own, opened from a user file and ready.
struct Box {
    RecordingOwner owner;
    CancellingView view;
    std::unique_ptr<TVelTrack> track;
};

class CombineTest : public TrackTest {
  protected:
    TVelTrack& Source(const std::string& name, const WAVEFORMATEX& f, const Bytes& data,
                      const std::string& start = "00:00.00000", int pan = 0, int volume = 0) {
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
        t.SetPanValue(pan);
        t.SetVolumeValue(volume);
        boxes.push_back(std::move(box));
        return t;
    }
    // The fixture's track becomes a new, empty target of format f.
    void Target(const WAVEFORMATEX& f) {
        track->NewTrack(f, "00:00.00000");
        track->Reopen();
        track->WaitForWorker();
        ASSERT_EQ(track->TrackState(), tsReady);
    }
    void Combine(const std::string& start, const std::string& length,
                 std::vector<TVelTrack*> sources) {
        track->StartCombine(start, length, std::move(sources));
        track->WaitForWorker();
    }

    std::vector<std::unique_ptr<Box>> boxes;
};

const WAVEFORMATEX mono16 = MakePcmFormat(8000, 16, 1);
const WAVEFORMATEX stereo16 = MakePcmFormat(8000, 16, 2);

} // namespace

TEST_F(CombineTest, TwoMonoSourcesSumAndSaturate) {
    Target(mono16);
    const Bytes a = Samples16({30000, -30000, -32768, 100, 32767, 0, 1, -1});
    const Bytes b = Samples16({10000, -10000, 0, -50, 32767, -32768, 2, -2});
    TVelTrack& s1 = Source("a.wav", mono16, a);
    TVelTrack& s2 = Source("b.wav", mono16, b);
    s1.Cue(6);
    const std::vector<std::string> tempBefore = TempFiles();
    // 8 samples at 16000 bytes per second: 16 bytes = 0.001 s.
    Combine("00:00.00000", "00:00.00100", {&s1, &s2});

    EXPECT_EQ(Working(), Samples16({32767, -32767, -32767, 50, 32767, -32767, 3, -3}));
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->DataLength, 16);
    EXPECT_EQ(track->PlayPosition, track->StartOffset);
    EXPECT_EQ(s1.TrackState(), tsReady);
    EXPECT_EQ(s2.TrackState(), tsReady);
    EXPECT_EQ(s1.PlayPosition, 6);
    EXPECT_EQ(s2.PlayPosition, 0);
    EXPECT_EQ(s1.ConversionBuffer(), nullptr);
    EXPECT_EQ(s1.WorkingFile().handle->Tell(), s1.DataStart() + 6); // cued back where it stood
    EXPECT_TRUE(sink.Saw(kMsgStart, "Start Combining"));
    EXPECT_TRUE(sink.Saw(kMsgDone, "End Combining"));
    EXPECT_EQ(TempFiles(), tempBefore);
    // The sources' files are only read.
    EXPECT_EQ(DataOf(userDir + "/a.wav"), a);
}

TEST_F(CombineTest, SourcesArePlacedOnTheTimelineAcrossChunks) {
    const WAVEFORMATEX cdf = cd; // 176400 bytes per second
    Target(cdf);
    const Bytes a = Noise16(176400 / 2, 1, 8000);     // 1 s at 1 s
    const Bytes b = Noise16(2 * 176400 / 2, 2, 8000); // 2 s at 3 s: crosses the first chunk
    const Bytes c = Noise16(44100 / 2, 3, 8000);      // 0.25 s at 4.5 s: inside the second
    TVelTrack& sa = Source("a.wav", cdf, a, "00:01.00000");
    TVelTrack& sb = Source("b.wav", cdf, b, "00:03.00000");
    TVelTrack& sc = Source("c.wav", cdf, c, "00:04.50000");
    Combine("00:01.00000", "00:04.00000", {&sa, &sb, &sc});

    Bytes expected(705600, 0);
    std::copy(a.begin(), a.end(), expected.begin());
    std::copy(b.begin(), b.end(), expected.begin() + 352800);
    for (std::size_t i = 0; i < c.size() / 2; ++i) {
        const int v = Sample16(expected, 617400 / 2 + i) + Sample16(c, i);
        expected[617400 + 2 * i] = static_cast<uint8_t>(v);
        expected[617400 + 2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
    }
    const Bytes got = Working();
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(track->StartOffset, 176400);
    EXPECT_EQ(track->StartOffsetText, "00:01.00000");
    EXPECT_EQ(track->PlayPosition, 176400);
}

TEST_F(CombineTest, PanAndVolumeGains) {
    // Pan +100 silences the left channel; pan -50 scales the right by 0.5^4 = 0.0625 and
    // rounds halves to even: 8 -> 0.5 -> 0, 24 -> 1.5 -> 2, -24 -> -2, 40 -> 2.5 -> 2, 7 -> 0.
    Target(stereo16);
    const Bytes data = Samples16({1000, 8, -1000, 24, 5, -24, 7, 40, 9, 7});
    TVelTrack& right = Source("r.wav", stereo16, data, "00:00.00000", 100);
    Combine("00:00.00000", "00:00.00063", {&right}); // 5.04 frames: 5 frames, 20 bytes
    EXPECT_EQ(Working(), Samples16({0, 8, 0, 24, 0, -24, 0, 40, 0, 7}));

    auto second = std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock);
    std::swap(track, second);
    Target(stereo16);
    TVelTrack& left = Source("l.wav", stereo16, data, "00:00.00000", -50);
    Combine("00:00.00000", "00:00.00063", {&left});
    EXPECT_EQ(Working(), Samples16({1000, 0, -1000, 2, 5, -2, 7, 2, 9, 0}));

    // Volume -50 is gain 0.5 on both channels with pan 0; +100 doubles and saturates; with
    // pan -50 the right gain is 0.5 * 0.0625 = 0.03125: 40 -> 1.25 -> 1, -24 -> -0.75 -> -1.
    auto third = std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock);
    std::swap(track, third);
    Target(stereo16);
    TVelTrack& half = Source("h.wav", stereo16, data, "00:00.00000", 0, -50);
    TVelTrack& loud = Source("d.wav", stereo16, Samples16({20000, -20000, 1, 1, 0, 0, 0, 0, 3, 3}),
                             "00:00.00000", 0, 100);
    TVelTrack& quiet = Source("q.wav", stereo16, data, "00:00.00000", -50, -50);
    Combine("00:00.00000", "00:00.00063", {&half, &loud, &quiet});
    // half: 500 4 -500 12 2(2.5) -12 4(3.5) 20 4(4.5) 4(3.5)
    // loud: 32767.. 40000 -40000 2 2 0 0 0 0 6 6
    // quiet left = half's left; right: 8*.03125=.25->0, 24->.75->1, -24->-1, 40->1.25->1, 7->0
    EXPECT_EQ(Working(), Samples16({32767, -32767, -1000 + 2, 12 + 2 + 1, 2 + 2, -12 - 1, 4 + 4,
                                    20 + 1, 4 + 6 + 4, 4 + 6 + 0}));
    std::swap(track, third);
    std::swap(track, second);
    third.reset();
    second.reset();
}

TEST_F(CombineTest, MonoTargetIgnoresPanAndOtherFormatsAreConverted) {
    Target(mono16);
    const Bytes data = Samples16({100, -200, 300, 7});
    TVelTrack& panned = Source("p.wav", mono16, data, "00:00.00000", 100);
    Combine("00:00.00000", "00:00.00050", {&panned});
    EXPECT_EQ(Working(), data);

    // 8-bit mono in a 16-bit stereo target at the same rate: (b - 128) * 256 on both channels.
    auto second = std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock);
    std::swap(track, second);
    Target(stereo16);
    const WAVEFORMATEX mono8k = MakePcmFormat(8000, 8, 1);
    const Bytes bytes = {0, 1, 127, 128, 129, 255, 64, 200};
    TVelTrack& narrow = Source("n.wav", mono8k, bytes);
    Combine("00:00.00000", "00:00.00100", {&narrow});
    Bytes expected;
    for (uint8_t b : bytes) {
        const int v = std::max((b - 128) * 256, -32767); // the store saturates -32768
        PutLE(expected, static_cast<uint16_t>(v), 2);
        PutLE(expected, static_cast<uint16_t>(v), 2);
    }
    EXPECT_EQ(Working(), expected);
    std::swap(track, second);
    second.reset();
}

TEST_F(CombineTest, SourceOfAnotherRateKeepsItsLengthAndPlace) {
    Target(cd);
    // 1 s of a 441 Hz tone at 22050 Hz mono, starting 0.5 s after a silent 0.25 s source.
    const WAVEFORMATEX low = MakePcmFormat(22050, 16, 1);
    Bytes tone;
    for (int i = 0; i < 22050; ++i)
        PutLE(tone,
              static_cast<uint16_t>(static_cast<int16_t>(
                  std::lround(10000.0 * std::sin(2 * M_PI * 441.0 * i / 22050.0)))),
              2);
    TVelTrack& quiet = Source("z.wav", cd, Bytes(44100, 0));
    TVelTrack& sine = Source("t.wav", low, tone, "00:00.50000");
    Combine("00:00.00000", "00:01.50000", {&quiet, &sine});

    const Bytes got = Working();
    ASSERT_EQ(got.size(), 264600u); // 1.5 s of 176400 bytes per second
    for (std::size_t i = 0; i < 88200; ++i)
        ASSERT_EQ(got[i], 0) << i;
    // Both channels carry the tone at its level: RMS 10000 / sqrt(2) within 3 %.
    double left = 0, right = 0;
    const std::size_t frames = (264600 - 88200) / 4;
    for (std::size_t f = 0; f < frames; ++f) {
        const double l = Sample16(got, 88200 / 2 + 2 * f);
        const double r = Sample16(got, 88200 / 2 + 2 * f + 1);
        left += l * l;
        right += r * r;
    }
    EXPECT_NEAR(std::sqrt(left / frames), 7071.0, 212.0);
    EXPECT_NEAR(std::sqrt(right / frames), 7071.0, 212.0);
    // The tone begins at its place: the first frames after the start are near sin(0).
    EXPECT_LT(std::abs(Sample16(got, 88200 / 2)), 1500);
    EXPECT_GT(std::abs(Sample16(got, 88200 / 2 + 2 * 12)), 5000); // a quarter period later
}

TEST_F(CombineTest, ExactlyOneChunkGivesAFullAndAnEmptyChunk) {
    const WAVEFORMATEX f = MakePcmFormat(16384, 16, 2); // 65536 bytes per second
    Target(f);
    const Bytes data = Noise16(524288 / 2, 7, 30000);
    TVelTrack& s = Source("a.wav", f, data);
    std::vector<int32_t> bars;
    view.onBlock = [&](int32_t position) { bars.push_back(position); };
    Combine("00:00.00000", "00:08.00000", {&s});
    view.onBlock = nullptr;
    EXPECT_TRUE(Working() == data);
    // At the left edge, then once per chunk.
    EXPECT_EQ(bars, (std::vector<int32_t>{0, 0, 524288}));
}

TEST_F(CombineTest, CancellingLeavesTheSourcesReadyAndClosesTheTarget) {
    Target(cd);
    TVelTrack& a = Source("a.wav", cd, Noise16(3 * 524288 / 2, 1, 1000));
    TVelTrack& b = Source("b.wav", MakePcmFormat(22050, 8, 1), Bytes(200000, 140), "00:01.00000");
    a.Cue(1000);
    b.Cue(b.StartOffset + 2000);
    const std::vector<std::string> tempBefore = TempFiles();
    view.onBlock = [&](int32_t position) {
        if (position >= 524288) track->Worker().Cancel();
    };
    Combine("00:00.00000", "00:10.00000", {&a, &b});
    view.onBlock = nullptr;
    EXPECT_EQ(track->TrackState(), tsClosing);
    EXPECT_TRUE(sink.Saw(kMsgDone, "End Combining"));
    EXPECT_TRUE(sink.Saw(kMsgAppend, " ... Action Cancelled"));
    EXPECT_EQ(a.TrackState(), tsReady);
    EXPECT_EQ(b.TrackState(), tsReady);
    EXPECT_EQ(a.PlayPosition, 1000);
    EXPECT_EQ(b.PlayPosition, b.StartOffset + 2000);
    EXPECT_EQ(a.ConversionBuffer(), nullptr);
    EXPECT_EQ(b.ConversionBuffer(), nullptr);
    EXPECT_EQ(TempFiles(), tempBefore); // the target's own file and picture only
    const std::string targetFile = track->FileName;
    track.reset();
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
    (void)targetFile;
}

TEST_F(CombineTest, FailuresBeforeAndDuringTheMix) {
    // A source whose conversion cannot be opened (rates 441 times apart): nothing is written,
    // the source prepared before it is released, the target stays the empty new track.
    Target(cd);
    TVelTrack& good = Source("g.wav", cd, Noise16(4000, 1, 100));
    TVelTrack& bad = Source("b.wav", MakePcmFormat(100, 16, 2), Bytes(400, 1));
    good.Cue(400);
    Combine("00:00.00000", "00:01.00000", {&good, &bad});
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "AcmStreamOpen "));
    EXPECT_FALSE(sink.Saw(kMsgStart, "Start Combining"));
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->DataLength, 0);
    EXPECT_EQ(Working(), Bytes{});
    EXPECT_EQ(good.TrackState(), tsReady);
    EXPECT_EQ(bad.TrackState(), tsReady);
    EXPECT_EQ(good.PlayPosition, 400);
    EXPECT_EQ(good.ConversionBuffer(), nullptr);

    // A write that fails after the first chunk: the target keeps that chunk.
    auto second = std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock);
    std::swap(track, second);
    Target(cd);
    const Bytes data = Noise16(3 * 524288 / 2, 5, 20000);
    TVelTrack& s = Source("s.wav", cd, data);
    {
        FileSizeLimit limit(46 + 524288);
        Combine("00:00.00000", "00:08.91646", {&s}); // 1572864 bytes
    }
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "MMIOWrite. data "));
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_TRUE(Working() == Bytes(data.begin(), data.begin() + 524288));
    EXPECT_EQ(s.TrackState(), tsReady);
    std::swap(track, second);
    second.reset();
}

TEST_F(CombineTest, BadTextsAndSourcesStartingEarly) {
    // A length that is no time text combines nothing; the target is an empty track, Ready.
    Target(mono16);
    TVelTrack& s = Source("a.wav", mono16, Samples16({1, 2, 3, 4, 5, 6, 7, 8}));
    Combine("00:00.00000", "garbage", {&s});
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(Working(), Bytes{});

    // A source that began before the combine's start loses what lies before it; the target
    // itself in the list is skipped. 0.00025 s = 2 frames at 8000 Hz.
    auto second = std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock);
    std::swap(track, second);
    Target(mono16);
    Combine("00:00.00025", "00:00.00050", {&s, track.get()});
    EXPECT_EQ(Working(), Samples16({3, 4, 5, 6}));
    EXPECT_EQ(s.TrackState(), tsReady);
    std::swap(track, second);
    second.reset();
}

// The mixing kernel against a plain long double sum, over random blocks and gains chosen to
// land on halves, both widths, an odd sample count and more samples than one tile.
TEST(CombineMix, KernelMatchesThePlainSum) {
    std::mt19937 rng(42);
    const float gains[] = {1.0f, 0.0f, 0.0625f, 0.5f, 2.0f, 0.03125f, 0.7f, 1.37f, 0.2401f};
    for (bool wide : {true, false}) {
        for (int samples : {1, 7, 2048, 5001}) {
            const int width = wide ? 2 : 1;
            std::vector<Bytes> blocks(5);
            std::vector<TMixInput> inputs;
            std::uniform_int_distribution<int> byte(0, 255);
            std::uniform_int_distribution<int> pick(0, 8);
            for (auto& b : blocks) {
                b.resize(static_cast<std::size_t>(samples * width));
                for (auto& v : b)
                    v = static_cast<uint8_t>(byte(rng));
                inputs.push_back({b.data(), gains[pick(rng)], gains[pick(rng)]});
            }
            Bytes got(static_cast<std::size_t>(samples * width), 0xAA);
            MixChunk(inputs.data(), inputs.size(), got.data(), samples * width, wide);
            for (int k = 0; k < samples; ++k) {
                long long sum = 0;
                for (const auto& in : inputs) {
                    const long double x =
                        wide ? static_cast<int16_t>(in.block[2 * k] | in.block[2 * k + 1] << 8)
                             : in.block[k] - 128;
                    const long double g = (k % 2 == 0) ? in.leftGain : in.rightGain;
                    sum += static_cast<long long>(std::nearbyintl(x * g));
                }
                if (wide) {
                    sum = std::clamp(sum, -32767LL, 32767LL);
                    ASSERT_EQ(Sample16(got, static_cast<std::size_t>(k)), sum) << k;
                } else {
                    sum = std::clamp(sum, -128LL, 127LL);
                    ASSERT_EQ(got[static_cast<std::size_t>(k)], sum + 128) << k;
                }
            }
        }
    }
}

TEST(CombineMix, PanLawGains) {
    // Worked by hand: 0.5^4 = 0.0625; pan +-100 gives 0; 0.7f^4 as a float is 0.24009998.
    EXPECT_EQ(CombineGains(-50, 1.0f, false).right, 0.0625f);
    EXPECT_EQ(CombineGains(-50, 1.0f, false).left, 1.0f);
    EXPECT_EQ(CombineGains(100, 1.5f, false).left, 0.0f);
    EXPECT_EQ(CombineGains(100, 1.5f, false).right, 1.5f);
    EXPECT_EQ(CombineGains(30, 1.0f, false).left, 0.24009998f);
    EXPECT_EQ(CombineGains(-50, 0.5f, true).right, 0.5f); // mono: no pan
    EXPECT_EQ(CombineGains(0, 2.0f, false).left, 2.0f);
    EXPECT_EQ(CombineGains(250, 1.0f, false).left, 0.0f); // beyond the ends: held at 100
}

// The combine's result cannot be opened again (its file went away under it): the main window's
// clock ends a combine only on a target that is Ready again or Closing, so Closing it is.
TEST_F(CombineTest, ATargetThatCannotReopenItsFileEndsClosing) {
    Target(mono16);
    TVelTrack& a = Source("a.wav", mono16, Noise16(8000, 2, 1000));
    const std::string targetFile = track->FileName;
    view.onBlock = [&](int32_t) { ::unlink(targetFile.c_str()); };
    const int before = owner.stateChanges;
    Combine("00:00.00000", "00:01.00000", {&a});
    view.onBlock = nullptr;
    EXPECT_EQ(track->TrackState(), tsClosing);
    EXPECT_GT(owner.stateChanges, before + 1); // Busy, then Closing
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "MMIOOpen. "));
    EXPECT_EQ(a.TrackState(), tsReady);
}
