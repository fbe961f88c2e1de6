// What the main window costs with a song of sixteen ten-minute tracks (44100 Hz, 16-bit
// stereo, 105840000 data bytes each, every one starting 20 s later on the song's time than the
// one before), their waveform pictures cached in up-to-date picture files:
//   1. opening the song: from before the window is made, through its show, the sound device
//      and OpenByName, until every track window is Ready with its worker idle and the window's
//      mode is back to idle (it arranges the windows once all are Ready). Each run is a fresh
//      window; the medians beside `cat` of the sixteen files (page cache warm) as a ratio, the
//      stages of the open, the user-interface thread's longest stall (a 5 ms probe), and the
//      resident memory then (VmRSS, with VmHWM reset at the start of the run);
//   2. then Play all, and for ten seconds while every track plays, the processor share of the
//      whole process and of each thread, each thread named by when it appeared (the
//      user-interface thread, the clock's thread started again by the song's open, the feeders
//      Play all started, the sound server's link), then Stop all.
// The wave files, the song and the picture files are made once in a work folder that is kept
// for the next run ("wavestack-studio-bench" in DIR); a first window opens the song before the
// measured runs so that every picture file is written.
//
// Usage: studio_bench [RUNS] [DIR] [TRACKS] [METERS]
//   RUNS    measured opens, each with a fresh window (default 5)
//   DIR     where the work folder lies (default $TMPDIR or /tmp); it needs about 106 MB a track
//   TRACKS  tracks in the song (default 16)
//   METERS  "off": the level meters measure nothing, so that a run beside one with them on
//           (the default, "on") weighs what they cost
// Needs a sound server: run it against the private one of tests/pulse/server.sh
// (bench/studio_bench.sh starts and stops it around the run). Without PULSE_SERVER it says so
// and does nothing. Qt runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Build with the default preset.
#include <QApplication>
#include <QEventLoop>
#include <QMetaEnum>
#include <QSize>
#include <QThread>
#include <QTimer>

#include <malloc.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
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
#include "track/WavePicture.h"
#include "track/view/FormTrack.h"
#include "track/view/WavePictures.h"
#include "track/view/WaveSurface.h"
#include "track/view/WaveView.h"
#include "ui/core/LevelMeter.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

using bench::Clock;
namespace fs = std::filesystem;

constexpr int kTrackSeconds = 600;
constexpr int kOffsetStepSeconds = 20;
constexpr int kPlaySeconds = 10;
constexpr int kSettleMs = 1000; // after all play, before the measured ten seconds
constexpr int kDeviceTimeoutMs = 10000;
constexpr int kReadyTimeoutMs = 180000;
constexpr int kPlayStartTimeoutMs = 5000;
constexpr int kProbeIntervalMs = 5;
constexpr double kRssAimMiB = 250;

using bench::Median;
using bench::Ms;

// ---- the process as /proc shows it

struct TMemory {
    double rss = 0, hwm = 0, anon = 0, file = 0, shmem = 0; // [MiB]
    int threads = 0;
};

TMemory ReadMemory() {
    TMemory m;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        double kb = 0;
        if (key == "Threads:") {
            status >> m.threads;
        } else if (key == "VmRSS:" || key == "VmHWM:" || key == "RssAnon:" || key == "RssFile:" ||
                   key == "RssShmem:") {
            status >> kb;
            const double mib = kb / 1024;
            if (key == "VmRSS:") m.rss = mib;
            if (key == "VmHWM:") m.hwm = mib;
            if (key == "RssAnon:") m.anon = mib;
            if (key == "RssFile:") m.file = mib;
            if (key == "RssShmem:") m.shmem = mib;
        }
        status.ignore(1 << 20, '\n');
    }
    return m;
}

std::string MemoryText(const TMemory& m) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "VmRSS %.1f MiB (anonymous %.1f, file %.1f, shared %.1f), VmHWM %.1f MiB, "
                  "%d threads",
                  m.rss, m.anon, m.file, m.shmem, m.hwm, m.threads);
    return text;
}

// VmHWM starts again from the present resident size.
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

struct TThreadSample {
    std::string name;
    int64_t ticks = 0;   // user + system [clock ticks]
    int64_t wakeups = 0; // voluntary context switches
};

std::set<int> ThreadIds() {
    std::set<int> ids;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/task", ec))
        ids.insert(std::atoi(entry.path().filename().c_str()));
    return ids;
}

