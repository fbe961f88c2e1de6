#include "app/cli/CmdCombine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/cli/CliTrack.h"
#include "audio/VelTrackUtils.h"
#include "platform/TempFiles.h"
#include "studio/core/CombinePlan.h"
#include "studio/core/SongFile.h"

namespace {

struct TCombineArgs {
    bool quiet = false;
    bool help = false;
    std::string song;
    std::string output;
    WAVEFORMATEX format = MakePcmFormat(44100, 16, 2);
};

bool ParseFormat(const std::string& text, WAVEFORMATEX& format) {
    long rate = 0;
    int bits = 0;
    int channels = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%ld,%d,%d%c", &rate, &bits, &channels, &tail) != 3) return false;
    if (rate < 1 || rate > 1000000 || (bits != 8 && bits != 16) || (channels != 1 && channels != 2))
        return false;
    format = MakePcmFormat(static_cast<uint32_t>(rate), static_cast<uint16_t>(bits),
                           static_cast<uint16_t>(channels));
    return true;
}

bool Parse(const std::vector<std::string>& words, TCombineArgs& out, std::string& error) {
    bool commandSeen = false;
    bool formatSeen = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i];
        if (word == "--help" || word == "-h") {
            out.help = true;
            return true;
        }
        if (word == "--quiet" || word == "-q") {
            out.quiet = true;
            continue;
        }
        if (!commandSeen) {
            commandSeen = word == "combine";
            continue;
        }
        if (word.size() > 1 && word[0] == '-') {
            std::optional<std::string> value;
            const auto eq = word.find('=');
            if (word.rfind("--", 0) == 0 && eq != std::string::npos) {
                value = word.substr(eq + 1);
                word = word.substr(0, eq);
            }
            if (word != "-o" && word != "--format") {
                error = "unknown option " + word + " for combine";
                return false;
            }
            if (!value) {
                if (i + 1 >= words.size()) {
                    error = word + " needs a value";
                    return false;
                }
                value = words[++i];
            }
            if (word == "-o") {
                if (!out.output.empty()) {
                    error = "-o given twice";
                    return false;
                }
                if (value->empty()) {
                    error = "bad value for -o: \"\" (a file name)";
                    return false;
                }
                out.output = *value;
            } else {
                if (formatSeen) {
                    error = "--format given twice";
                    return false;
                }
                formatSeen = true;
                if (!ParseFormat(*value, out.format)) {
                    error = "bad value for --format: \"" + *value +
                            "\" (RATE,BITS,CHANNELS with BITS 8 or 16 and CHANNELS 1 or 2)";
                    return false;
                }
            }
        } else if (out.song.empty()) {
            out.song = word;
        } else {
            error = "unexpected argument \"" + word + "\"";
            return false;
        }
    }
    if (out.song.empty()) {
        error = "missing song file";
        return false;
    }
    if (out.output.empty()) {
        error = "missing -o OUT";
        return false;
    }
    return true;
}

int Fail(TCliSink& sink, const std::string& fallback) {
    sink.Progress().Clear();
    if (!sink.HadError()) {
        sink.Stream().EndLine();
        std::fprintf(stderr, "%s\n", fallback.c_str());
    }
    return 1;
}

// Each track, its view and its owner: the sources show no progress of their own.
struct TSourceTrack {
    TTrackOwner owner;
    THeadlessTrackView view{false};
    std::unique_ptr<TVelTrack> track;
};

// The combine's window actions for a tool without windows: the target is a track of its own,
// made and loaded here; its caption, the frame's Back and the closing have nothing to act on
// (the target goes with the command).
class TCliCombineHost : public TCombineHost {
  public:
    TCliCombineHost(TVelTrack& target, const WAVEFORMATEX& format)
        : target_(target), format_(format) {}
    TStudioMode Mode() const { return mode_; }

