// What the track window costs on a ten-minute track (44100 Hz, 16-bit stereo, 105840000 data
// bytes) shown in the Qt waveform view with a surface of 800 x 200 pixels:
//   1. opening it until the window sees it Ready with its picture computed (its picture file
//      deleted first), beside `cat FILE >/dev/null` of the same file, both with the file in the
//      page cache: every round, the medians and their ratio, and where the open's time goes;
//   2. reopening it with its picture file up to date: from the open call to Ready;
//   3. the longest stall of the user-interface thread while the track loads, plays three
//      seconds, runs the equalizer over its first two minutes and takes it back with Undo: a
//      probe timer on that thread every 5 ms records how much later than due each tick came.
//      Beside each phase's stall it names the longest event the thread handled and the
//      longest call the window made into the track.
// The track is driven as its window drives it, all on the user-interface thread: its state
// changes are queued to that thread, where they update the view's position controls; the
// Studio's 100 ms timer releases the clock whose thread moves the play position.
//
// Usage: track_window_bench [ROUNDS] [DIR]
//   ROUNDS  rounds of each measurement (default 5)
//   DIR     where the wave file is made (default $TMPDIR or /tmp), in a folder of its own that
//           is deleted again at the end.
// Qt runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. The track plays
// through the sound server of PULSE_SERVER, e.g. the private one of tests/pulse/server.sh
// (bench/track_window_bench.sh starts and stops it around the run):
//   eval "$(tests/pulse/server.sh start)"; build/default/bench/track_window_bench;
//   tests/pulse/server.sh stop
// Without PULSE_SERVER the track has no sound device and the playing phase is skipped; the
// output says so. Build with the default preset.
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMetaEnum>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "bench/BenchTime.h"
#include "bench/ToneFile.h"
#include "platform/TempFiles.h"
#include "studio/core/SoundSetup.h"
#include "studio/core/StudioClock.h"
#include "studio/core/Transport.h"
#include "track/HeadlessView.h"
#include "track/VelTrack.h"
#include "track/view/PositionPanel.h"
#include "track/view/WaveSurface.h"
#include "track/view/WaveView.h"