std::map<int, TThreadSample> SampleThreads() {
    std::map<int, TThreadSample> threads;
    for (int id : ThreadIds()) {
        const std::string base = "/proc/self/task/" + std::to_string(id);
        const std::string stat = ReadLine(base + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue; // ended meanwhile
        std::istringstream fields(stat.substr(close + 2));
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
        if (f.size() < 13) continue;
        TThreadSample sample;
        sample.name = ReadLine(base + "/comm");
        sample.ticks = std::atoll(f[11].c_str()) + std::atoll(f[12].c_str()); // utime, stime
        std::ifstream status(base + "/status");
        std::string key;
        while (status >> key) {
            if (key == "voluntary_ctxt_switches:") status >> sample.wakeups;
            status.ignore(1 << 20, '\n');
        }
        threads[id] = sample;
    }
    return threads;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// ---- the user-interface thread's loop

// What the user-interface thread spent its time on while recording: the outermost events by
// type and receiver class, and the paint events at any depth by the class painted.
class TBenchApplication : public QApplication {
  public:
    using QApplication::QApplication;
    struct TSpent {
        int count = 0;
        double ms = 0;
    };
    void Record(bool on) {
        recording_ = on;
        if (on) {
            outermost_.clear();
            paints_.clear();
            longest_ = {};
        }
    }
    // The longest outermost event since Record(true): [ms] and its name.
    const std::pair<double, std::string>& Longest() const { return longest_; }
    const std::map<std::string, TSpent>& Outermost() const { return outermost_; }
    const std::map<std::string, TSpent>& Paints() const { return paints_; }

    bool notify(QObject* receiver, QEvent* event) override {
        if (!recording_ || !receiver || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        // Read before the dispatch: the event may not outlive it, nor the receiver.
        const QEvent::Type type = event->type();
        const char* className = receiver->metaObject()->className();
        const bool outermost = depth_ == 0;
        ++depth_;
        const auto start = Clock::now();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = Ms(Clock::now() - start);
        --depth_;
        if (outermost || type == QEvent::Paint) {
            const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
            const std::string key = std::string(typeName ? typeName : "?") + " to " + className;
            TSpent& spent = (outermost ? outermost_ : paints_)[key];
            ++spent.count;
            spent.ms += ms;
            if (outermost && ms > longest_.first) longest_ = {ms, key};
            if (outermost && type == QEvent::Paint) { // counted among the paints too
                TSpent& paint = paints_[key];
                ++paint.count;
                paint.ms += ms;
            }
        }
        return handled;
    }

  private:
    bool recording_ = false;
    int depth_ = 0;
    std::map<std::string, TSpent> outermost_;
    std::map<std::string, TSpent> paints_;
    std::pair<double, std::string> longest_;
};

// The largest entries by time: per second of `wallSeconds`, or as totals when it is 0.
void PrintSpent(const char* title, const std::map<std::string, TBenchApplication::TSpent>& spent,
                double wallSeconds, std::size_t top) {
    std::vector<std::pair<std::string, TBenchApplication::TSpent>> rows(spent.begin(), spent.end());
    std::sort(rows.begin(), rows.end(),
              [](const auto& a, const auto& b) { return a.second.ms > b.second.ms; });
    double total = 0;
    for (const auto& row : rows)
        total += row.second.ms;
    const bool rates = wallSeconds > 0;
    const double per = rates ? wallSeconds : 1.0;
    std::printf("   %s: %.1f ms%s in all\n", title, total / per, rates ? " a second" : "");
    for (std::size_t i = 0; i < rows.size() && i < top; ++i)
        std::printf("      %7.1f%s  %7.2f ms%s  %s\n", rows[i].second.count / per,
                    rates ? " /s" : "x", rows[i].second.ms / per, rates ? "/s" : "",
                    rows[i].first.c_str());
}

// Runs the event loop until `done` or `timeoutMs`; false on time-out. A 5 ms precise timer
// wakes the loop to see what workers change, and records in `stall` how much later than due
// its ticks came, the largest of the wait.
bool Pump(const std::function<bool()>& done, int timeoutMs, double* stall = nullptr) {
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    auto last = Clock::now();
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (stall) *stall = std::max(*stall, Ms(now - last) - kProbeIntervalMs);
        last = now;
    });
    heartbeat.start(kProbeIntervalMs);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    if (stall) *stall = std::max(*stall, Ms(Clock::now() - last) - kProbeIntervalMs);
    return true;
}

// The event loop alone for `ms`, with nothing of the bench's own waking it.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
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
        form->resize(1030, 700);
    }
    bool DeviceReady() const { return form->Sound().Device() && form->OpenBtn()->isEnabled(); }
    // How many track windows are Ready with their workers idle.
    int ReadyCount() const {
        int ready = 0;
        for (TFormTrack* w : form->TrackWindows())
            ready += w->Track() && w->Track()->TrackState() == tsReady && !w->Track()->InWork();
        return ready;
    }
    int PlayingCount() const {
        int playing = 0;
        for (TFormTrack* w : form->TrackWindows())
            playing += w->Track() && w->Track()->TrackState() == tsPlaying;
        return playing;
    }
    // The smallest and largest surface and picture over the windows, "W x H".
    std::string Sizes() const {
        QSize surfaceMin(1 << 30, 1 << 30), surfaceMax, pictureMin(1 << 30, 1 << 30), pictureMax;
        for (TFormTrack* w : form->TrackWindows()) {
            if (!w->View()) continue;
            const QSize surface = w->View()->Surface()->size();
            const QSize picture = w->View()->Pictures().Clean().size();
            surfaceMin = surfaceMin.boundedTo(surface);
            surfaceMax = surfaceMax.expandedTo(surface);
            pictureMin = pictureMin.boundedTo(picture);
            pictureMax = pictureMax.expandedTo(picture);
        }
        char text[160];
        std::snprintf(text, sizeof text, "surfaces %d x %d to %d x %d, pictures %d x %d to %d x %d",
                      surfaceMin.width(), surfaceMin.height(), surfaceMax.width(),
                      surfaceMax.height(), pictureMin.width(), pictureMin.height(),
                      pictureMax.width(), pictureMax.height());
        return text;
    }
    // The waveform pictures the windows hold now [bytes].
    int64_t PictureBytes() const {
        int64_t bytes = 0;
        for (TFormTrack* w : form->TrackWindows())
            if (w->View())
                bytes += w->View()->Pictures().Clean().sizeInBytes() +
                         w->View()->Pictures().Screen().sizeInBytes();
        return bytes;
    }
};