    void SetMode(TStudioMode mode) override { mode_ = mode; }
    void RefreshControls() override {}
    bool MakeTarget() override {
        target_.NewTrack(format_, "00:00.00000");
        target_.Reopen();
        target_.WaitForWorker();
        return true; // a target that could not be loaded ends the combine at its first poll
    }
    void EnableStop() override {}
    void SetTargetStart(const std::string& timeText) override {
        target_.SetStartOffsetText(timeText);
    }
    void SetTargetCaption(const std::string&) override {}
    void ShowPreviousWindow() override {}
    void CloseTarget() override {}
    void ForgetTarget() override {}

  private:
    TVelTrack& target_;
    const WAVEFORMATEX format_;
    TStudioMode mode_ = TStudioMode::Idle;
};

} // namespace

bool IsCombineCommand(const std::vector<std::string>& words) {
    for (const std::string& w : words) {
        if (w == "--quiet" || w == "-q") continue;
        return w == "combine";
    }
    return false;
}

std::string CombineUsage() {
    return R"(
Combining a song:
  combine SONG -o OUT [--format RATE,BITS,CHANNELS]
      Mix the unmuted tracks of the song file SONG into the new wave file OUT, each at its
      start offset with its pan and volume, from the earliest start to the latest end.
      The format defaults to 44100,16,2.
)";
}

int RunCombine(const std::vector<std::string>& words) {
    TCombineArgs args;
    std::string error;
    if (!Parse(words, args, error)) {
        std::fprintf(stderr, "wavestack-cli: %s\nTry 'wavestack-cli --help'.\n", error.c_str());
        return 2;
    }
    if (args.help) {
        std::fputs((CliUsage() + CombineUsage()).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    TCliSink sink(args.quiet, ::isatty(STDERR_FILENO) == 1);
    sink.AddMessage(kMsgStatus, ReadingReport(args.song));
    int32_t numTracks = 0;
    const std::vector<TSongEntry> entries = ReadSong(args.song, numTracks);
    sink.AddMessage(kMsgStatus, SongReadReport(args.song, numTracks));

    TMemoryClipboard clipboard;
    TVELCriticalSection fileLock;
    std::vector<std::unique_ptr<TSourceTrack>> opened;
    std::vector<TVelTrack*> sources;
    for (const TSongEntry& entry : entries) {
        if (entry.muted) continue;
        auto source = std::make_unique<TSourceTrack>();
        source->track =
            std::make_unique<TVelTrack>(source->owner, sink, source->view, clipboard, &fileLock);
        TVelTrack& t = *source->track;
        t.FileName = entry.path;
        t.Reopen();
        t.WaitForWorker();
        if (t.TrackState() != tsReady) return Fail(sink, "Cannot open " + entry.path);
        t.SetPanValue(entry.pan);
        t.SetVolumeValue(entry.volume);
        t.SetStartOffsetText(entry.offset);
        sources.push_back(&t);
        opened.push_back(std::move(source));
    }
    // The plan is made again once the target is Ready; here it only refuses early.
    const TCombinePlan plan = PlanCombine(sources, nullptr);
    if (plan.sources.empty()) return Fail(sink, "No unmuted tracks in " + args.song);
    if (!plan.Valid()) return Fail(sink, "The song is longer than 99:59.99999");

    // The main window's sequence: confirmed, target made, started once Ready, ended once Ready
    // again; the tool waits for the target's worker where the window's clock polls.
    TTrackOwner owner;
    TCliView view(sink);
    TVelTrack target(owner, sink, view, clipboard, &fileLock);
    TCliCombineHost host(target, args.format);
    ConfirmCombine(host, sink);
    sink.Progress().SetTotal(TimeTextToBytes(plan.lengthText, args.format));
    PollCombine(host.Mode(), &target, sources, host, sink);
    if (host.Mode() != TStudioMode::Combining) return Fail(sink, "Cannot make the combined track");
    target.WaitForWorker();
    sink.Progress().Clear();
    PollCombine(host.Mode(), &target, sources, host, sink);
    // A write that failed half way leaves a partial track Ready: that is a failure here.
    if (target.TrackState() != tsReady || sink.HadError())
        return Fail(sink, "The tracks could not be combined");

    if (!target.SaveTrackAs(args.output)) return Fail(sink, "Cannot save " + args.output);
    return 0;
}
