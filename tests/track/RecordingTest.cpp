// Recording against the private sound server (tests/pulse/server.sh): a second track plays a
// known signal to "Test_Sink" while the track under test records "Test_Mic" over its
// selection. Expected data is built here sample by sample; nothing is taken from the code's
// own output.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <thread>

#include "platform/SoundOutput.h"
#include "platform/WaveIn.h"
#include "studio/core/Transport.h"
#include "tests/common/BlockingUi.h"
#include "tests/track/TrackFixture.h"
#include "tests/track/VirtualSoundDevice.h"
#include "track/RecordingState.h"

namespace {

using namespace std::chrono_literals;

constexpr int32_t kFrame = 4;          // 16-bit stereo [bytes]
constexpr int32_t kSecond = 44100 * 4; // [bytes]
constexpr double kToneHz = 441.0;      // exactly 100 frames a period at 44100 Hz
constexpr double kAmplitude = 8000.0;
constexpr int kLoud = 2000; // a sample beyond this is the tone; the server's silence is 0

int16_t LeftAt(const Bytes& data, std::size_t frame) {
    return static_cast<int16_t>(data[frame * kFrame] | data[frame * kFrame + 1] << 8);
}

// 16-bit stereo: the tone in both channels over frames [from, to), silence elsewhere.
Bytes ToneData(int32_t bytes, int64_t fromFrame, int64_t toFrame) {
    Bytes b(static_cast<std::size_t>(bytes), 0);
    const double w = 2.0 * std::numbers::pi * kToneHz / 44100.0;
    for (int64_t f = std::max<int64_t>(fromFrame, 0); f < toFrame && f * kFrame < bytes; ++f) {
        const auto v = static_cast<int16_t>(std::lround(kAmplitude * std::sin(w * f)));
        for (int c = 0; c < 2; ++c) {
            b[f * kFrame + c * 2] = static_cast<uint8_t>(v & 0xFF);
            b[f * kFrame + c * 2 + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
        }
    }
    return b;
}

// 16-bit stereo: a square wave of +8000 and -8000, 50 frames each, in both channels.
Bytes SquareData(int32_t bytes) {
    Bytes b(static_cast<std::size_t>(bytes), 0);
    for (int64_t f = 0; (f + 1) * kFrame <= bytes; ++f) {
        const int16_t v = f % 100 < 50 ? 8000 : -8000;
        for (int c = 0; c < 2; ++c) {
            b[f * kFrame + c * 2] = static_cast<uint8_t>(v & 0xFF);
            b[f * kFrame + c * 2 + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
        }
    }
    return b;
}

// First frame in [from, to) whose left sample is loud; -1 when none.
int64_t FirstLoudFrame(const Bytes& data, int64_t from, int64_t to) {
    for (int64_t f = from; f < to; ++f)
        if (std::abs(LeftAt(data, f)) > kLoud) return f;
    return -1;
}

// A pure sine obeys x[n+1] = 2 cos(w) x[n] - x[n-1] up to rounding: a lost, repeated or
// reordered stretch breaks the recurrence. Answers the first frame in [from, to) that breaks
// it, or -1.
int64_t FirstBreak(const Bytes& data, int64_t from, int64_t to) {
    const double k = 2.0 * std::cos(2.0 * std::numbers::pi * kToneHz / 44100.0);
    for (int64_t f = from + 1; f + 1 < to; ++f) {
        const double residual = LeftAt(data, f + 1) - k * LeftAt(data, f) + LeftAt(data, f - 1);
        if (std::abs(residual) > 64.0) return f;
    }
    return -1;
}

// 16-bit stereo silence with a click (one frame of +20000) at each of `frames`.
Bytes ClickData(int32_t bytes, const std::vector<int64_t>& frames) {
    Bytes b(static_cast<std::size_t>(bytes), 0);
    for (const int64_t f : frames)
        for (int c = 0; c < 2; ++c) {
            b[f * kFrame + c * 2] = static_cast<uint8_t>(20000 & 0xFF);
            b[f * kFrame + c * 2 + 1] = static_cast<uint8_t>(20000 >> 8);
        }
    return b;
}

// Turns latency compensation on or off for the scope.
class TScopedLatency {
  public:
    explicit TScopedLatency(TRecordingLatency latency) : saved_(RecordingLatency()) {
        SetRecordingLatency(latency);
    }
    ~TScopedLatency() { SetRecordingLatency(saved_); }
    TScopedLatency(const TScopedLatency&) = delete;
    TScopedLatency& operator=(const TScopedLatency&) = delete;

  private:
    TRecordingLatency saved_;
};

Bytes Slice(const Bytes& b, int64_t from, int64_t to) {
    return Bytes(b.begin() + from, b.begin() + to);
}

bool WaitUntil(const std::function<bool()>& done) {
    // A hang guard only; nothing here measures speed.
    for (int i = 0; i < 12000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

int32_t MicNumber() {
    const auto devices = EnumerateInputDevices();
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i].productName == "Test_Mic") return static_cast<int32_t>(i);
    return -2;
}

class RecordingTest : public TrackTest {
  protected:
    void SetUp() override {
        if (std::getenv("PULSE_SERVER") == nullptr)
            GTEST_SKIP() << "PULSE_SERVER not set: start tests/pulse/server.sh";
        TrackTest::SetUp();
        ASSERT_EQ(CreateSoundOutputDevice("", device), DS_OK);
        other = std::make_unique<TVelTrack>(otherOwner, otherSink, otherView, clipboard, &fileLock);
        track->SetSoundDevice(device.get(), cd);
        other->SetSoundDevice(device.get(), cd);
        mic = MicNumber();
        ASSERT_GE(mic, 0);
        track->SetInputDevice(mic);
        // The Studio's clock, faster: the playing track's position follows its cursor.
        clock = std::thread([this] {
            while (!stopClock) {
                UpdatePlayingTracks({{other.get(), false}});
                std::this_thread::sleep_for(10ms);
            }
        });
    }
    void TearDown() override {
        stopClock = true;
        if (clock.joinable()) clock.join();
        if (other) {
            other->Stop();
            other->WaitForWorker();
        }
        other.reset();
        if (track) TrackTest::TearDown();
        device.reset();
    }

    void OpenOther(const Bytes& data) {
        const std::string path = userDir + "/other.wav";
        WriteFile(path, WaveBytes(cd, data));
        other->FileName = path;
        other->Reopen();
        other->WaitForWorker();
        ASSERT_EQ(other->TrackState(), tsReady);
    }

    // The Studio's order: prepare, start the other buffer, record, then the other feeder.
    bool Record() {
        if (!track->PrepareRecording()) return false;
        other->StartBuffer();
        track->StartPreparedRecording();
        other->StartFeeder();
        return true;
    }
    void StopOther() {
        other->Stop();
        other->WaitForWorker();
    }

    std::unique_ptr<TSoundOutputDevice> device;
    RecordingOwner otherOwner;
    RecordingSink otherSink;
    THeadlessTrackView otherView;
    std::unique_ptr<TVelTrack> other;
    int32_t mic = -2;
    std::atomic<bool> stopClock{false};
    std::thread clock;
};

TEST_F(RecordingTest, LoopbackBurstArrivesAndTheRestIsKept) {
    // The other track holds a burst at 1.0 s .. 1.2 s; this one records 0.5 s .. 2.5 s.
    OpenOther(ToneData(4 * kSecond, 44100, 44100 + 8820));
    const Bytes original = Pattern(3 * kSecond, 7);
    OpenUserFile("a.wav", cd, original);
    const int32_t selStart = kSecond / 2, selEnd = 5 * kSecond / 2;
    Select(selStart, selEnd);
    track->Cue(0); // outside the selection: the take starts at the selection start
    other->Cue(selStart);

    ASSERT_TRUE(Record());
    EXPECT_EQ(track->PlayPosition, selStart);
    track->WaitForWorker();
    StopOther();

    ASSERT_EQ(track->TrackState(), tsReady);
    const Bytes after = Working();
    ASSERT_EQ(after.size(), original.size());
    EXPECT_EQ(Slice(after, 0, selStart), Slice(original, 0, selStart));
    EXPECT_EQ(Slice(after, selEnd, after.size()), Slice(original, selEnd, original.size()));
    // The pattern is gone: quiet until the burst, which lands a little after 1.0 s.
    const int64_t burst = FirstLoudFrame(after, selStart / kFrame, selEnd / kFrame);
    ASSERT_GT(burst, 0);
    const double offsetMs = (burst - 44100) / 44.1;
    std::printf("loopback offset %.1f ms\n", offsetMs);
    EXPECT_GE(offsetMs, 0.0);
    EXPECT_LT(offsetMs, 500.0);
    EXPECT_EQ(track->PlayPosition, selStart); // ran to the selection end
    EXPECT_EQ(track->RecordingDroppedBytes(), 0u);

    EXPECT_TRUE(sink.Saw(kMsgStatus, "Preparing to record with Test_Mic"));
    EXPECT_TRUE(sink.Saw(kMsgStatus, "Recording with Test_Mic"));
    EXPECT_TRUE(sink.Saw(kMsgStatus, "Recording Stopped, Writing Data"));
    EXPECT_TRUE(sink.Saw(kMsgStart, "Start Preparing to Record with Test_Mic"));
    ASSERT_EQ(track->UndoNames, (std::vector<std::string>{"Original", "Recording"}));
    track->Undo();
    track->WaitForWorker();
    EXPECT_EQ(Working(), original);
}

TEST_F(RecordingTest, TheTakeIsDrawnLiveAndGivesWayToItsPicture) {
    // A 3 s track on the view's 400 px: positions map onto 398 columns, 529200 / 398 = 1329.6
    // bytes each. The take from 0.5 s (column trunc(88200 / 529200 * 398) = 66) to 2.0 s
    // (column trunc(352800 / 529200 * 398) = 265) hears a square wave of +-8000.
    OpenOther(SquareData(5 * kSecond));
    const int32_t length = 3 * kSecond, selStart = kSecond / 2, selEnd = 2 * kSecond;
    OpenUserFile("a.wav", cd, Pattern(length, 12));
    Select(selStart, selEnd);
    track->Cue(selStart);
    other->Cue(selStart);
    const int clearsBefore = view.OverlayClears();
    ASSERT_TRUE(Record());
    // The recording marker, looked at while the take runs: never behind an earlier look,
    // never outside the take.
    int32_t lastMarker = -1;
    int markerLooks = 0;
    bool markerInOrder = true;
    while (track->InWork()) {
        const int32_t marker = track->RecordingMarker();
        if (marker >= 0) {
            ++markerLooks;
            markerInOrder =
                markerInOrder && marker >= lastMarker && marker >= selStart && marker <= selEnd;
            lastMarker = marker;
        }
        std::this_thread::sleep_for(5ms);
    }
    track->WaitForWorker();
    StopOther();
    ASSERT_EQ(track->TrackState(), tsReady);
    EXPECT_GT(markerLooks, 0);
    EXPECT_TRUE(markerInOrder);
    EXPECT_EQ(track->RecordingMarker(), -1);

    // Drawn column after column from the record start's column, none at or past the selection
    // end's (that one is still being recorded when the take ends).
    const std::vector<THeadlessOverlayColumn> drawn = view.OverlayLog();
    ASSERT_FALSE(drawn.empty());
    std::printf("take columns drawn live: %zu of %d\n", drawn.size(), 265 - 66);
    EXPECT_EQ(drawn.front().column, 66);
    for (std::size_t k = 1; k < drawn.size(); ++k)
        ASSERT_EQ(drawn[k].column, drawn[k - 1].column + 1) << k;
    EXPECT_LT(drawn.back().column, 265);
    // One look at most every 10 ms: the last one falls shortly before the end.
    EXPECT_GE(drawn.back().column, 66 + (265 - 66) * 8 / 10);

    // Height 100, half 50, full scale 8000: the square's averages +8000 and -8000 give rows
    // 50 - 50 + 1 = 1 and 50 + 50 + 1 = 101; silence (the input's latency) 51 and 51; a column
    // that meets the wave's start may see one half-wave only.
    int tone = 0;
    bool toneBegun = false;
    for (const THeadlessOverlayColumn& c : drawn) {
        const bool isTone = c.yTop == 1 && c.yBottom == 101;
        const bool quiet = c.yTop == 51 && c.yBottom == 51;
        const bool onset = (c.yTop == 1 || c.yTop == 51) && (c.yBottom == 51 || c.yBottom == 101);
        if (toneBegun) {
            EXPECT_TRUE(isTone) << "column " << c.column;
        }
        EXPECT_TRUE(isTone || quiet || onset) << "column " << c.column;
        toneBegun = toneBegun || isTone;
        tone += isTone;
    }
    EXPECT_GE(tone, static_cast<int>(drawn.size()) * 8 / 10);

    // The take's redraw cleared the overlay; the picture read from the file shows the same
    // columns where the overlay showed the wave. The redraw's blocks begin at column 66's first
    // byte, 444 bytes before the take's: the first column that met the wave may differ.
    EXPECT_GT(view.OverlayClears(), clearsBefore);
    EXPECT_TRUE(view.Overlay().empty());
    const std::vector<THeadlessColumn> picture = view.Clean();
    ASSERT_EQ(picture.size(), 400u);
    int firstTone = -1;
    for (const THeadlessOverlayColumn& c : drawn) {
        if (c.yTop != 1 || c.yBottom != 101) continue;
        if (firstTone < 0) firstTone = c.column;
        if (c.column == firstTone) continue;
        EXPECT_EQ(picture[c.column].yTop, 1) << "column " << c.column;
        EXPECT_EQ(picture[c.column].yBottom, 101) << "column " << c.column;
    }
}

TEST_F(RecordingTest, RecordStartFollowsThePlayPosition) {
    // Nothing plays: the microphone hears digital silence, so the take is exactly zeros.
    const Bytes original = Pattern(3 * kSecond, 3);
    OpenUserFile("a.wav", cd, original);
    const int32_t selStart = kSecond / 2, selEnd = kSecond * 2;
    struct Case {
        int32_t play;
        int32_t expectedStart;
    };
    // Inside; on the end (outside); before the start (outside).
    for (const Case c : {Case{kSecond, kSecond}, Case{selEnd, selStart}, Case{400, selStart}}) {
        SCOPED_TRACE(c.play);
        track->UndoAll();
        track->WaitForWorker();
        Select(selStart, selEnd);
        track->Cue(c.play);
        ASSERT_TRUE(track->StartRecording());
        track->WaitForWorker();
        ASSERT_EQ(track->TrackState(), tsReady);
        const Bytes after = Working();
        ASSERT_EQ(after.size(), original.size());
        EXPECT_EQ(Slice(after, 0, c.expectedStart), Slice(original, 0, c.expectedStart));
        EXPECT_EQ(Slice(after, c.expectedStart, selEnd), Bytes(selEnd - c.expectedStart, 0));
        EXPECT_EQ(Slice(after, selEnd, after.size()), Slice(original, selEnd, original.size()));
    }
}

TEST_F(RecordingTest, BufferSizesOneTwoAndReusedKeepTheToneWhole) {
    // 300 KiB fits one buffer, 800 KiB takes 512 + 288 KiB, 3 MiB reuses both; an odd size
    // makes the last refill a short one. The tone must run unbroken to the selection end.
    for (const int32_t size : {300 * 1024, 800 * 1024, 3 * 1024 * 1024, 3 * 1024 * 1024 + 4000}) {
        SCOPED_TRACE(size);
        const int32_t selStart = kSecond / 4, selEnd = selStart + size;
        const int32_t length = selEnd + kSecond / 4;
        track->UndoAll();
        track->WaitForWorker();
        OpenOther(ToneData(length + 3 * kSecond, 0, (length + 3 * kSecond) / kFrame));
        const Bytes original = Pattern(length, 11);
        OpenUserFile("a.wav", cd, original);
        Select(selStart, selEnd);
        track->Cue(selStart);
        other->Cue(selStart);
        ASSERT_TRUE(Record());
        track->WaitForWorker();
        StopOther();
        const Bytes after = Working();
        ASSERT_EQ(after.size(), original.size());
        EXPECT_EQ(Slice(after, 0, selStart), Slice(original, 0, selStart));
        EXPECT_EQ(Slice(after, selEnd, length), Slice(original, selEnd, length));
        const int64_t first = FirstLoudFrame(after, selStart / kFrame, selEnd / kFrame);
        ASSERT_GT(first, 0);
        const int64_t broken = FirstBreak(after, first + 2, selEnd / kFrame);
        EXPECT_EQ(broken, -1) << "at take byte " << broken * kFrame - selStart << " of " << size;
        double tail = 0; // the tone reaches the selection end
        for (int64_t f = selEnd / kFrame - 100; f < selEnd / kFrame; ++f)
            tail += static_cast<double>(LeftAt(after, f)) * LeftAt(after, f) / 100;
        EXPECT_GT(std::sqrt(tail), 4000.0);
        EXPECT_EQ(track->RecordingDroppedBytes(), 0u);
        EXPECT_EQ(track->PlayPosition, selStart);
    }
}

TEST_F(RecordingTest, RecordingOverAMinuteLosesNoBuffer) {
    const int32_t selStart = kSecond / 2, selEnd = selStart + 62 * kSecond;
    const int32_t length = selEnd + kSecond / 2;
    OpenOther(ToneData(length + 3 * kSecond, 0, (length + 3 * kSecond) / kFrame));
    OpenUserFile("a.wav", cd, Bytes(static_cast<std::size_t>(length), 0));
    Select(selStart, selEnd);
    track->Cue(selStart);
    other->Cue(selStart);
    ASSERT_TRUE(Record());
    track->WaitForWorker();
    StopOther();
    const Bytes after = Working();
    ASSERT_EQ(after.size(), static_cast<std::size_t>(length));
    const int64_t first = FirstLoudFrame(after, selStart / kFrame, selEnd / kFrame);
    ASSERT_GT(first, 0);
    // Every 10 ms window after the start latency carries the tone (RMS of a sine of
    // amplitude 8000 is about 5657).
    int quietWindows = 0;
    for (int64_t w = first + 100; w + 441 <= selEnd / kFrame; w += 441) {
        double sum = 0;
        for (int64_t f = w; f < w + 441; ++f)
            sum += static_cast<double>(LeftAt(after, f)) * LeftAt(after, f);
        if (std::sqrt(sum / 441) < 4000) ++quietWindows;
    }
    EXPECT_EQ(quietWindows, 0);
    EXPECT_EQ(FirstBreak(after, first + 2, selEnd / kFrame), -1);
    EXPECT_EQ(track->RecordingDroppedBytes(), 0u);
}

TEST_F(RecordingTest, StopHalfWayAndStopAllCutTheTake) {
    const int32_t selStart = kSecond / 2, selEnd = 7 * kSecond / 2;
    const int32_t length = 4 * kSecond;
    const Bytes original = Pattern(length, 5);
    THeadlessTrackView mutedView;
    TVelTrack muted(otherOwner, otherSink, mutedView, clipboard, &fileLock);
    for (const bool stopAll : {false, true}) {
        SCOPED_TRACE(stopAll ? "stop all" : "own stop");
        track->UndoAll();
        track->WaitForWorker();
        OpenOther(ToneData(length + kSecond, 0, (length + kSecond) / kFrame));
        OpenUserFile("a.wav", cd, original);
        Select(selStart, selEnd);
        track->Cue(selStart);
        other->Cue(selStart);
        // The Studio's own order and Stop all; a muted track takes no part.
        const std::vector<TTransportTrack> song{
            {track.get(), false}, {other.get(), false}, {&muted, true}};
        ASSERT_TRUE(RecordAll(song, *track, false));
        EXPECT_FALSE(RecordAll(song, *track, false)); // the take's worker is in its work
        EXPECT_EQ(other->TrackState(), tsPlaying);
        EXPECT_EQ(muted.TrackState(), tsEmpty);
        ASSERT_TRUE(WaitUntil([&] { return track->PlayPosition > selStart + kSecond; }));
        std::string stoppedAt;
        if (stopAll)
            stoppedAt = StopAll(song);
        else
            track->Stop();
        track->WaitForWorker();
        int32_t expectedEnd = -1;
        if (stopAll) {
            expectedEnd = track->TextPosition(stoppedAt);
            expectedEnd -= expectedEnd % kFrame; // the cut falls on a whole frame
        }
        StopOther();
        ASSERT_EQ(track->TrackState(), tsReady);
        const int32_t end = track->PlayPosition;
        if (stopAll) {
            EXPECT_EQ(end, expectedEnd);
        }
        EXPECT_GT(end, selStart + kSecond / 2);
        EXPECT_LT(end, selEnd);
        const Bytes after = Working();
        ASSERT_EQ(after.size(), original.size());
        EXPECT_EQ(Slice(after, 0, selStart), Slice(original, 0, selStart));
        EXPECT_EQ(Slice(after, end, length), Slice(original, end, length));
        EXPECT_NE(Slice(after, selStart, end), Slice(original, selStart, end));
        EXPECT_GT(FirstLoudFrame(after, selStart / kFrame, end / kFrame), 0);
        ASSERT_EQ(track->UndoNames.back(), "Recording");
        // A stop ends the live display as the end of the selection does.
        EXPECT_TRUE(view.Overlay().empty());
        EXPECT_EQ(track->RecordingMarker(), -1);
    }
}

TEST_F(RecordingTest, RateOfTheTrackDrivesTheOutputWhileRecording) {
    TVirtualSoundDevice virtualOutput;
    track->SetSoundDevice(&virtualOutput, cd);
    const WAVEFORMATEX low = MakePcmFormat(22050, 16, 1);
    OpenUserFile("low.wav", low, Pattern(22050 * 2 * 2, 9));
    Select(0, 22050 * 2);
    ASSERT_TRUE(track->PrepareRecording());
    EXPECT_EQ(virtualOutput.OutputFormat().nSamplesPerSec, 22050u);
    track->StartPreparedRecording();
    track->WaitForWorker();
    EXPECT_EQ(virtualOutput.OutputFormat().nSamplesPerSec, 44100u);
    EXPECT_EQ(track->UndoNames.back(), "Recording");

    // A rate the server refuses: the open fails, the output is switched back, nothing changes.
    const WAVEFORMATEX refused = MakePcmFormat(400000, 8, 1);
    const Bytes data = Pattern(4000, 2);
    const std::string path = OpenUserFile("refused.wav", refused, data);
    Select(0, 2000);
    const auto undoNames = track->UndoNames;
    ASSERT_FALSE(track->PrepareRecording());
    EXPECT_EQ(virtualOutput.OutputFormat().nSamplesPerSec, 44100u);
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "WaveInOpen. Test_Mic "));
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->UndoNames, undoNames);
    EXPECT_EQ(DataOf(path), data);
    track->SetSoundDevice(device.get(), cd);
}

