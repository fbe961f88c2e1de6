#include "app/cli/CliTrack.h"

#include <sys/stat.h>
#include <unistd.h>

#include "audio/VelTrackUtils.h"
#include "effects/EffectPresets.h"
#include "platform/ConfigPaths.h"
#include "platform/TempFiles.h"

// ---- progress ----

void TCliProgress::Show(int64_t done) {
    const int64_t total = total_;
    if (!enabled_ || total <= 0) return;
    const int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / total));
    std::lock_guard lock(mutex_);
    if (percent == shown_) return;
    EraseLocked();
    shown_ = percent;
    std::fprintf(stream_, " %d%%", percent);
    std::fflush(stream_);
}

void TCliProgress::Clear() {
    std::lock_guard lock(mutex_);
    EraseLocked();
    std::fflush(stream_);
}

// Backs over what Show wrote, so the status line it follows goes on where it stood.
void TCliProgress::EraseLocked() {
    if (shown_ < 0) return;
    const int width = shown_ >= 100 ? 5 : (shown_ >= 10 ? 4 : 3);
    const std::string back(static_cast<std::size_t>(width), '\b');
    std::fputs((back + std::string(static_cast<std::size_t>(width), ' ') + back).c_str(), stream_);
    shown_ = -1;
}

TCliSink::TCliSink(bool quiet, bool progressOnTerminal)
    : stream_(stderr, stderr, quiet), progress_(stderr, progressOnTerminal && !quiet) {}

void TCliSink::AddMessage(uint8_t kind, const std::string& text) {
    progress_.Clear();
    stream_.AddMessage(kind, text);
}

void TCliView::WorkBarAt(int32_t dataPosition) {
    sink_.Progress().Show(dataPosition);
}

// ---- owner ----

namespace {

// Identity of a file on disk; nullopt when there is none.
struct TFileStamp {
    dev_t device;
    ino_t inode;
    timespec modified;
};

std::optional<TFileStamp> StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return TFileStamp{st.st_dev, st.st_ino, st.st_mtim};
}

bool SameFile(const std::string& a, const std::string& b) {
    const auto x = StampOf(a);
    const auto y = StampOf(b);
    return x && y && x->device == y->device && x->inode == y->inode;
}

bool Rewritten(const std::optional<TFileStamp>& before, const std::optional<TFileStamp>& after) {
    if (!after) return false;
    if (!before) return true;
    return before->device != after->device || before->inode != after->inode ||
           before->modified.tv_sec != after->modified.tv_sec ||
           before->modified.tv_nsec != after->modified.tv_nsec;
}

// Host for reading a file outside any track: messages go to the sink, nothing is cancelled.
class TInfoHost : public TWaveIOHost {
  public:
    explicit TInfoHost(TCliSink& sink) : sink_(sink) {}
    void AddMessage(uint8_t kind, const std::string& text) override {
        sink_.AddMessage(kind, text);
    }
    bool Cancelled() const override { return false; }
    bool SampleIs16Bit() const override { return false; }

  private:
    TCliSink& sink_;
};

// The starter's arguments of an effect, from the command line or a saved preset.
struct TEffectRun {
    TCliEffect effect = TCliEffect::None;
    std::vector<int32_t> values;
};

const char* EffectName(TCliEffect effect) {
    switch (effect) {
    case TCliEffect::Delay:
        return "delay";
    case TCliEffect::Fade:
        return "fade";
    case TCliEffect::Equalize:
        return "equalize";
    case TCliEffect::Distortion:
        return "distortion";
    case TCliEffect::None:
        break;
    }
    return "";
}

template <class P> bool LoadPreset(TEffectPresets& presets, const std::string& name, P& params) {
    const std::string listed = presets.Listed(P::kWord, TrimPresetName(name));
    if (listed.empty()) return false;
    presets.Load(listed, params);
    return true;
}

