#include "tests/track/VirtualSoundDevice.h"

namespace {

WAVEFORMATEX CdFormat() {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 176400;
    return f;
}

} // namespace

class TVirtualSoundHost final : public TSoundMixerHost {
  public:
    TVirtualSoundHost() : mixer_(CdFormat()), format_(CdFormat()) {}

    TSoundMixer& Mixer() override { return mixer_; }

    HRESULT Reconnect() override {
        std::lock_guard lock(mutex_);
        ++reconnectAttempts_;
        if (!reconnectWorks_) return DSERR_NODRIVER;
        mixer_.ClearLost();
        return DS_OK;
    }

    // One renderer at a time, and never during a reconfiguration: both hold mutex_.
    void Advance(uint32_t frames) {
        std::lock_guard lock(mutex_);
        if (mixer_.Lost()) return;
        const size_t start = played_.size();
        played_.resize(start + size_t{frames} * format_.nBlockAlign);
        mixer_.Render(played_.data() + start, frames);
        mixer_.ReportHeard(mixer_.RenderedFrames(), SoundClockNow());
    }

    HRESULT SetFormat(const WAVEFORMATEX& format) {
        if (!TSoundMixer::SupportedFormat(format)) return DSERR_BADFORMAT;
        std::lock_guard lock(mutex_);
        format_ = format;
        mixer_.Reconfigure(format);
        return DS_OK;
    }

    std::vector<uint8_t> Played(bool clear) {
        std::lock_guard lock(mutex_);
        std::vector<uint8_t> result = played_;
        if (clear) played_.clear();
        return result;
    }
    WAVEFORMATEX Format() {
        std::lock_guard lock(mutex_);
        return format_;
    }
    void SetReconnectWorks(bool works) {
        std::lock_guard lock(mutex_);
        reconnectWorks_ = works;
    }
    int ReconnectAttempts() {
        std::lock_guard lock(mutex_);
        return reconnectAttempts_;
    }

  private:
    TSoundMixer mixer_;
    std::mutex mutex_;
    WAVEFORMATEX format_;
    std::vector<uint8_t> played_;
    bool reconnectWorks_ = true;
    int reconnectAttempts_ = 0;
};

TVirtualSoundDevice::TVirtualSoundDevice() : host_(std::make_shared<TVirtualSoundHost>()) {}
TVirtualSoundDevice::~TVirtualSoundDevice() = default;

HRESULT TVirtualSoundDevice::SetPrimaryFormat(const WAVEFORMATEX& format) {
    return host_->SetFormat(format);
}

HRESULT TVirtualSoundDevice::CreateSoundBuffer(const WAVEFORMATEX& format, uint32_t bytes,
                                               std::unique_ptr<TSoundBuffer>& out) {
    return host_->Mixer().CreateBuffer(host_, format, bytes, out);
}

void TVirtualSoundDevice::Advance(uint32_t frames) {
    host_->Advance(frames);
}
std::vector<uint8_t> TVirtualSoundDevice::Played() const {
    return host_->Played(false);
}
std::vector<uint8_t> TVirtualSoundDevice::TakePlayed() {
    return host_->Played(true);
}
WAVEFORMATEX TVirtualSoundDevice::OutputFormat() const {
    return host_->Format();
}
void TVirtualSoundDevice::LoseOutput() {
    host_->Mixer().MarkLost();
}
void TVirtualSoundDevice::SetReconnectWorks(bool works) {
    host_->SetReconnectWorks(works);
}
int TVirtualSoundDevice::ReconnectAttempts() const {
    return host_->ReconnectAttempts();
}