namespace {

using bench::Clock;

constexpr int kTrackSeconds = 600;
constexpr int kSurfaceWidth = 800;
constexpr int kSurfaceHeight = 200;
constexpr int kProbeIntervalMs = 5;
constexpr int kPlayMs = 3000;
constexpr int kEqualizedSeconds = 120;
constexpr int kJobTimeoutMs = 120000;
// A bass-and-treble lift with the middle cut, so that every band's filter does real work.
constexpr int32_t kEqualizerDry = 40;
constexpr std::array<int32_t, 10> kEqualizerBands = {160, 140, 120, 100, 80, 60, 80, 100, 120, 140};

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

using bench::Median;
using bench::Ms;

double Max(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// The moments of one open as the worker passes them [ns on the steady clock]; 0 until passed.
struct TOpenMarks {
    std::atomic<int64_t> reading{0};     // Load's first message
    std::atomic<int64_t> pictures{0};    // both pictures sized to the surface
    std::atomic<int64_t> firstColumn{0}; // the first column handed to the view
    std::atomic<int64_t> lastColumn{0};  // the last one drawn
    std::atomic<int64_t> committed{0};   // the picture complete
    std::atomic<int64_t> loaded{0};      // Load's "done" (after the markers)
    std::atomic<int64_t> ready{0};       // the first Ready announced (after the cue)
    std::atomic<int64_t> saveStart{0};   // the picture file being written
    std::atomic<int64_t> saveEnd{0};
    std::atomic<int64_t> drawNs{0}; // time spent inside the view's column drawing
    std::atomic<int> columns{0};
    std::atomic<int> pictureLoads{0};

    void Clear() {
        for (auto* mark : {&reading, &pictures, &firstColumn, &lastColumn, &committed, &loaded,
                           &ready, &saveStart, &saveEnd, &drawNs})
            mark->store(0);
        columns = 0;
        pictureLoads = 0;
    }
    static void First(std::atomic<int64_t>& mark, int64_t now) {
        int64_t unset = 0;
        mark.compare_exchange_strong(unset, now);
    }
};

struct TBenchSink : TMessageSink {
    TOpenMarks& marks;
    std::mutex mutex;
    int errors = 0;
    explicit TBenchSink(TOpenMarks& m) : marks(m) {}
    void AddMessage(uint8_t kind, const std::string& text) override {
        const int64_t now = NowNs();
        if (kind == kMsgStart && text.rfind("Reading ", 0) == 0)
            TOpenMarks::First(marks.reading, now);
        if (kind == kMsgDone) TOpenMarks::First(marks.loaded, now);
        if (kind == kMsgError || kind == kMsgRefusal || text == "Stop Using Stop Chunk") {
            std::lock_guard lock(mutex);
            errors += kind == kMsgError;
            std::fprintf(stderr, "message %u: %s\n", kind, text.c_str());
        }
    }
};

// The waveform view, timing what the worker hands it.
class TTimedView : public TWaveView {
  public:
    explicit TTimedView(TOpenMarks& marks) : marks_(marks) {}
    bool BeginPictures(int& width, int& height) override {
        TOpenMarks::First(marks_.pictures, NowNs());
        return TWaveView::BeginPictures(width, height);
    }
    bool DrawColumn(int column, int yTop, int yBottom) override {
        const int64_t start = NowNs();
        TOpenMarks::First(marks_.firstColumn, start);
        const bool drawn = TWaveView::DrawColumn(column, yTop, yBottom);
        const int64_t end = NowNs();
        marks_.drawNs += end - start;
        marks_.lastColumn = end;
        ++marks_.columns;
        return drawn;
    }
    bool CommitPicture() override {
        const bool committed = TWaveView::CommitPicture();
        TOpenMarks::First(marks_.committed, NowNs());
        return committed;
    }
    bool LoadPictureFile(const std::string& path) override {
        const bool loaded = TWaveView::LoadPictureFile(path);
        marks_.pictureLoads += loaded;
        return loaded;
    }
    bool SavePicture(const std::string& path) override {
        TOpenMarks::First(marks_.saveStart, NowNs());
        const bool saved = TWaveView::SavePicture(path);
        TOpenMarks::First(marks_.saveEnd, NowNs());
        return saved;
    }

  private:
    TOpenMarks& marks_;
};

// The track window's part: every announced state change goes to the user-interface thread,
// which refreshes the view's position controls, and there the window learns that the track
// is Ready; the hourglass is the application's override cursor.
class TBenchWindow : public TTrackOwner {
  public:
    TBenchWindow(TWaveView& view, TOpenMarks& marks) : view_(view), marks_(marks) {}
    void SetTrack(TVelTrack* track) { track_ = track; }

    void TrackStateChanged(TVelTrack& track) override {
        if (track.TrackState() == tsReady) TOpenMarks::First(marks_.ready, NowNs());
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                view_.UpdatePositionControls();
                if (awaitingReady_ && track_->TrackState() == tsReady) {
                    awaitingReady_ = false;
                    readyAt_ = Clock::now();
                }
            },
            Qt::QueuedConnection);
    }
    void SetHourglass(bool on) override {
        QMetaObject::invokeMethod(
            &context_,
            [on] {
                if (on && !QGuiApplication::overrideCursor())
                    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
                else if (!on && QGuiApplication::overrideCursor())
                    QGuiApplication::restoreOverrideCursor();
            },
            Qt::QueuedConnection);
    }

    // User-interface thread: the next Ready the window sees is the one waited for.
    void AwaitReady() { awaitingReady_ = true; }
    bool SawReady() const { return !awaitingReady_; }
    Clock::time_point ReadyAt() const { return readyAt_; }

