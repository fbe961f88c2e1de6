#include "app/cli/CmdRecord.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/cli/CliArgs.h"
#include "app/cli/CliLive.h"
#include "app/cli/CliTrack.h"
#include "audio/VelTrackUtils.h"
#include "platform/WaveIn.h"
#include "studio/core/SoundSetup.h"
#include "studio/core/StudioClock.h"
#include "studio/core/Transport.h"
#include "track/HeadlessView.h"
#include "track/VelTrack.h"

namespace {

struct TWith {
    std::string file;
    std::string offset; // time text or bytes; empty: 0
};

struct TRecordArgs {
    std::string file, selection, play, device, out;
    std::vector<TWith> with;
};

// One track of the song: the track with its own owner and view.
struct TSongTrack {
    TSongTrack(TCliSink& sink, TCliArgs& args, TMemoryClipboard& clipboard,
               TVELCriticalSection& lock)
        : owner(sink, args), track(owner, sink, view, clipboard, &lock) {}
    TCliOwner owner;
    TLiveView view;
    TVelTrack track;
};

bool OpenTrack(TVelTrack& track, const std::string& file) {
    track.FileName = file;
    track.Reopen();
    track.WaitForWorker();
    return track.TrackState() == tsReady;
}

int Record(const TRecordArgs& a) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    TCliSink sink(false, terminal);
    TCliArgs noArgs;
    TMemoryClipboard clipboard;
    TVELCriticalSection fileLock;

    int32_t inputDevice = WAVE_MAPPER;
    if (!a.device.empty()) {
        const std::vector<TWaveInCaps> inputs = EnumerateInputDevices();
        inputDevice = -2;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (inputs[i].productName == a.device || inputs[i].identifier == a.device)
                inputDevice = static_cast<int32_t>(i);
        if (inputDevice == -2) return LiveUsageError("no input device named " + a.device);
    }

    TSoundSetup setup(sink);
    const WAVEFORMATEX output = MakePcmFormat(44100, 16, 2);
    if (!setup.Initialise("", output)) return 1;

    std::vector<std::unique_ptr<TSongTrack>> song;
    song.push_back(std::make_unique<TSongTrack>(sink, noArgs, clipboard, fileLock));
    TVelTrack& recorder = song[0]->track;
    recorder.SetSoundDevice(setup.Device(), output);
    recorder.SetInputDevice(inputDevice);
    if (!OpenTrack(recorder, a.file)) return 1;

    const WAVEFORMATEX& format = recorder.Format();
    // "START:END" where either side may itself be time text "MM:SS.FFFFF".
    std::optional<int32_t> selStart, selEnd;
    for (std::size_t at = a.selection.find(':'); at != std::string::npos;
         at = a.selection.find(':', at + 1)) {
        selStart = ParsePosition(a.selection.substr(0, at), format);
        selEnd = ParsePosition(a.selection.substr(at + 1), format);
        if (selStart && selEnd) break;
    }
    if (!selStart || !selEnd || *selStart < 0 || *selStart >= *selEnd ||
        *selEnd > recorder.DataLength)
        return LiveUsageError("bad selection " + a.selection + " (the data is " +
                              BytesToTimeText(recorder.DataLength, format) + " long)");
    recorder.SelStart = *selStart;
    recorder.SelEnd = *selEnd;
    recorder.SetHasSelection(true);
    int32_t play = *selStart;
    if (!a.play.empty()) {
        const std::optional<int32_t> p = ParsePosition(a.play, format);
        if (!p || *p < 0 || *p > recorder.DataLength)
            return LiveUsageError("bad position " + a.play);
        play = *p;
    }
    recorder.Cue(recorder.StartOffset + play);