TEST_F(RecordingTest, DeviceFailuresLeaveTheTrackAsItWas) {
    const Bytes original = Pattern(kSecond, 4);
    const std::string path = OpenUserFile("a.wav", cd, original);
    Select(0, kSecond / 2);
    const auto unchanged = [&] {
        EXPECT_EQ(track->TrackState(), tsReady);
        EXPECT_EQ(track->FileName, path);
        EXPECT_TRUE(track->UndoNames.empty());
        EXPECT_EQ(Working(), original);
    };
    const auto before = TempFiles();

    track->SetInputDevice(999);
    ASSERT_TRUE(track->StartRecording());
    track->WaitForWorker();
    EXPECT_TRUE(sink.Saw(kMsgError, "Invalid Input Device.  WaveinGetDevCaps. 2 Use Menu "
                                    "Options|Sound to select a valid one."));
    EXPECT_EQ(track->InputDeviceName(), "Invalid Input Device");
    unchanged();

    // A selection outside the data is refused before any device is touched.
    track->SetInputDevice(mic);
    Select(0, kSecond + 4);
    EXPECT_FALSE(track->PrepareRecording());
    unchanged();
    Select(0, kSecond / 2);

    {
        const char* old = std::getenv("PULSE_SERVER");
        const std::string saved = old ? old : "";
        setenv("PULSE_SERVER", ("unix:" + root + "/nowhere").c_str(), 1);
        const bool prepared = track->PrepareRecording();
        setenv("PULSE_SERVER", saved.c_str(), 1);
        EXPECT_FALSE(prepared);
    }
    EXPECT_TRUE(sink.Saw(kMsgError, "No Input devices available."));
    unchanged();
    EXPECT_EQ(TempFiles(), before);
}

