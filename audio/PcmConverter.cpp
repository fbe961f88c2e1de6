#include "audio/PcmConverter.h"

#include "audio/VelTrackUtils.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace {

// Frames per pass through the kernels: bounds the float scratch buffers whatever the push size.
constexpr size_t kSliceFrames = 8192;
// Lookahead probe: silent input fed in steps of about this many output frames until well past
// the first output.
constexpr size_t kProbeStepFrames = 8;
constexpr size_t kProbeMinFrames = 16384;
constexpr size_t kProbeMaxFrames = size_t{1} << 22;
// Added to the measured lag besides two probe steps: a step hides up to one step and a few tens
// of frames of the lag a one-frame feed would show.
constexpr uint32_t kLookaheadMarginFrames = 48;

struct Shape {
    uint32_t rate = 0;
    int bits = 0;
    int channels = 0;
    uint32_t frameBytes = 0;
};

bool ReadShape(const WAVEFORMATEX& f, Shape& shape) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (f.nChannels != 1 && f.nChannels != 2) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nSamplesPerSec == 0) return false;
    const uint32_t frameBytes = f.nChannels * (f.wBitsPerSample / 8u);
    // A disagreeing block alignment leaves the data layout ambiguous.
    if (f.nBlockAlign != frameBytes) return false;
    shape = {f.nSamplesPerSec, f.wBitsPerSample, f.nChannels, frameBytes};
    return true;
}

// s / d rounded to the nearest integer, halves to the even neighbour; d > 0.
template <int32_t D> inline int32_t DivRoundHalfEven(int32_t s) {
    if constexpr (D == 1) {
        return s;
    } else {
        int32_t q = s / D;
        int32_t r = s % D;
        if (r < 0) { // floor division
            r += D;
            --q;
        }
        if (2 * r > D || (2 * r == D && (q & 1))) ++q;
        return q;
    }
}

// Nearest integer, halves to even, for |x| < 2^22: adding 1.5 * 2^23 leaves no fraction bits,
// so the float addition itself rounds in the default mode (nearest, ties to even).
inline int32_t RoundFloatHalfEven(float x) {
    constexpr float kMagic = 12582912.0f;
    // Without -ffast-math the compiler may not fold (x + M) - M back to x.
    return static_cast<int32_t>((x + kMagic) - kMagic);
}

template <int B> inline int32_t LoadScaled(const uint8_t* p) {
    // On the 16-bit scale: an 8-bit sample moves to the top byte.
    if constexpr (B == 16)
        return LoadSample16(p);
    else
        return (static_cast<int32_t>(p[0]) - 128) * 256;
}

template <int B> inline void StoreClamped(uint8_t* p, int32_t v) {
    if constexpr (B == 16) {
        v = std::clamp(v, -32768, 32767);
        const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
        p[0] = static_cast<uint8_t>(u);
        p[1] = static_cast<uint8_t>(u >> 8);
    } else {
        v = std::clamp(v, -128, 127);
        p[0] = static_cast<uint8_t>(v + 128);
    }
}

// Same-rate conversion of whole frames, exact integer arithmetic with one rounding: a stereo
// mix to mono and a narrowing to 8 bits share a single division.
template <int SB, int SC, int DB, int DC>
void ConvertSameRate(const uint8_t* in, uint8_t* out, size_t frames) {
    constexpr int sBytes = SB / 8;
    constexpr int dBytes = DB / 8;
    constexpr int32_t narrow = DB == 8 ? 256 : 1;
    for (size_t i = 0; i < frames; ++i) {
        if constexpr (SC == 2 && DC == 1) {
            const int32_t sum = LoadScaled<SB>(in) + LoadScaled<SB>(in + sBytes);
            StoreClamped<DB>(out, DivRoundHalfEven<2 * narrow>(sum));
        } else if constexpr (SC == 1 && DC == 2) {
            const int32_t v = DivRoundHalfEven<narrow>(LoadScaled<SB>(in));
            StoreClamped<DB>(out, v);
            StoreClamped<DB>(out + dBytes, v);
        } else {
            for (int c = 0; c < SC; ++c)
                StoreClamped<DB>(out + c * dBytes,
                                 DivRoundHalfEven<narrow>(LoadScaled<SB>(in + c * sBytes)));
        }
        in += SC * sBytes;
        out += DC * dBytes;
    }
}