  private:
    TWaveView& view_;
    TOpenMarks& marks_;
    TVelTrack* track_ = nullptr;
    QObject context_; // lives on the user-interface thread; names the window's queued calls
    bool awaitingReady_ = false;
    Clock::time_point readyAt_{};
};

// What the user-interface thread handled since the last Reset: the longest event (outermost
// dispatches only), the surface's repaints and the calls queued to the view by other threads.
class TBenchApplication : public QApplication {
  public:
    using QApplication::QApplication;
    struct TLongest {
        double ms = 0;
        std::string what;
    };
    struct TCounts {
        int surfacePaints = 0;
        double surfacePaintMs = 0;
        int viewCalls = 0;
    };
    void Reset() {
        longest_ = {};
        counts_ = {};
    }
    const TLongest& Longest() const { return longest_; }
    const TCounts& Counts() const { return counts_; }

    bool notify(QObject* receiver, QEvent* event) override {
        if (!receiver || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        // Read before the dispatch: the event may not outlive it, nor the receiver.
        const QEvent::Type type = event->type();
        const char* className = receiver->metaObject()->className();
        const QString objectName = receiver->objectName();
        const bool outermost = depth_ == 0;
        const bool surfacePaint = type == QEvent::Paint && qobject_cast<TWaveSurface*>(receiver);
        if (type == QEvent::MetaCall && qobject_cast<TWaveView*>(receiver)) ++counts_.viewCalls;
        ++depth_;
        const auto start = Clock::now();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = Ms(Clock::now() - start);
        --depth_;
        if (surfacePaint) {
            ++counts_.surfacePaints;
            counts_.surfacePaintMs += ms;
        }
        if (outermost && ms > longest_.ms) longest_ = {ms, Describe(type, className, objectName)};
        return handled;
    }

  private:
    static std::string Describe(QEvent::Type type, const char* className, const QString& name) {
        const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
        std::string text = typeName ? typeName : std::to_string(static_cast<int>(type));
        text += std::string(" to ") + className;
        if (!name.isEmpty()) text += " \"" + name.toStdString() + "\"";
        return text;
    }

    int depth_ = 0;
    TLongest longest_;
    TCounts counts_;
};

// A timer on the user-interface thread every 5 ms; the stall is how much later than due its
// tick came, the largest over the probe's run.
class TStallProbe {
  public:
    TStallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kProbeIntervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Begin() {
        worst_ = 0;
        last_ = Clock::now();
        timer_.start();
    }
    // The gap up to now counts too: a call the phase ended with may have held the thread.
    double End() {
        Tick();
        timer_.stop();
        return worst_;
    }

  private:
    void Tick() {
        const auto now = Clock::now();
        worst_ = std::max(worst_, Ms(now - last_) - kProbeIntervalMs);
        last_ = now;
    }