// Fills run.values from the preset file; false (reported) when the name is not listed.
bool ResolvePreset(const TCliArgs& args, TCliSink& sink, TEffectRun& run) {
    TEffectPresets presets(PresetFilePath());
    bool found = false;
    switch (args.effect) {
    case TCliEffect::Delay: {
        TDelayParams p;
        found = LoadPreset(presets, args.presetName, p);
        run.values = {p.delay,  p.feedback,          p.dry,          p.wet,
                      p.Type(), p.functionFrequency, p.functionDelay};
        break;
    }
    case TCliEffect::Fade: {
        TFadeParams p;
        found = LoadPreset(presets, args.presetName, p);
        run.values = {p.left, p.right};
        break;
    }
    case TCliEffect::Equalize: {
        TEqualizerParams p;
        found = LoadPreset(presets, args.presetName, p);
        run.values = {p.dry};
        run.values.insert(run.values.end(), p.bands.begin(), p.bands.end());
        break;
    }
    case TCliEffect::Distortion: {
        TDistortionParams p;
        found = LoadPreset(presets, args.presetName, p);
        run.values = {p.upperThreshold, p.lowerThreshold, p.clamp, p.dry, p.wet};
        break;
    }
    case TCliEffect::None:
        break;
    }
    if (!found)
        sink.Error(std::string("No ") + EffectName(args.effect) + " preset named \"" +
                   args.presetName + "\" in " + presets.Path());
    return found;
}

void StartEffect(TVelTrack& track, const TEffectRun& run) {
    const auto& v = run.values;
    // As the effects dialog does: the effect counts as running until the worker says.
    track.EffectState = esRunning;
    switch (run.effect) {
    case TCliEffect::Distortion:
        track.StartDistortion(v[0], v[1], v[2], v[3], v[4]);
        break;
    case TCliEffect::Fade:
        track.StartFade(v[0], v[1]);
        break;
    case TCliEffect::Equalize: {
        std::array<int32_t, 10> bands{};
        std::copy(v.begin() + 1, v.begin() + 11, bands.begin());
        track.StartEqualizer(v[0], bands);
        break;
    }
    case TCliEffect::Delay:
        track.StartDelay(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
        break;
    case TCliEffect::None:
        break;
    }
}

// Starts the edit; false when the transfer file was refused before anything started.
bool StartEdit(TVelTrack& track, const TCliArgs& args) {
    const bool file = args.clip.has_value();
    switch (args.op) {
    case TCliEditOp::Cut:
        return file ? track.CutTo() : (track.Cut(), true);
    case TCliEditOp::Copy:
        return file ? track.CopyTo() : (track.Copy(), true);
    case TCliEditOp::Clear:
        track.Clear();
        return true;
    case TCliEditOp::Delete:
        track.Delete();
        return true;
    case TCliEditOp::Insert:
        return file ? track.InsertFrom() : (track.Insert(), true);
    case TCliEditOp::Paste:
        return file ? track.PasteFrom() : (track.Paste(), true);
    case TCliEditOp::Total:
        track.ChangeTotal(*args.length);
        return true;
    }
    return false;
}

int Usage(TCliSink& sink, const std::string& text) {
    sink.Stream().EndLine();
    std::fprintf(stderr, "wavestack-cli: %s\nTry 'wavestack-cli --help'.\n", text.c_str());
    return 2;
}

// A failure the track reported only as a status line (or not at all) still needs a reason
// on stderr when --quiet has silenced the status lines.
int Failed(const TCliArgs& args, TCliSink& sink, const std::string& fallback) {
    if (sink.HadError()) return 1;
    const auto lines = sink.Stream().Lines();
    const std::string reason = lines.empty() ? fallback : lines.back();
    if (args.quiet || lines.empty()) {
        const auto first = reason.find_first_not_of(' ');
        std::fprintf(stderr, "%s\n", first == std::string::npos ? "" : reason.c_str() + first);
    }
    return 1;
}

} // namespace