// Source frames to floats on the 16-bit scale, with CC = min(source, destination) channels so
// that the resampler never runs on a channel that is about to be dropped or duplicated.
template <int SB, int SC, int CC> void DecodeFloat(const uint8_t* in, float* out, size_t frames) {
    constexpr int sBytes = SB / 8;
    for (size_t i = 0; i < frames; ++i) {
        if constexpr (SC == 2 && CC == 1) {
            // Exact in float: the sum has at most 17 significant bits and halving is exact.
            *out++ = static_cast<float>(LoadScaled<SB>(in) + LoadScaled<SB>(in + sBytes)) * 0.5f;
        } else {
            for (int c = 0; c < SC; ++c)
                *out++ = static_cast<float>(LoadScaled<SB>(in + c * sBytes));
        }
        in += SC * sBytes;
    }
}

template <int DB> inline void StoreFloat(uint8_t* p, float y) {
    if constexpr (DB == 8) y *= 1.0f / 256.0f; // exact: a power of two
    // Clamp first so the rounding trick stays in range; NaN cannot come out of finite input.
    y = std::clamp(y, -65536.0f, 65536.0f);
    StoreClamped<DB>(p, RoundFloatHalfEven(y));
}

template <int DB, int CC, int DC> void EncodeFloat(const float* in, uint8_t* out, size_t frames) {
    constexpr int dBytes = DB / 8;
    for (size_t i = 0; i < frames; ++i) {
        if constexpr (CC == 1 && DC == 2) {
            StoreFloat<DB>(out, in[0]);
            StoreFloat<DB>(out + dBytes, in[0]);
        } else {
            for (int c = 0; c < DC; ++c)
                StoreFloat<DB>(out + c * dBytes, in[c]);
        }
        in += CC;
        out += DC * dBytes;
    }
}

using SameRateFn = void (*)(const uint8_t*, uint8_t*, size_t);
using DecodeFn = void (*)(const uint8_t*, float*, size_t);
using EncodeFn = void (*)(const float*, uint8_t*, size_t);

constexpr int Bits(int index, int bit) {
    return (index >> bit) & 1 ? 16 : 8;
}
constexpr int Chans(int index, int bit) {
    return (index >> bit) & 1 ? 2 : 1;
}
constexpr int KernelIndex(const Shape& s, const Shape& d) {
    return (s.bits == 16 ? 8 : 0) | (s.channels == 2 ? 4 : 0) | (d.bits == 16 ? 2 : 0) |
           (d.channels == 2 ? 1 : 0);
}

template <int I> constexpr SameRateFn SameRateAt() {
    return &ConvertSameRate<Bits(I, 3), Chans(I, 2), Bits(I, 1), Chans(I, 0)>;
}
template <int I> constexpr DecodeFn DecodeAt() {
    return &DecodeFloat<Bits(I, 3), Chans(I, 2), std::min(Chans(I, 2), Chans(I, 0))>;
}
template <int I> constexpr EncodeFn EncodeAt() {
    return &EncodeFloat<Bits(I, 1), std::min(Chans(I, 2), Chans(I, 0)), Chans(I, 0)>;
}
template <size_t... I> constexpr auto MakeTables(std::index_sequence<I...>) {
    struct Tables {
        SameRateFn same[16];
        DecodeFn decode[16];
        EncodeFn encode[16];
    };
    return Tables{{SameRateAt<I>()...}, {DecodeAt<I>()...}, {EncodeAt<I>()...}};
}
constexpr auto kKernels = MakeTables(std::make_index_sequence<16>{});

// Contiguous byte queue: appended at the tail, read from the head, compacted instead of grown
// whenever the unread bytes fit. Holds what the caller has not popped yet, nothing more.
class ByteFifo {
  public:
    size_t Size() const { return tail_ - head_; }
    const uint8_t* Head() const { return data_.data() + head_; }
    // Room for n more bytes at the tail; may throw std::bad_alloc.
    uint8_t* Reserve(size_t n) {
        if (tail_ + n > data_.size()) {
            const size_t used = Size();
            if (head_ > 0) std::memmove(data_.data(), data_.data() + head_, used);
            head_ = 0;
            tail_ = used;
            if (used + n > data_.size()) data_.resize(std::max(used + n, data_.size() * 2));
        }
        return data_.data() + tail_;
    }
    void Commit(size_t n) { tail_ += n; }
    void Consume(size_t n) {
        head_ += n;
        if (head_ == tail_) head_ = tail_ = 0;
    }
    void DropTail(size_t n) { tail_ -= n; }
    void Clear() {
        head_ = tail_ = 0;
        std::vector<uint8_t>().swap(data_);
    }

