// How long the main window holds the user-interface thread, with real track windows on long
// tracks (44100 Hz, 16-bit stereo, ten minutes unless told otherwise, all starting at 0): a
// probe timer on that thread every 5 ms records how much later than due each tick came, and
// the longest such stall of each phase is printed, median and max over the runs, beside the
// longest event the thread handled and the longest call the bench made into the window (as a
// click would). The phases of one run, in one window:
//   1. a track opened by name loads until its window is Ready (its picture file deleted first,
//      so the picture is computed);
//   2. with eight tracks open, Play all, about five seconds of playing, Stop all until every
//      track is Ready again;
//   3. the equalizer over the first track's whole length, started as the effects dialog starts
//      it (EffectState 3 first), until Ready; and its Undo (UndoTo of the last state);
//   4. the window's combine of the eight tracks, its dialog answered with the order offered,
//      until the new track is Ready and the window idle;
//   5. with a song of sixteen tracks open, File|New Song until every window is gone (each box
//      answered No); and before it, File|New Song over the eight and the combine's new track,
//      whose working file goes with it.
// The aim is 50 ms for every phase.
//
// Usage: stall_bench [RUNS] [DIR] [MINUTES] [TRACKS]
//   RUNS     runs of every phase (default 3)
//   DIR      where the work folder "wavestack-stall-bench" lies (default $TMPDIR or /tmp); the
//            wave files are made there once and kept (about 106 MB a ten-minute track)
//   MINUTES  the length of every track (default 10)
//   TRACKS   tracks in the song of phase 5 (default 16); phases 2 and 4 take the first eight
// Needs a sound server: run it against the private one of tests/pulse/server.sh
// (bench/stall_bench.sh starts and stops it around the run). Without PULSE_SERVER it says so
// and does nothing. Qt runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Build with the default preset.
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "bench/BenchTime.h"
#include "bench/ToneFile.h"
#include "platform/TempFiles.h"
#include "studio/StudioWindow.h"
#include "studio/core/SongFile.h"
#include "studio/core/SoundSetup.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "track/view/WaveView.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Ms;
using bench::TLongest;
namespace fs = std::filesystem;

constexpr int kProbeIntervalMs = 5;
constexpr double kAimMs = 50;
constexpr int kPlayMs = 5000;
constexpr int kPlayedTracks = 8; // phases 2 and 4
constexpr int kDeviceTimeoutMs = 10000;
constexpr int kJobTimeoutMs = 300000;
// A bass-and-treble lift with the middle cut, so that every band's filter does real work.
constexpr int32_t kEqualizerDry = 40;
constexpr std::array<int32_t, 10> kEqualizerBands = {160, 140, 120, 100, 80, 60, 80, 100, 120, 140};

