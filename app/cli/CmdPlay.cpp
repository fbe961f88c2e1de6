#include "app/cli/CmdPlay.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/cli/CliArgs.h"
#include "app/cli/CliLive.h"
#include "app/cli/CliTrack.h"
#include "app/cli/CmdRecord.h"
#include "studio/core/SoundSetup.h"
#include "studio/core/StudioClock.h"
#include "studio/core/Transport.h"
#include "track/HeadlessView.h"
#include "track/PlaybackState.h"
#include "track/VelTrack.h"

namespace {

int ListDevices() {
    const std::vector<TSoundDevice> outputs = EnumerateOutputDevices();
    if (outputs.empty()) {
        std::fputs("No DirectSound devices\n", stderr);
        return 1;
    }
    std::printf("Output devices:\n");
    for (const TSoundDevice& device : outputs)
        std::printf("  %s\t%s\n", device.description.c_str(),
                    device.identifier.empty() ? "(default)" : device.identifier.c_str());
    if (!PrintInputDevices()) std::printf("No Input devices available.\n");
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int Play(const std::string& file, const std::string& from, const std::string& deviceName) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    TCliSink sink(false, terminal);
    TCliArgs noArgs;
    TCliOwner owner(sink, noArgs);
    TLiveView view;
    TMemoryClipboard clipboard;
    TVELCriticalSection fileLock;

    // The device is chosen by its description or identifier; an unknown name takes the first.
    std::string description = deviceName;
    TSoundSetup setup(sink, [&] {
        std::vector<TSoundDevice> devices = EnumerateOutputDevices();
        for (const TSoundDevice& d : devices)
            if (!deviceName.empty() && d.identifier == deviceName) description = d.description;
        return devices;
    });
    const WAVEFORMATEX output = MakePcmFormat(44100, 16, 2);
    if (!setup.Initialise(description, output)) return 1;

    TVelTrack track(owner, sink, view, clipboard, &fileLock);
    track.SetSoundDevice(setup.Device(), output);
    track.FileName = file;
    track.Reopen();
    track.WaitForWorker();
    if (track.TrackState() != tsReady) return 1;
    if (!from.empty()) {
        const std::optional<int32_t> position = ParsePosition(from, track.Format());
        if (!position || *position < 0 || *position > track.DataLength) {
            sink.Error("Bad position " + from);
            return 2;
        }
        track.Cue(track.StartOffset + *position);
    }
    if (!track.Playback() || !track.Playback()->HasBuffer()) return 1;

    const std::vector<TTransportTrack> tracks = {{&track, false}};
    TStudioClock clock(sink);
    clock.Start([&] { UpdatePlayingTracks(tracks); });
    TClockTicker ticker(clock, 100);

    const TInterruptCatcher interrupt;

    track.Play();
    const bool started = track.TrackState() == tsPlaying;
    bool stopRequested = false;
    while (started) {
        const TTrackState state = track.TrackState();
        if (state != tsPlaying && state != tsStopping && !track.Worker().InWork()) break;
        if (interrupt.Interrupted() && !stopRequested) {
            track.Stop();
            stopRequested = true;
        }
        if (terminal)
            std::fprintf(stderr, "\r %s ", track.PositionText(track.PlayPosition).c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    track.WaitForWorker();
    if (terminal && started) std::fputs("\n", stderr);
    ticker.Stop();
    clock.Stop();
    return started && track.TrackState() == tsReady && !sink.HadError() ? 0 : 1;
}

} // namespace

bool IsPlayCommand(const std::vector<std::string>& words) {
    return !words.empty() && (words[0] == "play" || words[0] == "devices");
}

std::string PlayUsage() {
    return "  wavestack-cli play FILE [--from POS] [--device NAME]\n"
           "      play FILE from POS (bytes or MM:SS.FFFFF) on the named output device;\n"
           "      Ctrl-C stops\n"
           "  wavestack-cli devices\n"
           "      list the sound devices (description and identifier)\n";
}

int RunPlayCommand(const std::vector<std::string>& words) {
    if (words[0] == "devices") {
        if (words.size() != 1) return LiveUsageError("devices takes no arguments");
        return ListDevices();
    }
    std::string file, from, device;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--from" || w == "--device") {
            if (i + 1 >= words.size()) return LiveUsageError(w + " needs a value");
            (w == "--from" ? from : device) = words[++i];
        } else if (!w.empty() && w[0] == '-') {
            return LiveUsageError("unknown option " + w);
        } else if (file.empty()) {
            file = w;
        } else {
            return LiveUsageError("play takes one file");
        }
    }
    if (file.empty()) return LiveUsageError("play needs a file");
    return Play(file, from, device);
}