  private:
    std::vector<uint8_t> data_;
    size_t head_ = 0;
    size_t tail_ = 0;
};

// round(frames * num / den), halves to even, in 128 bits so no stream length can overflow it.
uint64_t ScaleRoundHalfEven(uint64_t frames, uint32_t num, uint32_t den) {
    const unsigned __int128 p = static_cast<unsigned __int128>(frames) * num;
    uint64_t q = static_cast<uint64_t>(p / den);
    const uint64_t r = static_cast<uint64_t>(p % den);
    if (2 * r > den || (2 * r == den && (q & 1))) ++q;
    return q;
}
uint64_t ScaleFloor(uint64_t frames, uint32_t num, uint32_t den) {
    return static_cast<uint64_t>(static_cast<unsigned __int128>(frames) * num / den);
}
uint64_t ScaleCeil(uint64_t frames, uint32_t num, uint32_t den) {
    const unsigned __int128 p = static_cast<unsigned __int128>(frames) * num;
    return static_cast<uint64_t>((p + den - 1) / den);
}

soxr_t CreateResampler(const Shape& s, const Shape& d, unsigned channels) {
    // Float I/O: the caller's integers go in unrounded (a stereo mix keeps its half), and the
    // only rounding is ours, halves to even; float output also means the library never dithers.
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    // 20-bit precision is well below the 16-bit output's own noise floor, so the 28-bit recipe
    // would only cost time; linear phase keeps tracks that are mixed later aligned in time.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_LINEAR_PHASE);
    // One thread: the converter already runs on a track's worker, and output stays reproducible.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr_t r = soxr_create(s.rate, d.rate, channels, &error, &io, &quality, &runtime);
    if (error && r) {
        soxr_delete(r);
        r = nullptr;
    }
    return r;
}

// Largest lag, in source frames, between the input fed and the output released, over a silent
// stream fed a few frames at a time until well past the first output.
bool MeasureLookahead(const Shape& s, const Shape& d, unsigned channels, uint32_t& frames) {
    soxr_t probe = CreateResampler(s, d, channels);
    if (!probe) return false;
    const size_t downsample = (s.rate + d.rate - 1) / d.rate;
    const size_t step = kProbeStepFrames * downsample;
    std::vector<float> in(step * channels, 0.0f);
    std::vector<float> out(kSliceFrames * channels);
    uint64_t pushed = 0, got = 0, firstOutput = 0;
    double maxLag = 0;
    bool ok = true;
    while (pushed < kProbeMinFrames || pushed < 4 * firstOutput || firstOutput == 0) {
        if (pushed >= kProbeMaxFrames) {
            ok = false;
            break;
        }
        size_t used = 0, made = 0;
        if (soxr_process(probe, in.data(), step, &used, out.data(), kSliceFrames, &made)) {
            ok = false;
            break;
        }
        pushed += used;
        got += made;
        if (made && !firstOutput) firstOutput = pushed;
        const double lag = static_cast<double>(pushed) -
                           static_cast<double>(got) * s.rate / static_cast<double>(d.rate);
        maxLag = std::max(maxLag, lag);
    }
    soxr_delete(probe);
    frames = static_cast<uint32_t>(std::ceil(maxLag) + 2 * step) + kLookaheadMarginFrames;
    return ok;
}

} // namespace

struct TPcmConverter::State {
    Shape src;
    Shape dst;
    bool resample = false;
    unsigned coreChannels = 1; // channels through the resampler
    SameRateFn sameRate = nullptr;
    DecodeFn decode = nullptr;
    EncodeFn encode = nullptr;
    soxr_t soxr = nullptr;
    std::vector<float> inFloats;
    std::vector<float> outFloats;
    uint32_t lookaheadFrames = 0;

    uint8_t pending[4] = {};
    uint32_t pendingBytes = 0;
    uint64_t pushedFrames = 0;   // whole source frames fed
    uint64_t producedFrames = 0; // destination frames written to the fifo
    uint64_t poppedFrames = 0;
    bool flushed = false;
    int failure = kOk; // a failed stream refuses further work with its first failure
    ByteFifo fifo;

    ~State() {
        if (soxr) soxr_delete(soxr);
    }

    // Output frames that may be released: never beyond what the source so far can account for,
    // so the trim at the end of the stream never has to take back bytes already popped.
    uint64_t ReleasableFrames() const {
        if (!resample || flushed) return producedFrames;
        return std::min(producedFrames, ScaleFloor(pushedFrames, dst.rate, src.rate));
    }

