// Combining tracks: the sources are streamed through their own conversions in step with the
// target, one chunk at a time, scaled, panned, summed and saturated into the target's new
// working file. Memory: the target's chunk plus, per source, one converted block and the
// source bytes read for it, whatever the lengths.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "audio/Rounding.h"
#include "audio/VelTrackUtils.h"
#include "track/CombineState.h"
#include "track/Waveform.h"
#include "track/VelTrack.h"

namespace {

constexpr int32_t kChunkBytes = 524288;
constexpr int kTileSamples = 2048; // accumulator on the stack, one tile of the chunk at a time

static_assert(std::endian::native == std::endian::little, "samples are loaded as they lie");

// Nearest integer, halves to even, of a product that is exact in a double (a 16-bit sample
// times a 24-bit float mantissa needs 40 bits), so it equals the extended-precision result.
// Adding and taking away 1.5 * 2^52 rounds in the current mode (always to nearest) and, unlike
// nearbyint, vectorises. Valid while |p| < 2^51.
inline int32_t RoundExact(double p) {
    constexpr double kShift = 6755399441055744.0;
    return static_cast<int32_t>((p + kShift) - kShift);
}

template <class Sample> inline int32_t Load(const uint8_t* block, int j) {
    if constexpr (sizeof(Sample) == 2) {
        int16_t v;
        std::memcpy(&v, block + 2 * j, 2);
        return v;
    } else {
        return static_cast<int32_t>(block[j]) - 128;
    }
}

// acc[j] += Round(x[j] * g), g alternating left, right from an even sample index. A fixed
// count N (a whole tile) lets the compiler vectorise the loops; N = 0 takes n.
template <class Sample, int N>
void AddScaled(int32_t* acc, const uint8_t* block, int n, float left, float right) {
    if constexpr (N > 0) n = N;
    if (left == 1.0f && right == 1.0f) {
        for (int j = 0; j < n; ++j)
            acc[j] += Load<Sample>(block, j);
        return;
    }
    if (left == 0.0f && right == 0.0f) return;
    const double gl = left;
    const double gr = right;
    int j = 0;
    for (; j + 1 < n; j += 2) {
        acc[j] += RoundExact(Load<Sample>(block, j) * gl);
        acc[j + 1] += RoundExact(Load<Sample>(block, j + 1) * gr);
    }
    if (j < n) acc[j] += RoundExact(Load<Sample>(block, j) * gl);
}

template <class Sample>
void Mix(const TMixInput* inputs, std::size_t count, uint8_t* target, int32_t samples) {
    int32_t acc[kTileSamples];
    for (int32_t first = 0; first < samples; first += kTileSamples) {
        const int n = static_cast<int>(std::min<int32_t>(kTileSamples, samples - first));
        std::fill(acc, acc + n, 0);
        for (std::size_t i = 0; i < count; ++i) {
            const uint8_t* block = inputs[i].block + first * static_cast<int32_t>(sizeof(Sample));
            if (n == kTileSamples)
                AddScaled<Sample, kTileSamples>(acc, block, n, inputs[i].leftGain,
                                                inputs[i].rightGain);
            else
                AddScaled<Sample, 0>(acc, block, n, inputs[i].leftGain, inputs[i].rightGain);
        }
        uint8_t* out = target + first * static_cast<int32_t>(sizeof(Sample));
        if constexpr (sizeof(Sample) == 2) {
            for (int j = 0; j < n; ++j) {
                const auto v = static_cast<int16_t>(std::clamp(acc[j], -32767, 32767));
                std::memcpy(out + 2 * j, &v, 2);
            }
        } else {
            for (int j = 0; j < n; ++j)
                out[j] = static_cast<uint8_t>(std::clamp(acc[j], -128, 127) + 128);
        }
    }
}

// Whole target frames nearest to a time [s].
int64_t FramesAt(long double seconds, const WAVEFORMATEX& format) {
    return RoundHalfEven(seconds * format.nSamplesPerSec);
}

// Target bytes a source yields: its whole frames, at the target's rate as the conversion
// rounds its total (nearest, halves to even). Counting through time text instead could claim a
// byte more than the conversion gives, or split a frame.
int64_t ConvertedLength(int32_t sourceBytes, const WAVEFORMATEX& from, const WAVEFORMATEX& to) {
    if (from.nBlockAlign == 0 || from.nSamplesPerSec == 0 || sourceBytes <= 0) return 0;
    const int64_t frames = sourceBytes / from.nBlockAlign;
    if (from.nSamplesPerSec == to.nSamplesPerSec) return frames * to.nBlockAlign;
    const int64_t num = frames * to.nSamplesPerSec;
    int64_t q = num / from.nSamplesPerSec;
    const int64_t twice = 2 * (num % from.nSamplesPerSec);
    if (twice > from.nSamplesPerSec || (twice == from.nSamplesPerSec && (q & 1))) ++q;
    return q * to.nBlockAlign;
}

// Source bytes the conversion reads to fill `targetBytes` (whole frames, at least one byte).
int32_t SourceBlockFor(int32_t targetBytes, const WAVEFORMATEX& from, const WAVEFORMATEX& to) {
    if (to.nBlockAlign == 0 || to.nSamplesPerSec == 0) return 1;
    const int64_t frames = targetBytes / to.nBlockAlign;
    const int64_t sourceFrames =
        (frames * from.nSamplesPerSec + to.nSamplesPerSec - 1) / to.nSamplesPerSec;
    return static_cast<int32_t>(std::clamp<int64_t>(sourceFrames * from.nBlockAlign, 1, INT32_MAX));
}

struct TCombineRun {
    TVelTrack& target;
    TCombineState& state;
    WAVEFORMATEX format;
    bool is16;
    uint8_t silence;