// The moments of one open [ms from before the window was made]; -1 when not reached.
struct TOpen {
    double shown = -1, device = -1, opened = -1, firstReady = -1, allReady = -1, idle = -1;
    double stall = 0;                // the user-interface thread's longest stall in the waits
    std::set<int> threadsBeforeOpen; // with the window and its device made
    TMemory memory;                  // at idle
    int64_t pictureBytes = 0;
    std::string sizes;            // of the surfaces and pictures at idle
    bool pictureMismatch = false; // some picture is not the size of its surface
    int windows = 0;
    bool ok = false;
};

// Makes a window, opens the song and waits until all its tracks are Ready and the mode idle.
// The window is left open in `holder`.
TOpen OpenSong(std::unique_ptr<TStudio>& holder, const std::string& song, int tracks) {
    TOpen r;
    const auto start = Clock::now();
    holder = std::make_unique<TStudio>();
    TStudio& s = *holder;
    s.form->show();
    r.shown = Ms(Clock::now() - start);
    if (!Pump([&] { return s.DeviceReady(); }, kDeviceTimeoutMs, &r.stall)) {
        std::fprintf(stderr, "studio_bench: no sound device after %d ms\n", kDeviceTimeoutMs);
        return r;
    }
    r.device = Ms(Clock::now() - start);
    r.threadsBeforeOpen = ThreadIds();
    s.form->OpenByName(song);
    r.opened = Ms(Clock::now() - start);
    const bool done = Pump(
        [&] {
            const int ready = s.ReadyCount();
            const double now = Ms(Clock::now() - start);
            if (ready > 0 && r.firstReady < 0) r.firstReady = now;
            if (ready != tracks) return false;
            if (r.allReady < 0) r.allReady = now;
            if (s.form->Mode() != TStudioMode::Idle) return false;
            r.idle = now;
            return true;
        },
        kReadyTimeoutMs, &r.stall);
    r.memory = ReadMemory();
    r.pictureBytes = s.PictureBytes();
    r.sizes = s.Sizes();
    for (TFormTrack* w : s.form->TrackWindows())
        if (w->View()) {
            const QSize surface = w->View()->Surface()->size();
            const QSize picture = w->View()->Pictures().Clean().size();
            r.pictureMismatch |= picture != surface;
        }
    r.windows = static_cast<int>(s.form->TrackWindows().size());
    if (!done) {
        std::fprintf(stderr,
                     "studio_bench: after %d s only %d of %d track windows are Ready and idle "
                     "(mode %d):\n",
                     kReadyTimeoutMs / 1000, s.ReadyCount(), tracks,
                     static_cast<int>(s.form->Mode()));
        for (TFormTrack* w : s.form->TrackWindows())
            if (w->Track())
                std::fprintf(stderr, "   %s: state %d, in work %d\n", w->Caption().c_str(),
                             static_cast<int>(w->Track()->TrackState()), w->Track()->InWork());
        return r;
    }
    r.ok = r.windows == tracks && s.errors.empty();
    for (const std::string& e : s.errors)
        std::fprintf(stderr, "studio_bench: error box: %s\n", e.c_str());
    return r;
}