    void EmitFloats(const float* frames, size_t count) {
        uint8_t* out = fifo.Reserve(count * dst.frameBytes);
        encode(frames, out, count);
        fifo.Commit(count * dst.frameBytes);
        producedFrames += count;
    }

    int Process(const uint8_t* in, size_t frames) {
        while (frames > 0) {
            const size_t n = std::min(frames, kSliceFrames);
            if (!resample) {
                uint8_t* out = fifo.Reserve(n * dst.frameBytes);
                sameRate(in, out, n);
                fifo.Commit(n * dst.frameBytes);
                producedFrames += n;
            } else {
                decode(in, inFloats.data(), n);
                size_t done = 0;
                while (done < n) {
                    size_t used = 0, made = 0;
                    if (soxr_process(soxr, inFloats.data() + done * coreChannels, n - done, &used,
                                     outFloats.data(), kSliceFrames, &made))
                        return kResamplerFailed;
                    if (used == 0 && made == 0) return kResamplerFailed; // no progress
                    EmitFloats(outFloats.data(), made);
                    done += used;
                }
            }
            pushedFrames += n;
            in += n * src.frameBytes;
            frames -= n;
        }
        return kOk;
    }

    int Drain() {
        if (resample) {
            for (;;) {
                size_t made = 0;
                if (soxr_process(soxr, nullptr, 0, nullptr, outFloats.data(), kSliceFrames, &made))
                    return kResamplerFailed;
                if (made == 0) break;
                EmitFloats(outFloats.data(), made);
            }
        }
        const uint64_t target =
            resample ? ScaleRoundHalfEven(pushedFrames, dst.rate, src.rate) : pushedFrames;
        if (producedFrames > target) {
            fifo.DropTail((producedFrames - target) * dst.frameBytes);
        } else if (producedFrames < target) {
            const size_t bytes = (target - producedFrames) * dst.frameBytes;
            std::memset(fifo.Reserve(bytes), dst.bits == 8 ? 128 : 0, bytes);
            fifo.Commit(bytes);
        }
        producedFrames = target;
        pendingBytes = 0;
        flushed = true;
        return kOk;
    }
};

TPcmConverter::TPcmConverter() = default;
TPcmConverter::~TPcmConverter() = default;