// Runs the event loop until `done` or `timeoutMs`; false on time-out. A 20 ms timer wakes the
// loop to see what workers change. The deferred deletes run too, as in the application's own
// loop (processEvents alone leaves them while no loop is running).
bool Pump(const std::function<bool()>& done, int timeoutMs) {
    QTimer heartbeat;
    heartbeat.start(20);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// ---- the window

struct TStudio {
    std::unique_ptr<TFormStudio> form;
    std::vector<std::string> errors;

    TStudio() {
        form = std::make_unique<TFormStudio>();
        // No box may wait for an answer: every question gets the harmless one.
        form->MPanel()->SetErrorBox(
            [this](QWidget*, const QString& text) { errors.push_back(text.toStdString()); });
        form->SetTrackWindowHook([this](TFormTrack& window) {
            window.SetOkCancelBox([](QWidget*, const QString&) { return true; });
            window.SetYesNoCancelBox([](QWidget*, const QString&) { return TYesNoCancel::No; });
            window.MPanel()->SetErrorBox(
                [this](QWidget*, const QString& text) { errors.push_back(text.toStdString()); });
        });
        form->SetYesNoCancelBox([](QWidget*, const QString&) { return 0x00010000; }); // No
        form->SetCombineDialog([](QWidget*, const std::vector<std::string>& names) {
            return std::optional<std::vector<std::string>>(names);
        });
        form->resize(1030, 700);
    }
    std::vector<TFormTrack*> Windows() const { return form->TrackWindows(); }
    // `count` track windows, each Ready with its worker idle, and the window idle.
    bool AllReady(std::size_t count) const {
        const std::vector<TFormTrack*> windows = Windows();
        if (windows.size() != count || form->Mode() != TStudioMode::Idle) return false;
        for (TFormTrack* w : windows)
            if (!w->Track() || w->Track()->TrackState() != tsReady || w->Track()->InWork())
                return false;
        return true;
    }
    int Playing() const {
        int playing = 0;
        for (TFormTrack* w : Windows())
            playing += w->Track() && w->Track()->TrackState() == tsPlaying;
        return playing;
    }
    void PrintErrors() {
        for (const std::string& e : errors)
            std::fprintf(stderr, "stall_bench: error box: %s\n", e.c_str());
        errors.clear();
    }
};

// ---- the phases

struct TRun {
    bench::TStall stall; // the longest
    double span = 0;     // the phase from start to end [ms]
    TLongest event, call;
};

struct TPhase {
    const char* name;
    std::vector<TRun> runs;
};

// One measured phase: the probe and the event timing from before `start` until `done` holds.
class TMeasure {
  public:
    explicit TMeasure(bench::TEventTimingApplication& app) : app_(app), probe_(kProbeIntervalMs) {}
    // False when `done` did not come within the time-out.
    bool Run(TPhase& phase, const std::function<void(TLongest& calls)>& start,
             const std::function<bool()>& done, int timeoutMs = kJobTimeoutMs) {
        TRun run;
        QCoreApplication::processEvents(); // what earlier work left queued is not this phase's
        app_.Reset();
        probe_.Begin();
        const auto t0 = Clock::now();
        start(run.call);
        const bool ok = Pump(done, timeoutMs);
        run.span = Ms(Clock::now() - t0);
        probe_.End();
        run.stall = probe_.Worst();
        run.event = app_.Longest();
        phase.runs.push_back(run);
        return ok;
    }

  private:
    bench::TEventTimingApplication& app_;
    bench::TStallProbe probe_;
};

void PrintPhase(const TPhase& phase) {
    if (phase.runs.empty()) return;
    std::vector<double> stalls;
    const TRun* worst = &phase.runs.front();
    for (const TRun& run : phase.runs) {
        stalls.push_back(run.stall.ms);
        if (run.stall.ms > worst->stall.ms) worst = &run;
    }
    const bench::TStall& stall = worst->stall;
    std::printf("   %-40s median %6.1f ms, max %6.1f ms%s\n", phase.name, Median(stalls), stall.ms,
                stall.ms > kAimMs ? "  OVER THE AIM" : "");
    std::printf("   %-40s the max's gap of %.1f ms: %.1f on a core, %.1f waiting for one, %.1f "
                "asleep\n",
                "", stall.gapMs, stall.onCoreMs, stall.runnableMs, stall.AsleepMs());
    std::printf("   %-40s in the worst run (%.0f ms long): longest event %.1f ms (%s), longest "
                "call %s %.1f ms\n",
                "", worst->span, worst->event.ms, worst->event.what.c_str(),
                worst->call.what.c_str(), worst->call.ms);
}

// ---- the files

std::string TrackPath(const std::string& folder, int i) {
    char name[32];
    std::snprintf(name, sizeof name, "/track%02d.wav", i + 1);
    return folder + name;
}

// The wave files not yet there at their full size are written; false (the reason printed)
// when the disk cannot hold them with room for the phases' own states (the equalizer's and
// the combine's new track, each as long as a track) or when a write fails.
bool MakeWaveFiles(const std::string& folder, int tracks, int seconds, const WAVEFORMATEX& f) {
    const uintmax_t fileBytes = 46 + static_cast<uintmax_t>(f.nAvgBytesPerSec) * seconds;
    std::vector<int> missing;
    for (int i = 0; i < tracks; ++i) {
        std::error_code ec;
        if (fs::file_size(TrackPath(folder, i), ec) != fileBytes) missing.push_back(i);
    }
    struct statvfs disk {};
    if (statvfs(folder.c_str(), &disk) == 0) {
        const uintmax_t free = static_cast<uintmax_t>(disk.f_bavail) * disk.f_frsize;
        const uintmax_t states = 2 * fileBytes + (64u << 20); // and the pictures, a margin
        const uintmax_t needed = missing.size() * fileBytes + states;
        if (free < needed) {
            const uintmax_t fit = free > states ? (free - states) / fileBytes : 0;
            std::fprintf(stderr,
                         "stall_bench: %s has %.0f MiB free, but %zu more wave files of %.0f MiB "
                         "and the phases' states need %.0f MiB; %ju tracks of this length fit. "
                         "Give a folder on a larger disk (stall_bench RUNS DIR), shorter tracks "
                         "(... DIR MINUTES) or fewer (... DIR MINUTES TRACKS).\n",
                         folder.c_str(), free / 1048576.0, missing.size(), fileBytes / 1048576.0,
                         needed / 1048576.0, fit + (tracks - missing.size()));
            return false;
        }
    }
    if (missing.empty()) return true;
    std::printf("stall_bench: writing %zu wave files of %d s in %s (once; kept for the next "
                "run)\n",
                missing.size(), seconds, folder.c_str());
    std::fflush(stdout);
    for (int i : missing) {
        const std::string path = TrackPath(folder, i);
        std::error_code ignored;
        fs::remove(PictureFileName(path), ignored);
        if (!bench::WriteToneFile(path, f, seconds, 220.0 + 27.5 * i)) {
            std::fprintf(stderr, "stall_bench: cannot write %s\n", path.c_str());
            fs::remove(path, ignored);
            return false;
        }
    }
    ::sync(); // no write-back of the new files under the measured phases
    return true;
}

bool WriteSongFile(const std::string& song, const std::string& folder, int tracks) {
    std::vector<TSongTrackOut> out;
    for (int i = 0; i < tracks; ++i) {
        TSongTrackOut t;
        t.waveFileName = TrackPath(folder, i);
        t.fileNameForState = t.waveFileName;
        t.offsetText = "00:00.00000";
        out.push_back(t);
    }
    std::vector<TTrack> saved;
    std::string error;
    if (!WriteSong(song, out, saved, error)) {
        std::fprintf(stderr, "stall_bench: cannot write the song: %s\n", error.c_str());
        return false;
    }
    return true;
}

// ---- the run

int Run(bench::TEventTimingApplication& app, const std::string& folder, int runs, int seconds,
        int tracks) {
    const int played = std::min(kPlayedTracks, tracks);
    const std::string song = folder + "/stall.Sng";
    std::string cat = "cat";
    for (int i = 0; i < tracks; ++i)
        cat += " '" + TrackPath(folder, i) + "'";
    cat += " >/dev/null";
    if (std::system(cat.c_str()) != 0) { // the files into the page cache
        std::fprintf(stderr, "stall_bench: %s failed\n", cat.c_str());
        return 1;
    }
    std::printf("stall_bench: tracks of %d s (44100 Hz, 16-bit stereo), %d of them playing and "
                "combined, %d in the song that closes, in %s; %s; %d ms probe, aim <= %.0f ms\n",
                seconds, played, tracks, folder.c_str(),
                QGuiApplication::platformName().toStdString().c_str(), kProbeIntervalMs, kAimMs);

    TStudio s;
    s.form->show();
    if (!Pump([&] { return s.form->Sound().Device() && s.form->OpenBtn()->isEnabled(); },
              kDeviceTimeoutMs)) {
        std::fprintf(stderr, "stall_bench: no sound device after %d ms\n", kDeviceTimeoutMs);
        return 1;
    }
    TMeasure measure(app);
    TPhase load{"1. open a track by name until Ready", {}};
    TPhase play{"2. Play all, 5 s, Stop all", {}};
    TPhase equalize{"3. equalizer over the whole track", {}};
    TPhase undo{"   its Undo", {}};
    TPhase combine{"4. combine until the new track is Ready", {}};
    TPhase closeCombined{"   New Song after the combine", {}};
    TPhase close{"5. New Song closing the song", {}};
    const auto fail = [&](const char* what, int run) {
        std::fprintf(stderr, "stall_bench: run %d: %s (%zu track windows, %d children, mode %d)\n",
                     run + 1, what, s.Windows().size(), s.form->ChildCount(),
                     static_cast<int>(s.form->Mode()));
        for (TFormTrack* w : s.Windows())
            if (w->Track())
                std::fprintf(stderr, "   %s: state %d, in work %d\n", w->Caption().c_str(),
                             static_cast<int>(w->Track()->TrackState()), w->Track()->InWork());
        s.PrintErrors();
        return 1;
    };
    QAction* newSong = s.form->MenuItem("File|New|Song");
    if (!newSong) {
        std::fprintf(stderr, "stall_bench: no File|New|Song\n");
        return 1;
    }

    for (int run = 0; run < runs; ++run) {
        // ---- 1. the first track, its picture computed
        const std::string first = TrackPath(folder, 0);
        std::error_code ignored;
        fs::remove(PictureFileName(first), ignored);
        if (!measure.Run(
                load,
                [&](TLongest& calls) {
                    bench::TimedCall(calls, "OpenByName", [&] { s.form->OpenByName(first); });
                },
                [&] { return s.AllReady(1); }))
            return fail("the track did not load", run);

        // ---- 2. the others of the eight opened (not measured), then all play
        for (int i = 1; i < played; ++i)
            s.form->OpenByName(TrackPath(folder, i));
        if (!Pump([&] { return s.AllReady(played); }, kJobTimeoutMs))
            return fail("the tracks did not load", run);
        int mostPlaying = 0;
        if (!measure.Run(
                play,
                [&](TLongest& calls) {
                    bench::TimedCall(calls, "PlayAllClick", [&] { s.form->PlayAllClick(); });
                    const auto until = Clock::now() + std::chrono::milliseconds(kPlayMs);
                    Pump(
                        [&] {
                            mostPlaying = std::max(mostPlaying, s.Playing());
                            return Clock::now() >= until;
                        },
                        kPlayMs + 1000);
                    bench::TimedCall(calls, "StopAllClick", [&] { s.form->StopAllClick(); });
                },
                [&] { return s.AllReady(played); }) ||
            mostPlaying != played)
            return fail("not every track played and stopped", run);

        // ---- 3. the equalizer over the whole first track, as the effects dialog runs it
        TFormTrack* window = s.Windows().front();
        TVelTrack& track = *window->Track();
        track.SelStart = 0;
        track.SelEnd = track.DataLength;
        track.SetHasSelection(true);
        window->View()->ApplyMarkers();
        window->View()->UpdatePositionControls();
        bool started = false;
        if (!measure.Run(
                equalize,
                [&](TLongest& calls) {
                    bench::TimedCall(calls, "StartEqualizer", [&] {
                        track.EffectState = esRunning;
                        started = track.StartEqualizer(kEqualizerDry, kEqualizerBands);
                    });
                },
                [&] { return !started || (s.AllReady(played) && track.UndoFiles.size() == 2); }) ||
            !started)
            return fail("the equalizer did not run", run);
        bool undone = false;
        if (!measure.Run(
                undo,
                [&](TLongest& calls) {
                    bench::TimedCall(calls, "UndoTo", [&] {
                        track.EffectState = esRunning;
                        undone = track.UndoTo(static_cast<int>(track.UndoFiles.size()) - 1);
                        track.EffectState = undone ? esReady : esApplied;
                    });
                },
                [&] { return !undone || (s.AllReady(played) && track.FileName == first); }) ||
            !undone)
            return fail("the undo did not finish", run);
        track.EffectState = esNoDialog; // the dialog closed
        track.SetHasSelection(false);
        window->View()->ApplyMarkers();
        window->View()->UpdatePositionControls();

        // ---- 4. the combine of the eight into a new track
        if (!measure.Run(
                combine,
                [&](TLongest& calls) {
                    bench::TimedCall(calls, "CombineClick", [&] { s.form->CombineClick(); });
                },
                [&] { return s.AllReady(played + 1); }))
            return fail("the combine did not end with the new track Ready", run);

        // ---- 5. File|New Song: first over the eight and the new track (whose states go
        // with it), then over the song of all the tracks opened for it (not measured)
        const auto newSongUntilAllGone = [&](TPhase& phase) {
            std::vector<QPointer<TFormTrack>> windows;
            for (TFormTrack* w : s.Windows())
                windows.emplace_back(w);
            return measure.Run(
                phase,
                [&](TLongest& calls) {
                    bench::TimedCall(calls, "File|New|Song", [&] { newSong->trigger(); });
                },
                [&] {
                    if (s.form->ChildCount() != 0 || s.form->Mode() != TStudioMode::Idle)
                        return false;
                    return std::all_of(windows.begin(), windows.end(),
                                       [](const QPointer<TFormTrack>& w) { return w.isNull(); });
                });
        };
        if (!newSongUntilAllGone(closeCombined))
            return fail("the combined song did not close", run);
        s.form->OpenByName(song);
        if (!Pump([&] { return s.AllReady(tracks); }, kJobTimeoutMs))
            return fail("the song did not load", run);
        if (!newSongUntilAllGone(close)) return fail("the song did not close", run);
        if (!s.errors.empty()) return fail("an error box", run);
        std::printf("   run %d of %d done\n", run + 1, runs);
        std::fflush(stdout);
    }

    std::printf("longest stall of the user-interface thread over %d runs (aim <= %.0f ms):\n", runs,
                kAimMs);
    for (const TPhase* phase : {&load, &play, &equalize, &undo, &combine, &closeCombined, &close})
        PrintPhase(*phase);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        std::printf("stall_bench: PULSE_SERVER is not set, skipped "
                    "(start tests/pulse/server.sh first, or run bench/stall_bench.sh)\n");
        return 0;
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const int minutes = argc > 3 ? std::atoi(argv[3]) : 10;
    const int tracks = argc > 4 ? std::atoi(argv[4]) : 16;
    if (runs <= 0 || minutes <= 0 || minutes > 200 || tracks <= 0) {
        std::fprintf(stderr, "usage: stall_bench [RUNS] [DIR] [MINUTES] [TRACKS]\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = std::string(argc > 2      ? argv[2]
                                           : tmp && *tmp ? tmp
                                                         : "/tmp") +
                               "/wavestack-stall-bench";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "stall_bench: cannot make %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return 1;
    }
    if (!MakeWaveFiles(folder, tracks, minutes * 60, MakePcmFormat(44100, 16, 2)) ||
        !WriteSongFile(folder + "/stall.Sng", folder, tracks))
        return 1;
    // The tracks' own states, and the settings, go into the work folder too.
    const std::string tempFolder = folder + "/tmp";
    fs::create_directories(tempFolder, ec);
    setenv("TMPDIR", tempFolder.c_str(), 1);
    const std::string config = folder + "/config";
    fs::remove_all(config, ec);
    setenv("WAVESTACK_CONFIG_DIR", config.c_str(), 1);

    // The window opens its first command-line argument as a song: it gets none.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    bench::TEventTimingApplication app(qtArgc, qtArgv);
    return Run(app, folder, runs, minutes * 60, tracks);
}