void CloseStudio(std::unique_ptr<TStudio>& holder) {
    holder.reset();
    for (int i = 0; i < 5; ++i) // the deferred deletes
        QCoreApplication::processEvents();
    malloc_trim(0); // what the window freed goes back, so that the next run starts level
}

// ---- the files

std::string WorkFolder(const char* dir) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(dir ? dir : tmp && *tmp ? tmp : "/tmp") + "/wavestack-studio-bench";
}

std::string TrackPath(const std::string& folder, int i) {
    char name[32];
    std::snprintf(name, sizeof name, "/track%02d.wav", i + 1);
    return folder + name;
}

std::string OffsetText(int seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d.00000", seconds / 60, seconds % 60);
    return text;
}

// The wave files not yet there at their full size are written; false (the reason printed)
// when the disk cannot hold them or a write fails.
bool MakeWaveFiles(const std::string& folder, int tracks, const WAVEFORMATEX& format) {
    const uintmax_t fileBytes = 46 + static_cast<uintmax_t>(format.nAvgBytesPerSec) * kTrackSeconds;
    std::vector<int> missing;
    for (int i = 0; i < tracks; ++i) {
        std::error_code ec;
        if (fs::file_size(TrackPath(folder, i), ec) != fileBytes) missing.push_back(i);
    }
    if (missing.empty()) return true;
    struct statvfs disk {};
    if (statvfs(folder.c_str(), &disk) == 0) {
        const uintmax_t free = static_cast<uintmax_t>(disk.f_bavail) * disk.f_frsize;
        const uintmax_t needed = missing.size() * fileBytes + (64u << 20); // pictures, margin
        if (free < needed) {
            std::fprintf(stderr,
                         "studio_bench: %s has %.0f MiB free, but %zu more wave files of %.0f MiB "
                         "need %.0f MiB. Give a folder on a larger disk (studio_bench RUNS DIR) "
                         "or fewer tracks (studio_bench RUNS DIR TRACKS); %ju tracks fit.\n",
                         folder.c_str(), free / 1048576.0, missing.size(), fileBytes / 1048576.0,
                         needed / 1048576.0,
                         (free > (64u << 20) ? (free - (64u << 20)) / fileBytes : 0) +
                             (tracks - missing.size()));
            return false;
        }
    }
    std::printf("studio_bench: writing %zu ten-minute wave files in %s (once; kept for the next "
                "run)\n",
                missing.size(), folder.c_str());
    std::fflush(stdout);
    for (int i : missing) {
        const std::string path = TrackPath(folder, i);
        std::error_code ignored;
        fs::remove(PictureFileName(path), ignored);
        if (!bench::WriteToneFile(path, format, kTrackSeconds, 220.0 + 27.5 * i)) {
            std::fprintf(stderr, "studio_bench: cannot write %s\n", path.c_str());
            fs::remove(path, ignored);
            return false;
        }
    }
    ::sync(); // no write-back of the new files under the measured reads
    return true;
}

bool WriteSongFile(const std::string& song, const std::string& folder, int tracks) {
    std::vector<TSongTrackOut> out;
    for (int i = 0; i < tracks; ++i) {
        TSongTrackOut t;
        t.waveFileName = TrackPath(folder, i);
        t.fileNameForState = t.waveFileName;
        t.offsetText = OffsetText(i * kOffsetStepSeconds);
        out.push_back(t);
    }
    std::vector<TTrack> saved;
    std::string error;
    if (!WriteSong(song, out, saved, error)) {
        std::fprintf(stderr, "studio_bench: cannot write the song: %s\n", error.c_str());
        return false;
    }
    return true;
}