    bool Prepare(TCombineSource& s, int32_t chunk);
    bool SkipLeadIn(TCombineSource& s, int32_t chunk);
    bool FillSourceBlock(TCombineSource& s, int64_t pos, int32_t chunk);
    void Release(TCombineSource& s);
    void Run();
};

bool TCombineRun::Prepare(TCombineSource& s, int32_t chunk) {
    TVelTrack& src = *s.track;
    WaveFile& in = src.WorkingFile();
    // The stream counts what is left of the source from the file's position, so the position
    // goes to the data start before the stream opens.
    if (!in.handle || src.WaveIO().SeekWaveData(in, 0) < 0) {
        target.AddMessage(kMsgError, "MMIOSeek - bad wave data chunk.");
        return false;
    }
    if (!src.OpenConversion(target.WorkingFile(), in, chunk)) {
        src.Cue(src.PlayPosition);
        return false;
    }
    if (!src.WaveIO().AllocWorkBuffer(SourceBlockFor(chunk, in.format, format))) {
        src.CloseConversion();
        src.Cue(src.PlayPosition);
        return false;
    }
    src.SetState(tsCombineSource);
    s.prepared = true;
    s.block = src.ConversionBuffer();
    s.consumed = 0;
    const TCombineGains gains = CombineGains(src.Pan(), src.Gain(), format.nChannels == 1);
    s.leftGain = gains.left;
    s.rightGain = gains.right;
    s.length = ConvertedLength(in.dataLength, in.format, format);
    return SkipLeadIn(s, chunk);
}

// A source that began before the combine's start: what lies before the start is converted and
// dropped, so the rest keeps its place on the timeline.
bool TCombineRun::SkipLeadIn(TCombineSource& s, int32_t chunk) {
    if (chunk <= 0) return true;
    const int64_t skip = std::min(-s.start, s.length);
    while (s.consumed < skip) {
        if (target.Cancelled()) return false;
        const auto n = static_cast<int32_t>(std::min<int64_t>(chunk, skip - s.consumed));
        if (!s.track->ConvertStretch(0, n, false, n)) return false;
        s.consumed += n;
    }
    return true;
}

// The source's share of the chunk [pos, pos + chunk): silence where it has no data.
bool TCombineRun::FillSourceBlock(TCombineSource& s, int64_t pos, int32_t chunk) {
    TVelTrack& src = *s.track;
    if (pos >= s.start + s.length) { // it has ended
        std::memset(s.block, silence, static_cast<std::size_t>(chunk));
        return true;
    }
    int64_t n = s.start <= pos ? chunk : pos + chunk - s.start;
    if (n <= 0) { // it begins after this chunk
        std::memset(s.block, silence, static_cast<std::size_t>(chunk));
        return true;
    }
    n = std::min(n, s.length - s.consumed);
    if (n < chunk) std::memset(s.block, silence, static_cast<std::size_t>(chunk));
    if (n <= 0) return true;
    const WAVEFORMATEX& from = src.Format();
    const auto bytes = static_cast<int32_t>(n);
    // The source bytes for n target bytes; the conversion reads what it needs to give exactly n.
    const int32_t m =
        SameFormat(from, format) ? bytes : TimeTextToBytes(BytesToTimeText(bytes, format), from);
    const auto offset = static_cast<int32_t>(s.start > pos ? s.start - pos : 0);
    if (!src.ConvertStretch(offset, bytes, false, m)) return false;
    s.consumed += n;
    return true;
}

void TCombineRun::Release(TCombineSource& s) {
    TVelTrack& src = *s.track;
    src.WaveIO().ReleaseWorkBuffer();
    src.CloseConversion();
    s.block = nullptr;
    s.prepared = false;
    src.Cue(src.PlayPosition);
}

void TCombineRun::Run() {
    const int32_t total = state.totalBytes;
    int32_t chunk = std::min(total, kChunkBytes);

    bool prepared = true;
    for (TCombineSource& s : state.sources) {
        if (target.Cancelled() || !Prepare(s, chunk)) {
            prepared = false;
            break;
        }
    }
    if (state.workBar) state.workBar(0);

    TWaveIO& io = target.WaveIO();
    WaveFile& out = target.WorkingFile();
    if (prepared && io.CreateWaveFile(target.FileName, out) &&
        io.AllocWorkBuffer(std::max(chunk, 1))) {
        target.AddMessage(kMsgStart, "Start Combining");
        uint8_t* mixed = io.Buffer().data;
        std::vector<TMixInput> inputs;
        inputs.reserve(state.sources.size());
        for (const TCombineSource& s : state.sources)
            inputs.push_back({s.block, s.leftGain, s.rightGain});

        const int32_t chunks = total / kChunkBytes + 1;
        int64_t pos = 0; // [target bytes from the start]
        for (int32_t k = 0; k < chunks; ++k) {
            if (target.Cancelled()) break;
            if (state.workBar) state.workBar(static_cast<int32_t>(pos));
            bool filled = true;
            for (TCombineSource& s : state.sources)
                if (!(filled = FillSourceBlock(s, pos, chunk))) break;
            if (!filled) break;
            MixChunk(inputs.data(), inputs.size(), mixed, chunk, is16);
            if (!io.WriteWaveData(out, mixed, chunk)) break;
            pos += chunk;
            if (k == chunks - 2) chunk = total % kChunkBytes;
        }
        io.FinishWaveFile(out);
        io.ReleaseWorkBuffer();
    } else if (prepared && out.handle) {
        io.FinishWaveFile(out);
        io.ReleaseWorkBuffer();
    }

    for (TCombineSource& s : state.sources)
        if (s.prepared) Release(s);
    target.AddMessage(kMsgDone, "End Combining");
}

} // namespace

