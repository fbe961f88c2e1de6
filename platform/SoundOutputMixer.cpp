#include "platform/SoundOutputMixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

namespace {

constexpr uint64_t kFracOne = uint64_t{1} << 32;
constexpr uint32_t kEpochMask = 0x3FFFFFFF;

// Control word posted by the caller's thread to the renderer: bit 0 playing, bit 1 looping,
// bits 2..31 start epoch, bits 32..63 start offset [bytes].
uint64_t PackControl(bool playing, bool looping, uint32_t epoch, uint32_t offset) {
    return (uint64_t{offset} << 32) | (uint64_t{epoch & kEpochMask} << 2) | (looping ? 2u : 0u) |
           (playing ? 1u : 0u);
}

// Source-frame step per output frame, 32.32 fixed point.
uint64_t StepOf(uint32_t sourceRate, uint32_t outputRate) {
    return (uint64_t{sourceRate} << 32) / outputRate;
}

} // namespace

int64_t SoundClockNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A secondary buffer. Caller-side state is guarded by appMutex_, which the renderer never takes;
// the renderer sees the caller's wishes through one atomic control word and answers with a
// sequence-locked anchor (the output frame at which the current play began and the ring
// position it began at), from which any thread computes the cursors.
class TMixerBuffer final : public TSoundBuffer {
  public:
    TMixerBuffer(std::shared_ptr<TSoundMixerHost> host, const WAVEFORMATEX& format, uint32_t bytes,
                 std::unique_ptr<uint8_t[]> data)
        : host_(std::move(host)), mixer_(host_->Mixer()), format_(format), bytes_(bytes),
          frames_(bytes / format.nBlockAlign), data_(std::move(data)),
          seenLoss_(mixer_.LossCount()) {
        mix_.step = StepOf(format_.nSamplesPerSec, mixer_.OutputRate());
    }
    ~TMixerBuffer() override { mixer_.Remove(this); }

    HRESULT Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2,
                 uint32_t flags) override;
    HRESULT Unlock(void* p1, uint32_t n1, void* p2, uint32_t n2) override;
    HRESULT Play(uint32_t flags) override;
    HRESULT Stop() override;
    HRESULT SetCurrentPosition(uint32_t offset) override;
    HRESULT GetCurrentPosition(uint32_t* playCursor, uint32_t* writeCursor) override;
    HRESULT SetVolume(int32_t hundredthsDb) override;
    HRESULT SetPan(int32_t hundredthsDb) override;
    HRESULT Restore() override;

    // Renderer side.
    void TakeControl(int64_t outputFrame, uint32_t outputRate);
    void MixInto(float* mix, uint32_t frames);
    void Rebase(int64_t outputFrame, uint32_t outputRate);

  private:
    struct TAnchor {
        uint32_t epoch = 0;
        int64_t outputFrame = 0;
        uint64_t position = 0; // 32.32 source frames
        uint64_t step = 0;
    };

    bool LostLocked() const { return mixer_.Lost() || seenLoss_ != mixer_.LossCount(); }
    void PostControlLocked() {
        control_.store(PackControl(appPlaying_, appLooping_, appEpoch_, startOffset_));
    }
    bool ReadAnchor(TAnchor& anchor) const;
    void PublishAnchor(int64_t outputFrame);
    // Cursor positions of a playing buffer [32.32 source frames, not wrapped]; false while the
    // renderer has not taken up the current start.
    bool CursorsLocked(unsigned __int128& play, unsigned __int128& write) const;
    // A one-shot play whose end the listener has heard becomes a stopped buffer at offset 0.
    void RefreshEndedLocked();
    uint32_t OffsetOf(unsigned __int128 fixedFrames) const;
    uint32_t PlayCursorLocked() const;

    template <bool kSixteen, bool kStereo> void MixFrames(float* mix, uint32_t frames);

    const std::shared_ptr<TSoundMixerHost> host_;
    TSoundMixer& mixer_;
    const WAVEFORMATEX format_;
    const uint32_t bytes_;
    const uint32_t frames_;
    const std::unique_ptr<uint8_t[]> data_;
    // Bumped by every Unlock and read by the mixer before it reads the ring: what a caller
    // wrote before unlocking is then visible to the audio thread (release/acquire).
    std::atomic<uint32_t> unlocks_{0};

    std::mutex appMutex_;
    bool appPlaying_ = false;
    bool appLooping_ = false;
    uint32_t appEpoch_ = 0;
    uint32_t startOffset_ = 0;   // where the current play began [bytes]
    uint32_t stoppedOffset_ = 0; // the cursor while stopped [bytes]
    uint32_t seenLoss_;

    std::atomic<uint64_t> control_{0};
    std::atomic<int32_t> volume_{0};
    std::atomic<int32_t> pan_{0};

    std::atomic<uint32_t> anchorSeq_{0};
    std::atomic<uint32_t> anchorEpoch_{0};
    std::atomic<int64_t> anchorFrame_{0};
    std::atomic<uint64_t> anchorPosition_{0};
    std::atomic<uint64_t> anchorStep_{0};

    struct {
        bool playing = false;
        bool looping = false;
        uint32_t epoch = 0;
        uint64_t position = 0; // 32.32 source frames, below frames_ << 32
        uint64_t step = 0;
        uint32_t stepRate = 0;
        int32_t volume = 0;
        int32_t pan = 0;
        float gainLeft = 1.0f;
        float gainRight = 1.0f;
    } mix_;
};

