// The processor cost of playing a song: sixteen tracks of mixed formats played together with
// Play all through the sound server, the clock ticking every 100 ms, the feeders refilling
// their rings and the software mixer rendering the output stream. Prints the process's user
// plus system time as a share of one core, first with the device open and nothing playing,
// then over the measured play.
//
// Usage: playback_bench [SECONDS] [DIR]
//   SECONDS  length of the measured play (default 30)
//   DIR      where the sixteen three-minute wave files are made (default $TMPDIR or /tmp);
//            they lie in a folder of their own that is deleted again at the end.
// Needs a sound server: run it against the private one of tests/pulse/server.sh,
//   eval "$(tests/pulse/server.sh start)"; build/default/bench/playback_bench;
//   tests/pulse/server.sh stop
// Without PULSE_SERVER it says so and does nothing. Build with the default preset.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/WaveFormat.h"
#include "bench/ToneFile.h"
#include "studio/core/SoundSetup.h"
#include "studio/core/StudioClock.h"
#include "studio/core/Transport.h"
#include "track/HeadlessView.h"
#include "track/VelTrack.h"

namespace {

constexpr int kTracks = 16;
constexpr int kTrackSeconds = 180;

struct BenchSink : TMessageSink {
    std::mutex mutex;
    int errors = 0;
    void AddMessage(uint8_t kind, const std::string& text) override {
        std::lock_guard lock(mutex);
        if (kind == kMsgError) ++errors;
        if (kind == kMsgError || text == "Stop Using Stop Chunk")
            std::fprintf(stderr, "message %u: %s\n", kind, text.c_str());
    }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The process's processor time over `seconds` of wall time, as a share of one core [%].
double CpuShareOver(double seconds) {
    const double cpu0 = CpuSeconds();
    const double wall0 = WallSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return 100.0 * (CpuSeconds() - cpu0) / (WallSeconds() - wall0);
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        std::printf("playback_bench: PULSE_SERVER is not set, skipped "
                    "(start tests/pulse/server.sh first)\n");
        return 0;
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: playback_bench [SECONDS] [DIR]\n");
        return 2;
    }
    const std::string folder = bench::MakeBenchFolder("playback-bench", argc > 2 ? argv[2] : nullptr);
    if (folder.empty()) return 1;

    const WAVEFORMATEX formats[] = {MakePcmFormat(44100, 16, 2), MakePcmFormat(22050, 8, 1),
                                    MakePcmFormat(48000, 16, 1), MakePcmFormat(11025, 8, 2)};
    std::vector<std::string> paths;
    bool written = true;
    for (int i = 0; i < kTracks && written; ++i) {
        paths.push_back(folder + "/track" + std::to_string(i) + ".wav");
        written = bench::WriteToneFile(paths.back(), formats[i % 4], kTrackSeconds, 220.0 + 55 * i);
    }
    // The tracks' own temporary files go into the folder too.
    const std::string tempFolder = folder + "/tmp";
    mkdir(tempFolder.c_str(), 0700);
    setenv("TMPDIR", tempFolder.c_str(), 1);
    const auto cleanUp = [&] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    };
    if (!written) {
        std::fprintf(stderr, "playback_bench: cannot write the wave files in %s\n", folder.c_str());
        cleanUp();
        return 1;
    }

    int result = 0;
    {
        BenchSink sink;
        TTrackOwner owner;
        THeadlessTrackView view(false);
        TMemoryClipboard clipboard;
        TVELCriticalSection fileLock;
        TSoundSetup setup(sink);
        const WAVEFORMATEX output = formats[0];
        if (!setup.Initialise("", output)) {
            std::fprintf(stderr, "playback_bench: no sound device\n");
            cleanUp();
            return 1;
        }
        std::vector<std::unique_ptr<TVelTrack>> tracks;
        std::vector<TTransportTrack> song;
        for (const std::string& path : paths) {
            tracks.push_back(std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock));
            TVelTrack& track = *tracks.back();
            track.SetSoundDevice(setup.Device(), output);
            track.FileName = path;
            track.Reopen();
            track.WaitForWorker();
            if (track.TrackState() != tsReady) {
                std::fprintf(stderr, "playback_bench: %s did not load\n", path.c_str());
                result = 1;
            }
            song.push_back({&track, false});
        }
        if (result == 0) {
            TStudioClock clock(sink);
            clock.Start([&] { UpdatePlayingTracks(song); });
            TClockTicker ticker(clock, 100);
            const double idle = CpuShareOver(5.0);
            RewindAll(song);
            PlayAll(song);
            // The cues filled every ring before the start; let the first refills settle.
            std::this_thread::sleep_for(std::chrono::seconds(1));
            const double playing = CpuShareOver(seconds);
            int stillPlaying = 0;
            for (const TTransportTrack& entry : song)
                stillPlaying += entry.track->TrackState() == tsPlaying;
            StopAll(song);
            for (const auto& track : tracks)
                track->WaitForWorker();
            ticker.Stop();
            clock.Stop();
            std::printf("device open, nothing playing (5 s): %.2f %% of one core\n", idle);
            std::printf("%d tracks playing (%.0f s): %.2f %% of one core\n", kTracks, seconds,
                        playing);
            if (stillPlaying != kTracks || sink.errors != 0) {
                std::fprintf(stderr,
                             "playback_bench: only %d of %d tracks played through, %d errors\n",
                             stillPlaying, kTracks, sink.errors);
                result = 1;
            }
        }
        tracks.clear();
    }
    cleanUp();
    return result;
}