int TPcmConverter::Open(const WAVEFORMATEX& source, const WAVEFORMATEX& destination) {
    Close();
    Shape s, d;
    if (!ReadShape(source, s)) return kBadSourceFormat;
    if (!ReadShape(destination, d)) return kBadDestinationFormat;
    if (uint64_t{s.rate} > uint64_t{d.rate} * kMaxRateRatio ||
        uint64_t{d.rate} > uint64_t{s.rate} * kMaxRateRatio)
        return kRateRatioTooLarge;
    try {
        auto st = std::make_unique<State>();
        st->src = s;
        st->dst = d;
        const int k = KernelIndex(s, d);
        st->sameRate = kKernels.same[k];
        st->decode = kKernels.decode[k];
        st->encode = kKernels.encode[k];
        st->resample = s.rate != d.rate;
        st->coreChannels = static_cast<unsigned>(std::min(s.channels, d.channels));
        if (st->resample) {
            st->soxr = CreateResampler(s, d, st->coreChannels);
            if (!st->soxr) return kResamplerFailed;
            if (!MeasureLookahead(s, d, st->coreChannels, st->lookaheadFrames))
                return kResamplerFailed;
            st->inFloats.resize(kSliceFrames * st->coreChannels);
            st->outFloats.resize(kSliceFrames * st->coreChannels);
        }
        state_ = std::move(st);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
    return kOk;
}

bool TPcmConverter::IsOpen() const {
    return state_ != nullptr;
}

int TPcmConverter::SizeForSource(uint32_t sourceBytes, uint32_t& destinationBytes) const {
    if (!state_) return kNotOpen;
    const State& st = *state_;
    const uint64_t frames = sourceBytes / st.src.frameBytes;
    const uint64_t out = st.resample ? ScaleCeil(frames, st.dst.rate, st.src.rate) : frames;
    const uint64_t bytes = out * st.dst.frameBytes;
    if (bytes > std::numeric_limits<uint32_t>::max()) return kSizeOverflow;
    destinationBytes = static_cast<uint32_t>(bytes);
    return kOk;
}

int TPcmConverter::SizeForDestination(uint32_t destinationBytes, uint32_t& sourceBytes) const {
    if (!state_) return kNotOpen;
    const State& st = *state_;
    const uint64_t frames = destinationBytes / st.dst.frameBytes;
    const uint64_t in = st.resample ? ScaleCeil(frames, st.src.rate, st.dst.rate) : frames;
    const uint64_t bytes = in * st.src.frameBytes;
    if (bytes > std::numeric_limits<uint32_t>::max()) return kSizeOverflow;
    sourceBytes = static_cast<uint32_t>(bytes);
    return kOk;
}

int TPcmConverter::Push(const uint8_t* source, uint32_t bytes) {
    if (!state_) return kNotOpen;
    State& st = *state_;
    if (st.failure != kOk) return st.failure;
    if (st.flushed) return kAlreadyFlushed;
    if (bytes == 0) return kOk;
    if (!source) return kNullBuffer;
    int result = kOk;
    try {
        const uint32_t fb = st.src.frameBytes;
        if (st.pendingBytes > 0) {
            const uint32_t take = std::min(fb - st.pendingBytes, bytes);
            std::memcpy(st.pending + st.pendingBytes, source, take);
            st.pendingBytes += take;
            source += take;
            bytes -= take;
            if (st.pendingBytes == fb) {
                st.pendingBytes = 0;
                result = st.Process(st.pending, 1);
            }
        }
        if (result == kOk) {
            const uint32_t whole = bytes / fb;
            result = st.Process(source, whole);
            const uint32_t rest = bytes - whole * fb;
            if (result == kOk && rest > 0) {
                std::memcpy(st.pending, source + whole * fb, rest);
                st.pendingBytes = rest;
            }
        }
    } catch (const std::bad_alloc&) {
        result = kOutOfMemory;
    }
    st.failure = result;
    return result;
}

int TPcmConverter::Flush() {
    if (!state_) return kNotOpen;
    State& st = *state_;
    if (st.failure != kOk) return st.failure;
    if (st.flushed) return kOk;
    int result;
    try {
        result = st.Drain();
    } catch (const std::bad_alloc&) {
        result = kOutOfMemory;
    }
    st.failure = result;
    return result;
}

uint32_t TPcmConverter::Available() const {
    if (!state_) return 0;
    const State& st = *state_;
    const uint64_t frames = st.ReleasableFrames() - st.poppedFrames;
    const uint64_t maxFrames = std::numeric_limits<uint32_t>::max() / st.dst.frameBytes;
    return static_cast<uint32_t>(std::min(frames, maxFrames) * st.dst.frameBytes);
}

uint32_t TPcmConverter::Pop(uint8_t* destination, uint32_t maxBytes) {
    if (!state_ || !destination) return 0;
    State& st = *state_;
    const uint32_t fb = st.dst.frameBytes;
    const uint32_t bytes = std::min(Available(), maxBytes / fb * fb);
    if (bytes == 0) return 0;
    std::memcpy(destination, st.fifo.Head(), bytes);
    st.fifo.Consume(bytes);
    st.poppedFrames += bytes / fb;
    return bytes;
}

uint32_t TPcmConverter::LookaheadSourceBytes() const {
    if (!state_) return 0;
    return state_->lookaheadFrames * state_->src.frameBytes;
}

void TPcmConverter::Close() {
    state_.reset();
}

uint32_t TPcmConverter::SourceFrameBytes() const {
    return state_ ? state_->src.frameBytes : 0;
}
uint32_t TPcmConverter::DestinationFrameBytes() const {
    return state_ ? state_->dst.frameBytes : 0;
}

std::string TPcmConverter::ErrorText(int code) {
    switch (code) {
    case kOk:
        return "no error";
    case kBadSourceFormat:
        return "source format is not 8 or 16 bit mono or stereo PCM";
    case kBadDestinationFormat:
        return "destination format is not 8 or 16 bit mono or stereo PCM";
    case kRateRatioTooLarge:
        return "sample rates too far apart to convert";
    case kResamplerFailed:
        return "resampler failed";
    case kNotOpen:
        return "no conversion open";
    case kSizeOverflow:
        return "converted size exceeds 4 GiB";
    case kAlreadyFlushed:
        return "source data after the end of the source";
    case kNullBuffer:
        return "no buffer given";
    case kOutOfMemory:
        return "not enough memory to convert";
    default:
        return "unknown conversion error " + std::to_string(code);
    }
}
