// A sound device for the playback tests: the hand-driven virtual device, with faults that can
// be switched on per call and a record of the controls the track set on its buffers.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/SoundOutput.h"
#include "tests/track/VirtualSoundDevice.h"

struct TPlaybackFaults {
    std::atomic<HRESULT> create{DS_OK}; // one-shot
    std::atomic<HRESULT> play{DS_OK};
    std::atomic<HRESULT> stop{DS_OK};
    std::atomic<HRESULT> position{DS_OK};
    std::atomic<HRESULT> volume{DS_OK};
    std::atomic<int64_t> lockFailsAt{-1}; // buffer offset whose lock fails, one-shot
    std::atomic<int32_t> lastPan{12345};
    std::atomic<int32_t> lastVolume{12345};
    std::atomic<int> buffersCreated{0};
};

class TFaultyBuffer final : public TSoundBuffer {
  public:
    TFaultyBuffer(std::unique_ptr<TSoundBuffer> inner, TPlaybackFaults& faults)
        : inner_(std::move(inner)), faults_(faults) {}
    HRESULT Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2,
                 uint32_t flags) override {
        int64_t at = offset;
        if (faults_.lockFailsAt.compare_exchange_strong(at, -1)) return DSERR_INVALIDCALL;
        return inner_->Lock(offset, bytes, p1, n1, p2, n2, flags);
    }
    HRESULT Unlock(void* p1, uint32_t n1, void* p2, uint32_t n2) override {
        return inner_->Unlock(p1, n1, p2, n2);
    }
    HRESULT Play(uint32_t flags) override {
        return faults_.play != DS_OK ? faults_.play.load() : inner_->Play(flags);
    }
    HRESULT Stop() override { return faults_.stop != DS_OK ? faults_.stop.load() : inner_->Stop(); }
    HRESULT SetCurrentPosition(uint32_t offset) override {
        return inner_->SetCurrentPosition(offset);
    }
    HRESULT GetCurrentPosition(uint32_t* play, uint32_t* write) override {
        if (faults_.position != DS_OK) return faults_.position;
        return inner_->GetCurrentPosition(play, write);
    }
    HRESULT SetVolume(int32_t v) override {
        if (faults_.volume != DS_OK) return faults_.volume;
        const HRESULT hr = inner_->SetVolume(v);
        if (hr == DS_OK) faults_.lastVolume = v;
        return hr;
    }
    HRESULT SetPan(int32_t p) override {
        const HRESULT hr = inner_->SetPan(p);
        if (hr == DS_OK) faults_.lastPan = p;
        return hr;
    }
    HRESULT Restore() override { return inner_->Restore(); }

  private:
    std::unique_ptr<TSoundBuffer> inner_;
    TPlaybackFaults& faults_;
};

class TFaultyDevice final : public TSoundOutputDevice {
  public:
    TVirtualSoundDevice virtualDevice;
    TPlaybackFaults faults;
    // The newest buffer: alive until the track's next cue or its end.
    std::atomic<TSoundBuffer*> last{nullptr};

    // The first `bytes` of the newest buffer's ring.
    std::vector<uint8_t> Ring(uint32_t bytes) {
        void* p1 = nullptr;
        uint32_t n1 = 0;
        if (last.load()->Lock(0, bytes, &p1, &n1, nullptr, nullptr, 0) != DS_OK) return {};
        const auto* b = static_cast<const uint8_t*>(p1);
        std::vector<uint8_t> copy(b, b + n1);
        last.load()->Unlock(p1, n1, nullptr, 0);
        return copy;
    }

    HRESULT SetCooperativeLevel() override { return DS_OK; }
    HRESULT SetPrimaryFormat(const WAVEFORMATEX& format) override {
        return virtualDevice.SetPrimaryFormat(format);
    }
    HRESULT CreateSoundBuffer(const WAVEFORMATEX& format, uint32_t bytes,
                              std::unique_ptr<TSoundBuffer>& out) override {
        const HRESULT failure = faults.create.exchange(DS_OK);
        if (failure != DS_OK) return failure;
        std::unique_ptr<TSoundBuffer> inner;
        const HRESULT hr = virtualDevice.CreateSoundBuffer(format, bytes, inner);
        if (hr != DS_OK) return hr;
        auto buffer = std::make_unique<TFaultyBuffer>(std::move(inner), faults);
        last = buffer.get();
        out = std::move(buffer);
        ++faults.buffersCreated;
        return DS_OK;
    }
};