// ---- the thread table

// What a thread is, by when it appeared.
struct TThreadRole {
    const char* name;
    std::set<int> ids;
};

void PrintThreads(const std::map<int, TThreadSample>& before,
                  const std::map<int, TThreadSample>& after, double wallSeconds,
                  const std::vector<TThreadRole>& roles, double& uiShare) {
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    struct TGroup {
        double share = 0;
        int threads = 0;
    };
    std::map<std::string, TGroup> groups;
    std::printf("   %-7s %-16s %-34s %8s %10s\n", "thread", "name", "role", "% core", "wakeups/s");
    for (const auto& [id, sample] : after) {
        const auto was = before.find(id);
        const int64_t ticks = sample.ticks - (was != before.end() ? was->second.ticks : 0);
        const int64_t wakeups = sample.wakeups - (was != before.end() ? was->second.wakeups : 0);
        const char* role = "born while playing";
        for (const TThreadRole& r : roles)
            if (r.ids.count(id)) role = r.name;
        const double share = 100.0 * ticks / tick / wallSeconds;
        std::printf("   %-7d %-16s %-34s %8.1f %10.1f\n", id, sample.name.c_str(), role, share,
                    wakeups / wallSeconds);
        groups[role].share += share;
        ++groups[role].threads;
        if (id == getpid()) uiShare = share;
    }
    std::printf("   by role:");
    for (const auto& [role, group] : groups)
        std::printf(" %s (%d) %.1f %%;", role.c_str(), group.threads, group.share);
    std::printf("\n");
}