TCombineGains CombineGains(int32_t pan, float volumeGain, bool monoTarget) {
    if (pan == 0 || monoTarget) return {volumeGain, volumeGain};
    const int32_t magnitude = std::min(std::abs(pan), 100);
    const float a = ToSingle((100.0L - magnitude) / 100.0L);
    const long double wide = a;
    const float fourth = ToSingle(wide * wide * wide * wide);
    const float scaled = ToSingle(static_cast<long double>(volumeGain) * fourth);
    return pan > 0 ? TCombineGains{scaled, volumeGain} : TCombineGains{volumeGain, scaled};
}

void MixChunk(const TMixInput* inputs, std::size_t count, uint8_t* target, int32_t bytes,
              bool is16Bit) {
    if (bytes <= 0) return;
    if (is16Bit)
        Mix<int16_t>(inputs, count, target, bytes / 2);
    else
        Mix<uint8_t>(inputs, count, target, bytes);
}

void TVelTrack::StartCombine(const std::string& startText, const std::string& lengthText,
                             std::vector<TVelTrack*> sources) {
    SetState(tsBusy);
    SetStartOffsetText(startText);
    WaitForOwnWorker(true);

    auto state = std::make_unique<TCombineState>();
    const WAVEFORMATEX& format = working_.format;
    const int64_t align = format.nBlockAlign;
    if (align > 0) {
        // Whole frames: a length or a place from time text may fall inside a frame.
        const int64_t frames =
            std::max<int64_t>(0, FramesAt(TimeTextToSeconds(lengthText), format));
        state->totalBytes =
            static_cast<int32_t>(std::min(frames * align, INT32_MAX - INT32_MAX % align));
    }
    const long double startSeconds = TimeTextToSeconds(startText);
    for (TVelTrack* source : sources) {
        if (!source || source == this) continue;
        TCombineSource s;
        s.track = source;
        if (align > 0)
            s.start =
                FramesAt(TimeTextToSeconds(source->StartOffsetText) - startSeconds, format) * align;
        state->sources.push_back(s);
    }
    // The bar at the end of the chunk about to be mixed, on the combine's own length.
    const int32_t total = state->totalBytes;
    state->workBar = [this, total](int32_t position) {
        view_.WorkBarAt(position);
        const int32_t end = static_cast<int32_t>(std::min<int64_t>(
            static_cast<int64_t>(position) + kChunkBytes, total));
        view_.ShowWorkBar(WorkBarColumn(end, total, view_.Width()));
    };
    combine_ = std::move(state);

    const bool started = worker_.Start([this] {
        TCombineRun run{*this, *combine_, working_.format, Is16Bit(working_.format),
                        static_cast<uint8_t>(Is16Bit(working_.format) ? 0 : 128)};
        run.Run();
        combine_.reset();
        view_.ShowWorkBar(-1);
        view_.RedrawMarkers();
        if (Cancelled()) {
            AddMessage(kMsgAppend, " ... Action Cancelled");
            SetState(tsClosing);
            owner_.SetHourglass(false);
            return;
        }
        if (!OpenWorkingFile()) {
            // The opening reported why. Closing, not Empty: the main window's clock ends a
            // combine on a target that is Ready again or Closing, and closes it in the latter.
            SetState(tsClosing);
            owner_.SetHourglass(false);
            return;
        }
        PlayPosition = StartOffset;
        Load(0, DataLength);
    });
    if (!started) {
        combine_.reset();
        SetState(tsReady);
        return;
    }
    owner_.SetHourglass(true);
}
