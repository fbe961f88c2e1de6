// The software mixer behind every sound-output device: looping secondary buffers converted to
// the output format (linear-interpolation rate conversion), scaled by volume and pan, summed
// with saturation. Whoever drains it (a sound-server stream, or a test clock) is its host.
// No Qt, no sound-server calls.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/SoundOutput.h"

class TSoundMixer;
class TMixerBuffer;

// Owns a mixer and the output that drains it. Buffers hold their host, so a buffer may
// outlive the device object that created it.
class TSoundMixerHost {
  public:
    virtual ~TSoundMixerHost() = default;
    virtual TSoundMixer& Mixer() = 0;
    // Caller's thread, bounded in time: brings the output back after a loss. DS_OK when the
    // output runs again (the mixer's lost flag is then cleared).
    virtual HRESULT Reconnect() = 0;
};

class TSoundMixer {
  public:
    static constexpr uint32_t kMaxBuffers = 256;
    static constexpr uint32_t kBlockFrames = 256;

    // `output` must satisfy SupportedFormat.
    explicit TSoundMixer(const WAVEFORMATEX& output);
    ~TSoundMixer();
    TSoundMixer(const TSoundMixer&) = delete;
    TSoundMixer& operator=(const TSoundMixer&) = delete;

    // PCM, 1 or 2 channels, 8 or 16 bits, 100..200000 Hz, consistent block alignment.
    static bool SupportedFormat(const WAVEFORMATEX& format);
    // Linear gain of a volume in hundredths of a dB; DSBVOLUME_MIN is exact silence.
    static float GainOf(int32_t hundredthsDb);

    // Any thread. DSERR_BADFORMAT, DSERR_INVALIDPARAM (size), DSERR_ALLOCATED (too many
    // buffers) or DSERR_OUTOFMEMORY on failure.
    HRESULT CreateBuffer(const std::shared_ptr<TSoundMixerHost>& host, const WAVEFORMATEX& format,
                         uint32_t bytes, std::unique_ptr<TSoundBuffer>& out);

    // Any thread, lock-free. A loss makes every buffer answer DSERR_BUFFERLOST until restored.
    void MarkLost();
    void ClearLost() { lost_.store(false); }
    bool Lost() const { return lost_.load(); }
    uint32_t LossCount() const { return lossCount_.load(); }

    // Any thread: output frames the listener has heard at `nowNs` (steady clock), extrapolated
    // from the host's last report. Never decreases and never passes the frames rendered.
    int64_t HeardFrames(int64_t nowNs) const;
    int64_t RenderedFrames() const { return rendered_.load(std::memory_order_acquire); }
    uint32_t OutputRate() const { return outRate_.load(); }

    // Renderer thread (the host runs one renderer at a time). Fills `frames` frames of the
    // output format; no allocation, no lock, no exception.
    void Render(void* out, uint32_t frames);
    // Renderer thread: the output frame the listener hears at `nowNs`.
    void ReportHeard(int64_t heardFrames, int64_t nowNs);

    // Only while no Render can run (the host holds its renderer lock or has no stream).
    // Playing buffers carry on from the frame they had reached; the clock restarts there.
    void Reconfigure(const WAVEFORMATEX& output);

    // Used by TMixerBuffer.
    void Remove(TMixerBuffer* buffer);

  private:
    void WriteOutput(uint8_t* out, uint32_t frames) const;

    // Renderer-owned state.
    WAVEFORMATEX output_;
    int64_t written_ = 0;
    uint32_t activeCount_ = 0;
    std::array<TMixerBuffer*, kMaxBuffers> active_{};
    std::array<float, 2 * kBlockFrames> mix_{};

    std::array<std::atomic<TMixerBuffer*>, kMaxBuffers> slots_{};
    // Odd while a render walks the slots: a removed buffer is freed only after it is even again.
    std::atomic<uint64_t> renderGeneration_{0};
    std::atomic<int64_t> rendered_{0};
    std::atomic<uint32_t> outRate_{0};

    // The clock the host reports, as a sequence-locked record written by the renderer.
    std::atomic<uint32_t> clockSeq_{0};
    std::atomic<int64_t> clockHeard_{0};
    std::atomic<int64_t> clockTimeNs_{0};
    std::atomic<bool> clockRunning_{false};
    mutable std::atomic<int64_t> lastHeard_{0};

    std::atomic<bool> lost_{false};
    std::atomic<uint32_t> lossCount_{0};
};

// Steady-clock nanoseconds, the time base of ReportHeard and HeardFrames.
int64_t SoundClockNow();