int Run(TBenchApplication& app, const std::string& folder, int runs, int tracks) {
    const WAVEFORMATEX cd = MakePcmFormat(44100, 16, 2);
    const std::string song = folder + "/bench.Sng";
    std::vector<std::string> paths;
    std::string cat = "cat";
    for (int i = 0; i < tracks; ++i) {
        paths.push_back(TrackPath(folder, i));
        cat += " '" + paths.back() + "'";
    }
    cat += " >/dev/null";
    const auto catMs = [&] {
        const auto c0 = Clock::now();
        if (std::system(cat.c_str()) != 0) return -1.0;
        return Ms(Clock::now() - c0);
    };
    if (catMs() < 0) { // the files into the page cache
        std::fprintf(stderr, "studio_bench: %s failed\n", cat.c_str());
        return 1;
    }
    const std::string config = folder + "/config";
    const auto freshConfig = [&] {
        std::error_code ignored;
        fs::remove_all(config, ignored);
    };
    setenv("WAVESTACK_CONFIG_DIR", config.c_str(), 1);
    std::printf("studio_bench: %d ten-minute tracks (44100 Hz, 16-bit stereo, %d data bytes "
                "each), start offsets 0 to %d s, in %s; %s\n",
                tracks, static_cast<int>(cd.nAvgBytesPerSec) * kTrackSeconds,
                (tracks - 1) * kOffsetStepSeconds, folder.c_str(),
                QGuiApplication::platformName().toStdString().c_str());
    const TMemory baseline = ReadMemory();
    std::printf("   before any window: %s\n", MemoryText(baseline).c_str());

    // ---- the picture files written once
    std::unique_ptr<TStudio> holder;
    bool warmMismatch = false;
    {
        freshConfig();
        const TOpen warm = OpenSong(holder, song, tracks);
        warmMismatch = warm.pictureMismatch;
        CloseStudio(holder);
        if (!warm.ok) {
            std::fprintf(stderr, "studio_bench: the first open of the song failed\n");
            return 1;
        }
        std::printf("0. first open (picture files written where missing): all Ready at %.0f ms, "
                    "idle at %.0f ms; then (arranged) %s\n",
                    warm.allReady, warm.idle, warm.sizes.c_str());
    }
    std::map<std::string, fs::file_time_type> pictureTimes;
    int stale = 0;
    for (const std::string& path : paths) {
        const std::string picture = PictureFileName(path);
        std::error_code ec;
        pictureTimes[picture] = fs::last_write_time(picture, ec);
        stale += ec || !PictureUpToDate(picture, path);
    }
    if (warmMismatch)
        std::printf("   NOTE: the pictures are not the size of the surfaces that show them: each "
                    "was computed for the surface its window had when the load began, and is "
                    "scaled after Arrange; the picture files keep that size, and an up-to-date "
                    "one is loaded whatever its size\n");
    if (stale != 0)
        std::printf("   NOTE: after the first open %d of %d picture files are missing or out of "
                    "date: those tracks compute their picture in every run\n",
                    stale, tracks);

    // ---- 1. measured opens
    std::printf("1. song open, from before the window is made until all %d tracks are Ready "
                "and the window idle (pictures cached, page cache warm), beside cat of the "
                "files\n",
                tracks);
    std::vector<double> ready, idle, cats, device, opened, first, stalls, rss, hwm;
    int result = 0;
    std::set<int> beforeWindow, beforeOpen, afterOpen;
    for (int run = 0; run < runs; ++run) {
        const double c = catMs();
        freshConfig();
        const bool last = run == runs - 1;
        if (last) beforeWindow = ThreadIds();
        ResetPeakMemory();
        app.Record(last);
        const TOpen r = OpenSong(holder, song, tracks);
        app.Record(false);
        if (last) beforeOpen = r.threadsBeforeOpen;
        if (!r.ok) {
            std::fprintf(stderr, "studio_bench: run %d failed\n", run + 1);
            result = 1;
            break;
        }
        int recomputed = 0;
        for (const auto& [picture, time] : pictureTimes) {
            std::error_code ec;
            recomputed += fs::last_write_time(picture, ec) != time;
        }
        ready.push_back(r.allReady);
        idle.push_back(r.idle);
        cats.push_back(c);
        device.push_back(r.device);
        opened.push_back(r.opened - r.device);
        first.push_back(r.firstReady);
        stalls.push_back(r.stall);
        rss.push_back(r.memory.rss);
        hwm.push_back(r.memory.hwm);
        std::printf("   run %d: all Ready %.0f ms (idle %.0f ms), cat %.0f ms, ratio %.2f; "
                    "%s; pictures held %.1f MiB; %d picture files rewritten\n",
                    run + 1, r.allReady, r.idle, c, r.allReady / c, MemoryText(r.memory).c_str(),
                    r.pictureBytes / 1048576.0, recomputed);
        std::printf("          window shown %.0f ms, device %.0f ms, OpenByName returned %.0f ms, "
                    "first track Ready %.0f ms; longest user-interface stall %.0f ms\n",
                    r.shown, r.device, r.opened, r.firstReady, r.stall);
        if (!last) {
            CloseStudio(holder);
            std::printf("          after the window closed: %s\n",
                        MemoryText(ReadMemory()).c_str());
        }
    }
    if (result != 0) {
        CloseStudio(holder);
        return result;
    }
    const double readyMedian = Median(ready), catMedian = Median(cats);
    std::printf("   median over %d runs: start to all Ready %.0f ms (and the window idle %.0f "
                "ms), cat of the %d files %.0f ms, ratio %.2f; VmRSS then %.1f MiB (aim <= "
                "%.0f), VmHWM %.1f MiB\n",
                runs, readyMedian, Median(idle), tracks, catMedian, readyMedian / catMedian,
                Median(rss), kRssAimMiB, Median(hwm));
    std::printf("   stages (medians): device %.0f ms after the start, the OpenByName call %.0f ms "
                "(it holds the user-interface thread), first Ready at %.0f ms; longest "
                "user-interface stall after the call %.0f ms\n",
                Median(device), Median(opened), Median(first), Median(stalls));
    std::printf("   the last run's open on the user-interface thread (the OpenByName call is not "
                "an event): longest event %.1f ms (%s)\n",
                app.Longest().first, app.Longest().second.c_str());
    PrintSpent("its outermost events", app.Outermost(), 0, 6);

    // ---- 2. processor share while all play
    TStudio& s = *holder;
    afterOpen = ThreadIds();
    const TMemory beforePlay = ReadMemory();
    s.form->PlayAllClick();
    const bool started = Pump([&] { return s.PlayingCount() == tracks; }, kPlayStartTimeoutMs);
    const std::set<int> atPlay = ThreadIds();
    RunFor(kSettleMs);
    const auto positions = [&] {
        std::vector<int32_t> at;
        for (TFormTrack* w : s.form->TrackWindows())
            at.push_back(w->Track()->PlayPosition);
        return at;
    };
    const std::vector<int32_t> from = positions();
    const auto threads0 = SampleThreads();
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    app.Record(true);
    RunFor(kPlaySeconds * 1000);
    app.Record(false);
    const auto threads1 = SampleThreads();
    const double cpu1 = ProcessCpuSeconds();
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const std::vector<int32_t> to = positions();
    double leastMoved = 1e9, mostMoved = 0; // [s]
    for (std::size_t i = 0; i < from.size() && i < to.size(); ++i) {
        const double moved = static_cast<double>(to[i] - from[i]) / cd.nAvgBytesPerSec;
        leastMoved = std::min(leastMoved, moved);
        mostMoved = std::max(mostMoved, moved);
    }
    const int stillPlaying = s.PlayingCount();
    const TMemory playing = ReadMemory();
    s.form->StopAllClick();
    const bool stopped =
        Pump([&] { return s.ReadyCount() == tracks && s.form->Mode() == TStudioMode::Idle; },
             kReadyTimeoutMs);

    // Roles by when each thread appeared. The clock's thread is among those born during the
    // open: reading the song stops the clock and starts it again, on a new thread.
    std::vector<TThreadRole> roles = {{"user interface", {getpid()}},
                                      {"born before this window", {}},
                                      {"born with the window, device", {}},
                                      {"born during the open (clock)", {}},
                                      {"born at Play all (feeders)", {}}};
    for (int id : beforeWindow)
        if (id != getpid()) roles[1].ids.insert(id);
    for (int id : beforeOpen)
        if (!beforeWindow.count(id)) roles[2].ids.insert(id);
    for (int id : afterOpen)
        if (!beforeOpen.count(id)) roles[3].ids.insert(id);
    for (int id : atPlay)
        if (!afterOpen.count(id)) roles[4].ids.insert(id);
    std::printf("2. Play all: %d of %d tracks playing after the start, %d at the end of %d s; "
                "memory while playing: %s (before Play all VmRSS %.1f MiB)\n",
                started ? tracks : s.PlayingCount(), tracks, stillPlaying, kPlaySeconds,
                MemoryText(playing).c_str(), beforePlay.rss);
    double uiShare = 0;
    PrintThreads(threads0, threads1, wall, roles, uiShare);
    const double total = 100.0 * (cpu1 - cpu0) / wall;
    std::printf("   over %.1f s: whole process %.1f %% of one core, the user-interface thread "
                "%.1f %% (clock polls, marker repaints); the play positions moved %.2f to %.2f "
                "s\n",
                wall, total, uiShare, leastMoved, mostMoved);
    PrintSpent("the user-interface thread's outermost events", app.Outermost(), wall, 8);
    PrintSpent("its paint events (nested ones included)", app.Paints(), wall, 6);
    if (!started || stillPlaying != tracks || leastMoved < 0.9 * wall) {
        std::fprintf(stderr, "studio_bench: not every track played through the measurement\n");
        result = 1;
    }
    if (!stopped) {
        std::fprintf(stderr, "studio_bench: Stop all did not bring every track back to Ready\n");
        result = 1;
    }
    if (!s.errors.empty()) result = 1;
    CloseStudio(holder);
    std::printf("   after the window closed: %s\n", MemoryText(ReadMemory()).c_str());
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        std::printf("studio_bench: PULSE_SERVER is not set, skipped "
                    "(start tests/pulse/server.sh first, or run bench/studio_bench.sh)\n");
        return 0;
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int tracks = argc > 3 ? std::atoi(argv[3]) : 16;
    const std::string meters = argc > 4 ? argv[4] : "on";
    if (runs <= 0 || tracks <= 0 || (meters != "on" && meters != "off")) {
        std::fprintf(stderr, "usage: studio_bench [RUNS] [DIR] [TRACKS] [on|off]\n");
        return 2;
    }
    SetLevelMetering(meters == "on");
    std::printf("level meters %s\n", meters.c_str());
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string folder = WorkFolder(argc > 2 ? argv[2] : nullptr);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "studio_bench: cannot make %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return 1;
    }
    if (!MakeWaveFiles(folder, tracks, MakePcmFormat(44100, 16, 2)) ||
        !WriteSongFile(folder + "/bench.Sng", folder, tracks))
        return 1;
    // The tracks' own temporary files go into the work folder too.
    const std::string tempFolder = folder + "/tmp";
    fs::create_directories(tempFolder, ec);
    setenv("TMPDIR", tempFolder.c_str(), 1);

    // The window opens its first command-line argument as a song: it gets none.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    TBenchApplication app(qtArgc, qtArgv);
    return Run(app, folder, runs, tracks);
}