bool TCliOwner::IsFileOpenAsTrack(const std::string& path) {
    return path == args_.input || SameFile(path, args_.input);
}

std::optional<std::string> TCliOwner::ChooseTransferFile(bool, const std::string&,
                                                         const std::string&) {
    return args_.clip;
}

std::optional<WAVEFORMATEX> TCliOwner::ChooseConversionFormat(const WAVEFORMATEX&) {
    if (args_.format.nChannels == 0) return std::nullopt;
    return args_.format;
}

// ---- commands ----

int RunInfo(const TCliArgs& args, TCliSink& sink) {
    TInfoHost host(sink);
    TWaveIO io(host, nullptr);
    WaveFile file;
    if (!io.OpenWaveFile(args.input, file)) return Failed(args, sink, "Cannot read " + args.input);
    const WAVEFORMATEX format = file.format;
    const int32_t bytes = file.dataLength;
    io.FinishWaveFile(file);
    sink.Stream().EndLine();
    std::printf("%s  %d bytes  %s\n", FormatDescription(format).c_str(), bytes,
                BytesToTimeText(bytes, format).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int RunTrackCommand(const TCliArgs& args, TCliSink& sink) {
    TEffectRun effect{args.effect, args.effectValues};
    if (args.command == TCliCommand::Effect && !args.presetName.empty() &&
        !ResolvePreset(args, sink, effect))
        return 1;

    TCliOwner owner(sink, args);
    TCliView view(sink);
    TMemoryClipboard clipboard;
    TVELCriticalSection fileLock;
    TVelTrack track(owner, sink, view, clipboard, &fileLock);
    track.FileName = args.input;
    track.Reopen();
    track.WaitForWorker();
    if (track.TrackState() != tsReady) return Failed(args, sink, "Cannot open " + args.input);

    const WAVEFORMATEX format = track.Format();
    if (args.selection) {
        const auto sel = ParseSelection(*args.selection, format);
        if (!sel) return Usage(sink, "bad --sel \"" + *args.selection + "\" (START:END)");
        if (sel->first > sel->second) return Usage(sink, "--sel START must not lie after END");
        track.SelStart = sel->first;
        track.SelEnd = sel->second;
        track.SetHasSelection(true);
    }
    if (args.play) {
        const auto pos = ParsePosition(*args.play, format);
        if (!pos) return Usage(sink, "bad --play \"" + *args.play + "\"");
        track.Cue(*pos + track.StartOffset);
    }

    const std::size_t statesBefore = track.UndoFiles.size();
    const bool copy = args.command == TCliCommand::Edit && args.op == TCliEditOp::Copy;
    const auto clipBefore = args.clip ? StampOf(*args.clip) : std::nullopt;
    sink.Progress().SetTotal(track.DataLength);

    bool ok = true;
    switch (args.command) {
    case TCliCommand::Edit:
        ok = StartEdit(track, args);
        break;
    case TCliCommand::Convert:
        track.ConvertFormat();
        break;
    case TCliCommand::Effect:
        StartEffect(track, effect);
        break;
    default:
        return 2;
    }
    track.WaitForWorker();
    sink.Progress().Clear();

    if (args.command == TCliCommand::Effect)
        ok = ok && track.EffectState == esApplied;
    else if (copy)
        ok = ok && (args.clip ? Rewritten(clipBefore, StampOf(*args.clip)) : clipboard.HoldsWave());
    else
        ok = ok && track.UndoFiles.size() > statesBefore;
    if (!ok) return Failed(args, sink, "The operation made no change");

    if (args.output.empty()) return 0; // a copy without -o
    const bool overInput = SameFile(args.output, args.input);
    if (copy && overInput) return 0; // the input is already what a copy leaves
    if (!track.SaveTrackAs(overInput ? std::string() : args.output))
        return Failed(args, sink, "Cannot save " + args.output);
    return 0;
}