TEST_F(RecordingTest, ServerGoneMidRecordingFailsTheRunAndKeepsTheTrack) {
    const std::string script = std::string(WAVESTACK_SOURCE_DIR) + "/tests/pulse/server.sh";
    std::string exports;
    if (FILE* pipe = popen(
            ("env -u PULSE_SERVER -u PULSE_RUNTIME_PATH " + script + " start 2>/dev/null").c_str(),
            "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
            exports += chunk;
        pclose(pipe);
    }
    const auto value = [&exports](const std::string& name) {
        const std::size_t at = exports.find(name + "='");
        if (at == std::string::npos) return std::string();
        const std::size_t from = at + name.size() + 2;
        return exports.substr(from, exports.find('\'', from) - from);
    };
    const std::string server = value("PULSE_SERVER");
    const std::string dir = value("WAVESTACK_PULSE_DIR");
    ASSERT_FALSE(server.empty()) << exports;
    const auto stopServer = [&] {
        std::system(("WAVESTACK_PULSE_DIR='" + dir + "' " + script + " stop 2>/dev/null").c_str());
    };

    const Bytes original = Pattern(20 * kSecond, 8);
    const std::string path = OpenUserFile("a.wav", cd, original);
    Select(0, 20 * kSecond);
    track->SetInputDevice(WAVE_MAPPER);
    const std::string saved = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", server.c_str(), 1);
    const bool started = track->StartRecording();
    const bool recording = WaitUntil([&] { return track->PlayPosition > kSecond; }) && started;
    setenv("PULSE_SERVER", saved.c_str(), 1);
    stopServer();
    track->WaitForWorker();
    ASSERT_TRUE(recording);
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "Wavein"));
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->FileName, path);
    EXPECT_TRUE(track->UndoNames.empty());
    EXPECT_EQ(Working(), original);
    // Columns were drawn while it recorded; the failed take takes them away again.
    EXPECT_FALSE(view.OverlayLog().empty());
    EXPECT_TRUE(view.Overlay().empty());
    EXPECT_EQ(track->RecordingMarker(), -1);
}