    for (const TWith& w : a.with) {
        song.push_back(std::make_unique<TSongTrack>(sink, noArgs, clipboard, fileLock));
        TVelTrack& other = song.back()->track;
        other.SetSoundDevice(setup.Device(), output);
        if (!OpenTrack(other, w.file)) return 1;
        if (!w.offset.empty()) {
            const std::optional<int32_t> offset = ParsePosition(w.offset, other.Format());
            if (!offset || *offset < 0) return LiveUsageError("bad start offset " + w.offset);
            other.SetStartOffsetText(BytesToTimeText(*offset, other.Format()));
        }
    }
    std::vector<TTransportTrack> tracks;
    for (const auto& entry : song)
        tracks.push_back({&entry->track, false});

    TStudioClock clock(sink);
    clock.Start([&] { UpdatePlayingTracks(tracks); });
    TClockTicker ticker(clock, 100);
    const TInterruptCatcher interrupt;

    // Every other track starts at the time the take starts (Sync).
    const bool started = RecordAll(tracks, recorder, true);
    bool stopRequested = false;
    while (started) {
        if (recorder.TrackState() != tsRecording && !recorder.Worker().InWork()) break;
        if (interrupt.Interrupted() && !stopRequested) {
            StopAll(tracks);
            stopRequested = true;
        }
        if (terminal)
            std::fprintf(stderr, "\r %s ", recorder.PositionText(recorder.PlayPosition).c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    recorder.WaitForWorker();
    if (terminal && started) std::fputs("\n", stderr);
    // A take that ran to the selection end leaves the others playing.
    StopAll(tracks);
    for (const auto& entry : song)
        entry->track.WaitForWorker();
    ticker.Stop();
    clock.Stop();

    const bool recorded = started && recorder.TrackState() == tsReady &&
                          !recorder.UndoNames.empty() && recorder.UndoNames.back() == "Recording";
    if (!recorded) return 1;
    if (recorder.RecordingDroppedBytes() > 0)
        sink.AddMessage(kMsgWarning, std::to_string(recorder.RecordingDroppedBytes()) +
                                         " input bytes were lost");
    return recorder.SaveTrackAs(a.out.empty() ? a.file : a.out) ? 0 : 1;
}

} // namespace

bool PrintInputDevices() {
    const std::vector<TWaveInCaps> inputs = EnumerateInputDevices();
    if (inputs.empty()) return false;
    std::printf("Input devices:\n");
    for (std::size_t i = 0; i < inputs.size(); ++i)
        std::printf("  %zu\t%s\t%s\n", i, inputs[i].productName.c_str(),
                    inputs[i].identifier.c_str());
    return true;
}

bool IsRecordCommand(const std::vector<std::string>& words) {
    return !words.empty() && words[0] == "record";
}

std::string RecordUsage() {
    return "  wavestack-cli record FILE --sel START:END [--play POS] [--with OTHER[@OFFSET]]...\n"
           "                [--device NAME] [-o OUT]\n"
           "      record over the selection of FILE from the input device while every OTHER\n"
           "      plays from the same song position (OFFSET: its start on the song); the take\n"
           "      starts at POS inside the selection, else at START; Ctrl-C stops all; saves\n"
           "      over FILE or to OUT\n";
}

int RunRecordCommand(const std::vector<std::string>& words) {
    TRecordArgs a;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--sel" || w == "--play" || w == "--with" || w == "--device" || w == "-o") {
            if (i + 1 >= words.size()) return LiveUsageError(w + " needs a value");
            const std::string& value = words[++i];
            if (w == "--sel") a.selection = value;
            if (w == "--play") a.play = value;
            if (w == "--device") a.device = value;
            if (w == "-o") a.out = value;
            if (w == "--with") {
                const std::size_t at = value.rfind('@');
                a.with.push_back(at == std::string::npos
                                     ? TWith{value, ""}
                                     : TWith{value.substr(0, at), value.substr(at + 1)});
            }
        } else if (!w.empty() && w[0] == '-') {
            return LiveUsageError("unknown option " + w);
        } else if (a.file.empty()) {
            a.file = w;
        } else {
            return LiveUsageError("record takes one file");
        }
    }
    if (a.file.empty()) return LiveUsageError("record needs a file");
    if (a.selection.empty()) return LiveUsageError("record needs --sel START:END");
    return Record(a);
}