// ---- caller side -------------------------------------------------------------------------

HRESULT TMixerBuffer::Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
                           uint32_t* n2, uint32_t flags) {
    if (p1 == nullptr || n1 == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard lock(appMutex_);
    if (LostLocked()) return DSERR_BUFFERLOST;
    if (flags & DSBLOCK_FROMWRITECURSOR) {
        unsigned __int128 play = 0, write = 0;
        RefreshEndedLocked();
        offset = appPlaying_ && CursorsLocked(play, write) ? OffsetOf(write)
                 : appPlaying_                             ? startOffset_
                                                           : stoppedOffset_;
    }
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = bytes_;
    if (offset >= bytes_ || bytes == 0 || bytes > bytes_) return DSERR_INVALIDPARAM;
    const uint32_t first = std::min(bytes, bytes_ - offset);
    const uint32_t rest = bytes - first;
    if (rest > 0 && (p2 == nullptr || n2 == nullptr)) return DSERR_INVALIDPARAM;
    *p1 = data_.get() + offset;
    *n1 = first;
    if (p2 != nullptr) *p2 = rest > 0 ? data_.get() : nullptr;
    if (n2 != nullptr) *n2 = rest;
    return DS_OK;
}

HRESULT TMixerBuffer::Unlock(void* p1, uint32_t n1, void* p2, uint32_t n2) {
    // The region is the ring itself: there is nothing to copy, only the caller's pointers to
    // check, so that a stray pointer is reported rather than trusted.
    const uint8_t* begin = data_.get();
    const uint8_t* first = static_cast<const uint8_t*>(p1);
    if (first == nullptr || first < begin || first >= begin + bytes_ ||
        n1 > static_cast<uint32_t>(begin + bytes_ - first))
        return DSERR_INVALIDPARAM;
    if (p2 != nullptr && (p2 != begin || n2 > bytes_)) return DSERR_INVALIDPARAM;
    if (p2 == nullptr && n2 != 0) return DSERR_INVALIDPARAM;
    unlocks_.fetch_add(1, std::memory_order_release);
    return DS_OK;
}

HRESULT TMixerBuffer::Play(uint32_t flags) {
    std::lock_guard lock(appMutex_);
    if (LostLocked()) return DSERR_BUFFERLOST;
    RefreshEndedLocked();
    appLooping_ = (flags & DSBPLAY_LOOPING) != 0;
    if (!appPlaying_) {
        appPlaying_ = true;
        startOffset_ = stoppedOffset_;
        appEpoch_ = (appEpoch_ + 1) & kEpochMask;
        if (appEpoch_ == 0) appEpoch_ = 1; // 0 is the renderer's "never started"
    }
    PostControlLocked();
    return DS_OK;
}

HRESULT TMixerBuffer::Stop() {
    std::lock_guard lock(appMutex_);
    RefreshEndedLocked();
    if (appPlaying_) {
        stoppedOffset_ = PlayCursorLocked();
        appPlaying_ = false;
        PostControlLocked();
    }
    return DS_OK;
}

HRESULT TMixerBuffer::SetCurrentPosition(uint32_t offset) {
    if (offset >= bytes_) return DSERR_INVALIDPARAM;
    offset -= offset % format_.nBlockAlign;
    std::lock_guard lock(appMutex_);
    RefreshEndedLocked();
    if (appPlaying_) {
        startOffset_ = offset;
        appEpoch_ = (appEpoch_ + 1) & kEpochMask;
        if (appEpoch_ == 0) appEpoch_ = 1;
        PostControlLocked();
    } else {
        stoppedOffset_ = offset;
    }
    return DS_OK;
}

HRESULT TMixerBuffer::GetCurrentPosition(uint32_t* playCursor, uint32_t* writeCursor) {
    std::lock_guard lock(appMutex_);
    // A lost output renders nothing: its cursor would stand still for ever and a playing
    // track never learn that it has stopped being heard.
    if (LostLocked()) return DSERR_BUFFERLOST;
    RefreshEndedLocked();
    uint32_t play = stoppedOffset_, write = stoppedOffset_;
    if (appPlaying_) {
        unsigned __int128 p = 0, w = 0;
        if (CursorsLocked(p, w)) {
            play = OffsetOf(p);
            write = OffsetOf(w);
        } else {
            play = write = startOffset_;
        }
    }
    if (playCursor != nullptr) *playCursor = play;
    if (writeCursor != nullptr) *writeCursor = write;
    return DS_OK;
}

HRESULT TMixerBuffer::SetVolume(int32_t hundredthsDb) {
    if (hundredthsDb < DSBVOLUME_MIN || hundredthsDb > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    volume_.store(hundredthsDb);
    return DS_OK;
}

HRESULT TMixerBuffer::SetPan(int32_t hundredthsDb) {
    if (hundredthsDb < DSBPAN_LEFT || hundredthsDb > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    pan_.store(hundredthsDb);
    return DS_OK;
}

HRESULT TMixerBuffer::Restore() {
    std::lock_guard lock(appMutex_);
    if (!LostLocked()) return DS_OK;
    if (mixer_.Lost() && host_->Reconnect() != DS_OK) return DSERR_BUFFERLOST;
    seenLoss_ = mixer_.LossCount();
    // A restored buffer is stopped where it was; its bytes are kept.
    if (appPlaying_) {
        stoppedOffset_ = PlayCursorLocked();
        appPlaying_ = false;
        PostControlLocked();
    }
    return DS_OK;
}

bool TMixerBuffer::ReadAnchor(TAnchor& anchor) const {
    // The writer (renderer) holds the sequence odd only for four stores; a few retries suffice,
    // and a caller that still misses treats the play as not yet begun.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const uint32_t before = anchorSeq_.load();
        if (before & 1) {
            std::this_thread::yield();
            continue;
        }
        anchor.epoch = anchorEpoch_.load();
        anchor.outputFrame = anchorFrame_.load();
        anchor.position = anchorPosition_.load();
        anchor.step = anchorStep_.load();
        if (anchorSeq_.load() == before) return true;
    }
    return false;
}

void TMixerBuffer::PublishAnchor(int64_t outputFrame) {
    anchorSeq_.fetch_add(1);
    anchorEpoch_.store(mix_.epoch);
    anchorFrame_.store(outputFrame);
    anchorPosition_.store(mix_.position);
    anchorStep_.store(mix_.step);
    anchorSeq_.fetch_add(1);
}

bool TMixerBuffer::CursorsLocked(unsigned __int128& play, unsigned __int128& write) const {
    TAnchor anchor;
    if (!ReadAnchor(anchor) || anchor.epoch != appEpoch_) return false;
    const int64_t heard = mixer_.HeardFrames(SoundClockNow());
    const int64_t rendered = mixer_.RenderedFrames();
    const auto since = [&](int64_t frame) {
        return static_cast<unsigned __int128>(std::max<int64_t>(0, frame - anchor.outputFrame));
    };
    play = anchor.position + since(heard) * anchor.step;
    write = anchor.position + since(rendered) * anchor.step;
    return true;
}

void TMixerBuffer::RefreshEndedLocked() {
    if (!appPlaying_ || appLooping_) return;
    unsigned __int128 play = 0, write = 0;
    if (CursorsLocked(play, write) && play >= static_cast<unsigned __int128>(frames_) * kFracOne) {
        appPlaying_ = false;
        stoppedOffset_ = 0;
        PostControlLocked();
    }
}

uint32_t TMixerBuffer::OffsetOf(unsigned __int128 fixedFrames) const {
    uint64_t frame = static_cast<uint64_t>(fixedFrames >> 32);
    if (appLooping_)
        frame %= frames_;
    else
        frame = std::min<uint64_t>(frame, frames_ - 1);
    return static_cast<uint32_t>(frame) * format_.nBlockAlign;
}

uint32_t TMixerBuffer::PlayCursorLocked() const {
    unsigned __int128 play = 0, write = 0;
    return CursorsLocked(play, write) ? OffsetOf(play) : startOffset_;
}

// ---- renderer side -----------------------------------------------------------------------

void TMixerBuffer::TakeControl(int64_t outputFrame, uint32_t outputRate) {
    if (mix_.stepRate != outputRate) {
        mix_.step = StepOf(format_.nSamplesPerSec, outputRate);
        mix_.stepRate = outputRate;
    }
    const uint64_t control = control_.load();
    const bool playing = (control & 1) != 0;
    const uint32_t epoch = static_cast<uint32_t>(control >> 2) & kEpochMask;
    mix_.looping = (control & 2) != 0;
    if (!playing) {
        mix_.playing = false;
    } else if (epoch != mix_.epoch) {
        const uint32_t offset = static_cast<uint32_t>(control >> 32);
        mix_.epoch = epoch;
        mix_.position = uint64_t{offset / format_.nBlockAlign} << 32;
        mix_.playing = true;
        PublishAnchor(outputFrame);
    }
    const int32_t volume = volume_.load(std::memory_order_relaxed);
    const int32_t pan = pan_.load(std::memory_order_relaxed);
    if (volume != mix_.volume || pan != mix_.pan) {
        // Pan attenuates the opposite channel by its amount; volume scales both.
        const float gain = TSoundMixer::GainOf(volume);
        mix_.gainLeft = gain * (pan > 0 ? TSoundMixer::GainOf(-pan) : 1.0f);
        mix_.gainRight = gain * (pan < 0 ? TSoundMixer::GainOf(pan) : 1.0f);
        mix_.volume = volume;
        mix_.pan = pan;
    }
}

void TMixerBuffer::Rebase(int64_t outputFrame, uint32_t outputRate) {
    mix_.step = StepOf(format_.nSamplesPerSec, outputRate);
    mix_.stepRate = outputRate;
    if (mix_.playing) PublishAnchor(outputFrame);
}

template <bool kSixteen, bool kStereo> void TMixerBuffer::MixFrames(float* mix, uint32_t frames) {
    const uint8_t* data = data_.get();
    const uint32_t channels = kStereo ? 2 : 1;
    const auto sample = [&](uint32_t frame, uint32_t channel) -> float {
        if constexpr (kSixteen) {
            int16_t value;
            std::memcpy(&value, data + (size_t{frame} * channels + channel) * 2, 2);
            return value;
        } else {
            return (static_cast<int>(data[size_t{frame} * channels + channel]) - 128) * 256.0f;
        }
    };
    const uint64_t ring = uint64_t{frames_} << 32;
    const float gainLeft = mix_.gainLeft, gainRight = mix_.gainRight;
    uint64_t position = mix_.position;
    for (uint32_t i = 0; i < frames; ++i) {
        const uint32_t frame = static_cast<uint32_t>(position >> 32);
        uint32_t next = frame + 1;
        if (next == frames_) next = mix_.looping ? 0 : frame;
        const float fraction = static_cast<float>(position & (kFracOne - 1)) * (1.0f / kFracOne);
        const float left0 = sample(frame, 0);
        const float left = left0 + (sample(next, 0) - left0) * fraction;
        float right = left;
        if constexpr (kStereo) {
            const float right0 = sample(frame, 1);
            right = right0 + (sample(next, 1) - right0) * fraction;
        }
        mix[2 * i] += left * gainLeft;
        mix[2 * i + 1] += right * gainRight;
        position += mix_.step;
        if (position >= ring) {
            if (!mix_.looping) {
                mix_.playing = false;
                break;
            }
            position %= ring;
        }
    }
    mix_.position = position;
}

void TMixerBuffer::MixInto(float* mix, uint32_t frames) {
    if (!mix_.playing) return;
    (void)unlocks_.load(std::memory_order_acquire);
    const bool sixteen = format_.wBitsPerSample == 16;
    const bool stereo = format_.nChannels == 2;
    if (sixteen && stereo)
        MixFrames<true, true>(mix, frames);
    else if (sixteen)
        MixFrames<true, false>(mix, frames);
    else if (stereo)
        MixFrames<false, true>(mix, frames);
    else
        MixFrames<false, false>(mix, frames);
}

// ---- mixer -------------------------------------------------------------------------------

TSoundMixer::TSoundMixer(const WAVEFORMATEX& output) : output_(output) {
    outRate_.store(output.nSamplesPerSec);
}

TSoundMixer::~TSoundMixer() = default;

bool TSoundMixer::SupportedFormat(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= 100 &&
           f.nSamplesPerSec <= 200000 && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

float TSoundMixer::GainOf(int32_t hundredthsDb) {
    if (hundredthsDb <= DSBVOLUME_MIN) return 0.0f;
    return std::pow(10.0f, static_cast<float>(hundredthsDb) / 2000.0f);
}

HRESULT TSoundMixer::CreateBuffer(const std::shared_ptr<TSoundMixerHost>& host,
                                  const WAVEFORMATEX& format, uint32_t bytes,
                                  std::unique_ptr<TSoundBuffer>& out) {
    out.reset();
    if (!SupportedFormat(format)) return DSERR_BADFORMAT;
    if (bytes < format.nBlockAlign || bytes > 0x0FFFFFFF) return DSERR_INVALIDPARAM;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[bytes]);
    if (!data) return DSERR_OUTOFMEMORY;
    std::memset(data.get(), format.wBitsPerSample == 8 ? 128 : 0, bytes);
    auto* buffer = new (std::nothrow) TMixerBuffer(host, format, bytes, std::move(data));
    if (buffer == nullptr) return DSERR_OUTOFMEMORY;
    for (auto& slot : slots_) {
        TMixerBuffer* empty = nullptr;
        if (slot.compare_exchange_strong(empty, buffer)) {
            out.reset(buffer);
            return DS_OK;
        }
    }
    // Not registered: a removal finds nothing and needs no grace period.
    delete buffer;
    return DSERR_ALLOCATED;
}

void TSoundMixer::Remove(TMixerBuffer* buffer) {
    for (auto& slot : slots_) {
        TMixerBuffer* expected = buffer;
        if (slot.compare_exchange_strong(expected, nullptr)) break;
    }
    // A render that began before the slot was cleared may still hold the pointer; the buffer is
    // freed only once that render has ended (the generation moves on from an odd value).
    const uint64_t generation = renderGeneration_.load();
    if (generation & 1)
        while (renderGeneration_.load() == generation)
            std::this_thread::yield();
}

void TSoundMixer::MarkLost() {
    lossCount_.fetch_add(1);
    lost_.store(true);
}

void TSoundMixer::Render(void* out, uint32_t frames) {
    renderGeneration_.fetch_add(1);
    // Control words are read once per period, so every buffer started since the last period
    // begins on the same output frame.
    activeCount_ = 0;
    const uint32_t rate = output_.nSamplesPerSec;
    for (auto& slot : slots_) {
        TMixerBuffer* buffer = slot.load();
        if (buffer == nullptr) continue;
        buffer->TakeControl(written_, rate);
        active_[activeCount_++] = buffer;
    }
    auto* target = static_cast<uint8_t*>(out);
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(kBlockFrames, frames - done);
        std::fill(mix_.begin(), mix_.begin() + 2 * n, 0.0f);
        for (uint32_t i = 0; i < activeCount_; ++i)
            active_[i]->MixInto(mix_.data(), n);
        WriteOutput(target, n);
        target += size_t{n} * output_.nBlockAlign;
        done += n;
    }
    written_ += frames;
    rendered_.store(written_, std::memory_order_release);
    renderGeneration_.fetch_add(1);
}

void TSoundMixer::WriteOutput(uint8_t* out, uint32_t frames) const {
    const bool stereo = output_.nChannels == 2;
    const bool sixteen = output_.wBitsPerSample == 16;
    const uint32_t samples = stereo ? 2 * frames : frames;
    for (uint32_t i = 0; i < samples; ++i) {
        const float value = stereo ? mix_[i] : 0.5f * (mix_[2 * i] + mix_[2 * i + 1]);
        if (sixteen) {
            const auto sample =
                static_cast<int16_t>(std::lrint(std::clamp(value, -32768.0f, 32767.0f)));
            std::memcpy(out + 2 * size_t{i}, &sample, 2);
        } else {
            const long sample = std::lrint(std::clamp(value / 256.0f, -128.0f, 127.0f));
            out[i] = static_cast<uint8_t>(sample + 128);
        }
    }
}

void TSoundMixer::ReportHeard(int64_t heardFrames, int64_t nowNs) {
    heardFrames = std::min(heardFrames, written_);
    const bool running = heardFrames > clockHeard_.load(std::memory_order_relaxed);
    clockSeq_.fetch_add(1);
    clockHeard_.store(heardFrames);
    clockTimeNs_.store(nowNs);
    clockRunning_.store(running);
    clockSeq_.fetch_add(1);
}

int64_t TSoundMixer::HeardFrames(int64_t nowNs) const {
    int64_t heard = 0, timeNs = 0;
    bool running = false;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const uint32_t before = clockSeq_.load();
        if (before & 1) {
            std::this_thread::yield();
            continue;
        }
        heard = clockHeard_.load();
        timeNs = clockTimeNs_.load();
        running = clockRunning_.load();
        if (clockSeq_.load() == before) break;
    }
    int64_t estimate = heard;
    if (running && nowNs > timeNs)
        estimate +=
            static_cast<int64_t>(static_cast<long double>(nowNs - timeNs) * outRate_.load() / 1e9L);
    estimate = std::min(estimate, rendered_.load());
    int64_t previous = lastHeard_.load();
    while (estimate > previous && !lastHeard_.compare_exchange_weak(previous, estimate)) {
    }
    return std::max(estimate, previous);
}

void TSoundMixer::Reconfigure(const WAVEFORMATEX& output) {
    output_ = output;
    outRate_.store(output.nSamplesPerSec);
    for (auto& slot : slots_)
        if (TMixerBuffer* buffer = slot.load()) buffer->Rebase(written_, output.nSamplesPerSec);
    lastHeard_.store(std::min(lastHeard_.load(), written_));
    clockSeq_.fetch_add(1);
    clockHeard_.store(written_);
    clockTimeNs_.store(SoundClockNow());
    clockRunning_.store(false);
    clockSeq_.fetch_add(1);
}