TEST_F(RecordingTest, LoopbackOffsetOverTenRuns) {
    OpenOther(ToneData(3 * kSecond, 44100, 44100 + 4410));
    const Bytes original = Pattern(2 * kSecond, 6);
    OpenUserFile("a.wav", cd, original);
    std::vector<double> offsets;
    for (int run = 0; run < 10; ++run) {
        Select(kSecond / 2, 3 * kSecond / 2);
        track->Cue(kSecond / 2);
        other->Cue(kSecond / 2);
        ASSERT_TRUE(Record());
        track->WaitForWorker();
        StopOther();
        const Bytes after = Working();
        const int64_t burst = FirstLoudFrame(after, kSecond / 2 / kFrame, 3 * kSecond / 2 / kFrame);
        ASSERT_GT(burst, 0);
        offsets.push_back((burst - 44100) / 44.1);
    }
    double mean = 0;
    for (double o : offsets)
        mean += o / offsets.size();
    double spread = 0;
    for (double o : offsets)
        spread += (o - mean) * (o - mean) / offsets.size();
    const auto [lo, hi] = std::minmax_element(offsets.begin(), offsets.end());
    std::printf("loopback offset over %zu runs: mean %.1f ms, sd %.1f ms, min %.1f, max %.1f\n",
                offsets.size(), mean, std::sqrt(spread), *lo, *hi);
    for (double o : offsets)
        EXPECT_GE(o, 0.0);
}