    QTimer timer_;
    Clock::time_point last_{};
    double worst_ = 0;
};

// Runs the user-interface thread's event loop until `done` or `timeoutMs`; false on time-out.
bool Pump(const std::function<bool()>& done, int timeoutMs) {
    QTimer heartbeat; // wakes the loop now and then, to see conditions a worker sets
    heartbeat.start(20);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Milliseconds between two marks, or -1 when either was not passed.
double Between(int64_t from, int64_t to) {
    return from == 0 || to == 0 ? -1 : (to - from) / 1e6;
}

struct TPhase {
    const char* name;
    std::vector<double> stalls; // the longest of each round [ms]
    TBenchApplication::TLongest event;
    TBenchApplication::TLongest call; // the window's longest call into the track
};

int Run(TBenchApplication& app, int rounds, const std::string& path) {
    TOpenMarks marks;
    TBenchSink sink(marks);
    TMemoryClipboard clipboard;
    TVELCriticalSection fileLock;
    const WAVEFORMATEX cd = MakePcmFormat(44100, 16, 2);
    const bool withSound = std::getenv("PULSE_SERVER") != nullptr;
    TSoundSetup setup(sink);
    if (withSound && !setup.Initialise("", cd)) {
        std::fprintf(stderr, "track_window_bench: no sound device\n");
        return 1;
    }

    auto view = std::make_unique<TTimedView>(marks);
    TBenchWindow window(*view, marks);
    view->show();
    // The panel below takes its own height; the surface gets the rest.
    view->resize(kSurfaceWidth, kSurfaceHeight + view->Panel()->sizeHint().height());
    QCoreApplication::processEvents();
    view->resize(kSurfaceWidth, view->height() + kSurfaceHeight - view->Surface()->height());
    QCoreApplication::processEvents();
    auto track = std::make_unique<TVelTrack>(window, sink, *view, clipboard, &fileLock);
    window.SetTrack(track.get());
    view->SetTrack(track.get());
    if (withSound) track->SetSoundDevice(setup.Device(), cd);
    track->FileName = path;
    const std::string picture = PictureFileName(path);
    std::printf("track_window_bench: %d-minute track, %d data bytes; surface %d x %d; %s\n",
                kTrackSeconds / 60, static_cast<int>(cd.nAvgBytesPerSec) * kTrackSeconds,
                view->Surface()->width(), view->Surface()->height(),
                withSound ? "sound device on the server of PULSE_SERVER"
                          : "no sound device (PULSE_SERVER is not set)");

    const auto openAndWait = [&](Clock::time_point& called) {
        marks.Clear();
        window.AwaitReady();
        app.Reset();
        const auto start = Clock::now();
        track->Reopen();
        called = Clock::now();
        const bool ready = Pump([&] { return window.SawReady(); }, kJobTimeoutMs);
        track->WaitForWorker();
        return ready ? start : Clock::time_point{};
    };
    const auto drain = [&] {
        track->WaitForWorker();
        QCoreApplication::processEvents();
    };

    // ---- 1. open with the picture computed, beside cat
    const std::string cat = "cat '" + path + "' >/dev/null";
    if (std::system(cat.c_str()) != 0) { // the file into the page cache
        std::fprintf(stderr, "track_window_bench: %s failed\n", cat.c_str());
        return 1;
    }
    std::printf("1. open until Ready with the picture computed, beside cat of the file (page "
                "cache warm)\n");
    std::vector<double> opens, cats, saved, callMs, toWorker, painting, reads, drawing, cue,
        announce, save, paints, paintMs, viewCalls;
    for (int round = 0; round < rounds; ++round) {
        drain();
        std::filesystem::remove(picture);
        const auto c0 = Clock::now();
        if (std::system(cat.c_str()) != 0) return 1;
        const double catMs = Ms(Clock::now() - c0);
        Clock::time_point called;
        const Clock::time_point start = openAndWait(called);
        const auto done = Clock::now();
        if (start == Clock::time_point{} || track->TrackState() != tsReady ||
            marks.columns.load() == 0 || view->Pictures().Clean().isNull()) {
            std::fprintf(stderr, "track_window_bench: the track did not load with its picture\n");
            return 1;
        }
        const double openMs = Ms(window.ReadyAt() - start);
        opens.push_back(openMs);
        cats.push_back(catMs);
        saved.push_back(Ms(done - start));
        const int64_t readyUi = window.ReadyAt().time_since_epoch().count();
        callMs.push_back(Ms(called - start));
        toWorker.push_back(Between(called.time_since_epoch().count(), marks.reading));
        painting.push_back(Between(marks.reading, marks.committed));
        drawing.push_back(marks.drawNs / 1e6);
        reads.push_back(Between(marks.firstColumn, marks.lastColumn) - marks.drawNs / 1e6);
        cue.push_back(Between(marks.committed, marks.ready));
        announce.push_back(Between(marks.ready, readyUi));
        save.push_back(Between(marks.saveStart, marks.saveEnd));
        paints.push_back(app.Counts().surfacePaints);
        paintMs.push_back(app.Counts().surfacePaintMs);
        viewCalls.push_back(app.Counts().viewCalls);
        std::printf("   round %d: open %.1f ms (picture file written at %.1f ms), cat %.1f ms, "
                    "ratio %.2f; %d columns\n",
                    round + 1, openMs, saved.back(), catMs, openMs / catMs, marks.columns.load());
    }
    const double openMedian = Median(opens), catMedian = Median(cats);
    std::printf("   median: open %.1f ms, cat %.1f ms, ratio %.2f (aim <= 1.2)\n", openMedian,
                catMedian, openMedian / catMedian);
    std::printf("   where it goes (medians, ms): Reopen call %.2f, to the worker %.2f, picture "
                "%.1f (column reads and averages %.1f, drawing %.1f), markers and cue %.1f, "
                "Ready seen by the window %.2f later; then the picture file takes %.1f\n",
                Median(callMs), Median(toWorker), Median(painting), Median(reads), Median(drawing),
                Median(cue), Median(announce), Median(save));
    std::printf("   meanwhile the user-interface thread (medians): %.0f queued calls to the view, "
                "%.0f repaints of the surface taking %.1f ms\n",
                Median(viewCalls), Median(paints), Median(paintMs));

    // ---- 2. reopen with the picture file up to date
    std::vector<double> reopens;
    for (int round = 0; round < rounds; ++round) {
        drain();
        Clock::time_point called;
        const Clock::time_point start = openAndWait(called);
        if (start == Clock::time_point{} || marks.pictureLoads.load() != 1 ||
            marks.columns.load() != 0) {
            std::fprintf(stderr, "track_window_bench: the reopen did not use the picture file\n");
            return 1;
        }
        reopens.push_back(Ms(window.ReadyAt() - start));
    }
    std::printf("2. reopen with the picture file up to date, open call to Ready: median %.1f ms, "
                "max %.1f ms over %d rounds (aim <= 20)\n",
                Median(reopens), Max(reopens), rounds);

    // ---- 3. stalls of the user-interface thread
    TStudioClock clock(sink);
    const std::vector<TTransportTrack> song = {{track.get(), false}};
    clock.Start([&] { UpdatePlayingTracks(song); });
    QTimer bigTimer; // the Studio's 100 ms clock
    QObject::connect(&bigTimer, &QTimer::timeout, [&] { clock.Tick(); });
    bigTimer.start(100);

    TStallProbe probe;
    TPhase load{"load (no picture file)", {}, {}, {}};
    TPhase play{"play 3 s, stop", {}, {}, {}};
    TPhase equalize{"equalizer, first 2 minutes", {}, {}, {}};
    TPhase undo{"undo the equalizer", {}, {}, {}};
    const auto timed = [](TPhase& phase, const char* name, const std::function<void()>& call) {
        const auto start = Clock::now();
        call();
        const double ms = Ms(Clock::now() - start);
        if (ms > phase.call.ms) phase.call = {ms, name};
    };
    const auto idleAndReady = [&] { return window.SawReady() && !track->InWork(); };
    const auto endPhase = [&](TPhase& phase, bool ok) {
        const double stall = probe.End();
        phase.stalls.push_back(stall);
        if (app.Longest().ms > phase.event.ms) phase.event = app.Longest();
        return ok;
    };
    const auto beginPhase = [&] {
        drain();
        app.Reset();
        window.AwaitReady();
        probe.Begin();
    };
    const int32_t selectionEnd = static_cast<int32_t>(cd.nAvgBytesPerSec) * kEqualizedSeconds;
    int result = 0;
    for (int round = 0; round < rounds && result == 0; ++round) {
        std::filesystem::remove(picture);
        beginPhase();
        timed(load, "Reopen", [&] { track->Reopen(); });
        if (!endPhase(load, Pump(idleAndReady, kJobTimeoutMs))) result = 1;

        if (withSound && result == 0) {
            // A click at the start of the surface cues there; then Play.
            beginPhase();
            timed(play, "Cue", [&] { track->Cue(0); });
            const int32_t from = track->PlayPosition;
            timed(play, "Play", [&] { track->Play(); });
            const bool playing = track->TrackState() == tsPlaying;
            Pump([] { return false; }, kPlayMs);
            const int32_t reached = track->PlayPosition;
            timed(play, "Stop", [&] { track->Stop(); });
            if (!endPhase(play, Pump(idleAndReady, kJobTimeoutMs)) || !playing ||
                reached - from < static_cast<int32_t>(cd.nAvgBytesPerSec)) {
                std::fprintf(stderr, "track_window_bench: the track did not play\n");
                result = 1;
            }
        }
        if (result != 0) break;

        // The effects dialog's Apply over a selection made as the mouse would make it.
        track->SelStart = 0;
        track->SelEnd = selectionEnd;
        track->SetHasSelection(true);
        view->ApplyMarkers();
        view->UpdatePositionControls();
        track->EffectState = esRunning;
        beginPhase();
        bool started = false;
        timed(equalize, "StartEqualizer",
              [&] { started = track->StartEqualizer(kEqualizerDry, kEqualizerBands); });
        if (!endPhase(equalize, started && Pump(idleAndReady, kJobTimeoutMs)) ||
            track->UndoFiles.size() != 2) {
            std::fprintf(stderr, "track_window_bench: the equalizer did not run\n");
            result = 1;
            break;
        }
        beginPhase();
        timed(undo, "Undo", [&] { track->Undo(); });
        // Back at the user's file, its picture file still up to date.
        if (!endPhase(undo, Pump(idleAndReady, kJobTimeoutMs)) || track->FileName != path) {
            std::fprintf(stderr, "track_window_bench: the undo did not finish\n");
            result = 1;
        }
        track->EffectState = esNoDialog; // the dialog closed
        track->SetHasSelection(false);
        view->ApplyMarkers();
        view->UpdatePositionControls();
    }
    bigTimer.stop();
    clock.Stop();
    std::printf("3. longest stall of the user-interface thread (%d ms probe) over %d rounds "
                "(aim <= 50 ms):\n",
                kProbeIntervalMs, rounds);
    if (!withSound) std::printf("   play: skipped, PULSE_SERVER is not set\n");
    for (const TPhase* phase : {&load, &play, &equalize, &undo}) {
        if (phase->stalls.empty()) continue;
        std::printf("   %-28s longest %.1f ms (median of rounds %.1f); longest event %.1f ms "
                    "(%s); longest call %s %.1f ms\n",
                    phase->name, Max(phase->stalls), Median(phase->stalls), phase->event.ms,
                    phase->event.what.c_str(), phase->call.what.c_str(), phase->call.ms);
    }

    drain();
    track.reset();
    view.reset();
    return sink.errors != 0 ? 1 : result;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: track_window_bench [ROUNDS] [DIR]\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string folder =
        bench::MakeBenchFolder("trackwindow-bench", argc > 2 ? argv[2] : nullptr);
    if (folder.empty()) return 1;
    const auto cleanUp = [&] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    };
    const std::string path = folder + "/take.wav";
    if (!bench::WriteToneFile(path, MakePcmFormat(44100, 16, 2), kTrackSeconds, 330.0)) {
        std::fprintf(stderr, "track_window_bench: cannot write %s\n", path.c_str());
        cleanUp();
        return 1;
    }
    ::sync(); // no write-back of the new file under the measured reads
    // The track's own states and pictures go into the folder too.
    const std::string tempFolder = folder + "/tmp";
    std::filesystem::create_directory(tempFolder);
    setenv("TMPDIR", tempFolder.c_str(), 1);

    int result = 0;
    {
        TBenchApplication app(argc, argv);
        result = Run(app, rounds, path);
    }
    cleanUp();
    return result;
}