TEST_F(RecordingTest, ClicksLandWhereTheyWerePlayedOverTenTakes) {
    // The other track clicks every 100 ms from 0.55 s to 1.45 s; the take covers 0.5 s .. 1.5 s.
    // Each click is looked for from 30 ms before to 70 ms after where it was played; the take
    // runs ten times placed as recorded, then ten times with the compensation.
    std::vector<int64_t> clicks;
    for (int k = 0; k < 10; ++k)
        clicks.push_back(22050 + 2205 + 4410 * k);
    OpenOther(ClickData(3 * kSecond, clicks));
    const Bytes original = Pattern(2 * kSecond, 6);
    OpenUserFile("a.wav", cd, original);
    const int32_t selStart = kSecond / 2, selEnd = 3 * kSecond / 2;
    struct TFigures {
        std::vector<double> offsets; // [ms] recorded minus played, every click found
        int missing = 0;             // clicks not heard where the take has them
        int extra = 0;               // loud frames that are no click
    };
    const auto measure = [&](bool compensate) {
        TScopedLatency latency({compensate, 0});
        TFigures figures;
        for (int run = 0; run < 10; ++run) {
            Select(selStart, selEnd);
            track->Cue(selStart);
            other->Cue(selStart);
            EXPECT_TRUE(Record());
            track->WaitForWorker();
            StopOther();
            const Bytes after = Working();
            int loud = 0;
            for (int64_t f = selStart / kFrame; f < selEnd / kFrame; ++f)
                loud += std::abs(LeftAt(after, f)) > 10000;
            int found = 0;
            for (const int64_t c : clicks) {
                const int64_t from = std::max<int64_t>(c - 1323, selStart / kFrame);
                const int64_t to = std::min<int64_t>(c + 3087, selEnd / kFrame);
                int64_t f = from;
                while (f < to && std::abs(LeftAt(after, f)) <= 10000)
                    ++f;
                if (f == to) {
                    ++figures.missing;
                    continue;
                }
                ++found;
                figures.offsets.push_back(static_cast<double>(f - c) / 44.1);
            }
            figures.extra += loud - found;
        }
        return figures;
    };
    const auto report = [](const char* name, const TFigures& figures) {
        double mean = 0, worst = 0;
        for (const double o : figures.offsets) {
            mean += o / static_cast<double>(figures.offsets.size());
            worst = std::max(worst, std::abs(o));
        }
        std::printf("clicks %s: %zu found, %d missing, mean %.2f ms, max %.2f ms off\n", name,
                    figures.offsets.size(), figures.missing, mean, worst);
        return std::pair{mean, worst};
    };

    const TFigures before = measure(false);
    EXPECT_TRUE(sink.Saw(kMsgStatus, "Latency compensation off"));
    const TFigures after = measure(true);
    EXPECT_TRUE(sink.SawPrefix(kMsgStatus, "Latency compensation: the take was placed "));
    const auto [beforeMean, beforeWorst] = report("as recorded", before);
    const auto [afterMean, afterWorst] = report("compensated", after);
    // As recorded the take lies late by the round trip; compensated, every click is where it
    // was played, once (on the private server about 0.5 to 1 ms late on average, 1 to 3 ms at
    // most over a hundred clicks).
    EXPECT_GT(beforeMean, 10.0);
    EXPECT_EQ(after.missing, 0);
    EXPECT_EQ(after.extra, 0);
    EXPECT_EQ(after.offsets.size(), 100u);
    EXPECT_LE(std::abs(afterMean), 1.5);
    EXPECT_LE(afterWorst, 4.0);
    (void)beforeWorst;
}

TEST_F(RecordingTest, CompensatedTakeHoldsWhatWasHeardFromItsStartToAStopAll) {
    // The other track plays a tone throughout. Compensated, the take is loud from its first
    // frames, and after Stop all the input goes on until it has heard the stop position: the
    // take is loud up to its cut, exactly at that position, and the rest is kept.
    TScopedLatency latency({true, 0});
    const int32_t selStart = kSecond / 2, selEnd = 7 * kSecond / 2;
    const int32_t length = 4 * kSecond;
    const Bytes original = Pattern(length, 5);
    OpenOther(ToneData(length + kSecond, 0, (length + kSecond) / kFrame));
    OpenUserFile("a.wav", cd, original);
    Select(selStart, selEnd);
    track->Cue(selStart);
    other->Cue(selStart);
    const std::vector<TTransportTrack> song{{track.get(), false}, {other.get(), false}};
    ASSERT_TRUE(RecordAll(song, *track, false));
    ASSERT_TRUE(WaitUntil([&] { return track->PlayPosition > selStart + kSecond; }));
    const std::string stoppedAt = StopAll(song);
    track->WaitForWorker();
    int32_t expectedEnd = track->TextPosition(stoppedAt);
    expectedEnd -= expectedEnd % kFrame;
    StopOther();
    ASSERT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(track->PlayPosition, expectedEnd);
    const Bytes after = Working();
    ASSERT_EQ(after.size(), original.size());
    EXPECT_EQ(Slice(after, 0, selStart), Slice(original, 0, selStart));
    EXPECT_EQ(Slice(after, expectedEnd, length), Slice(original, expectedEnd, length));
    const int64_t first = FirstLoudFrame(after, selStart / kFrame, expectedEnd / kFrame);
    ASSERT_GE(first, 0);
    std::printf("first loud frame %.2f ms after the record start\n",
                static_cast<double>(first - selStart / kFrame) / 44.1);
    EXPECT_LE(first - selStart / kFrame, 176); // 4 ms, as the clicks above
    double tail = 0;                           // the last 5 ms before the cut
    for (int64_t f = expectedEnd / kFrame - 220; f < expectedEnd / kFrame; ++f)
        tail += static_cast<double>(LeftAt(after, f)) * LeftAt(after, f) / 220;
    EXPECT_GT(std::sqrt(tail), 4000.0);
    EXPECT_EQ(FirstBreak(after, first + 2, expectedEnd / kFrame), -1);
    EXPECT_EQ(track->UndoNames.back(), "Recording");
}

} // namespace

// Starting a take while the recorder's worker still waits for the user-interface thread (a box
// of its last job): the worker is let go first, then the take starts and records.
TEST_F(RecordingTest, StartingATakeWhileTheWorkerWaitsForTheUserInterfaceThread) {
    blockingui::TTestUiThread ui;
    TUiCallGate gate(ui.Poster(), ui.Checker());
    blockingui::TBlockingOwner windowOwner(gate);
    RecordingSink windowSink;
    THeadlessTrackView windowView;
    TVelTrack recorder(windowOwner, windowSink, windowView, clipboard, &fileLock);
    recorder.SetSoundDevice(device.get(), cd);
    recorder.SetInputDevice(mic);
    const std::string path = userDir + "/take.wav";
    WriteFile(path, WaveBytes(cd, Pattern(2 * kSecond, 6)));
    recorder.FileName = path;
    recorder.Reopen();
    recorder.WaitForWorker();
    recorder.SelStart = kSecond / 2;
    recorder.SelEnd = kSecond;
    recorder.SetHasSelection(true);
    recorder.Cue(recorder.SelStart);
    ASSERT_TRUE(recorder.PrepareRecording());
    std::atomic<bool> lastJobWaits{false};
    ASSERT_TRUE(recorder.Worker().Start([&] {
        lastJobWaits = true;
        gate.Call([] {});
    }));
    ASSERT_TRUE(blockingui::WaitUntil([&] { return gate.Waiting() == 1; }));
    blockingui::FinishesWithin(20, "starting the take", [&] { recorder.StartPreparedRecording(); });
    EXPECT_EQ(windowOwner.releases, 1);
    ASSERT_TRUE(WaitUntil([&] { return recorder.TrackState() != tsRecording; }));
    recorder.WaitForWorker();
    EXPECT_EQ(recorder.TrackState(), tsReady);
    EXPECT_EQ(recorder.UndoNames.back(), "Recording");
    EXPECT_EQ(DataOf(recorder.FileName).size(), static_cast<std::size_t>(2 * kSecond));
}
