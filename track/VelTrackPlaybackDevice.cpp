// The device side of playback: the buffer's controls (pan, quiet play), starting and stopping
// it, and the device's output format. Errors are reported with the result code's text.
#include "track/PlaybackState.h"
#include "track/VelTrack.h"

namespace {

constexpr int32_t kPanStep = 50; // hundredths of a dB per pan step

} // namespace

void TVelTrack::SetSoundDevice(TSoundOutputDevice* device, const WAVEFORMATEX& outputFormat) {
    soundDevice_ = device;
    outputFormat_ = outputFormat;
}

// The error is reported after the buffer's lock is let go: a kind-1 box waits for the user,
// and the feeder and the user-interface thread need that lock meanwhile.
void TVelTrack::SetPanValue(int32_t pan) {
    pan_ = pan;
    if (!playback_) return;
    HRESULT hr = DS_OK;
    {
        std::lock_guard lock(playback_->bufferMutex);
        if (!playback_->buffer) return;
        hr = playback_->buffer->SetPan(pan * kPanStep);
    }
    if (hr != DS_OK) AddMessage(kMsgError, "SetPan fails " + SoundErrorText(hr));
}

// Volume 0 is gain 1; -100 silence; +100 doubles the amplitude. The gain is applied to the
// samples as they are copied into the buffer.
void TVelTrack::SetVolumeValue(int32_t volume) {
    long double gain = 1.0L;
    if (volume < 0) gain = (100.0L + volume) / 100.0L;
    if (volume > 0) gain = static_cast<long double>(volume) / 100.0L + 1.0L;
    volumeAndGain_.store(TVolumeSetting{volume, static_cast<float>(gain)});
}

void TVelTrack::SetDampen(bool on) {
    dampen_ = on;
    if (!playback_) return;
    HRESULT hr = DS_OK;
    {
        std::lock_guard lock(playback_->bufferMutex);
        if (!playback_->buffer) return;
        hr = playback_->buffer->SetVolume(on ? kDampenedVolume : 0);
    }
    if (hr != DS_OK) AddMessage(kMsgError, "SetVolume fails " + SoundErrorText(hr));
}

bool TVelTrack::StartBuffer() {
    // Only a Ready track plays: a running edit or load must not find itself Playing.
    if (!playback_ || TrackState() != tsReady) return false;
    HRESULT hr = DS_OK;
    {
        std::lock_guard lock(playback_->bufferMutex);
        if (!playback_->buffer) return false;
        hr = playback_->buffer->Play(DSBPLAY_LOOPING);
    }
    if (hr != DS_OK) {
        AddMessage(kMsgError, "play fails " + SoundErrorText(hr));
        return false;
    }
    playback_->stopRequest = -1;
    state_.store(tsPlaying);
    return true;
}

bool TVelTrack::StopBuffer() {
    HRESULT hr = DS_OK;
    {
        std::lock_guard lock(playback_->bufferMutex);
        if (playback_->buffer) hr = playback_->buffer->Stop();
    }
    if (hr != DS_OK) {
        AddMessage(kMsgError, "Stop fails " + SoundErrorText(hr));
        return false;
    }
    // Only a playing track becomes Stopping; a feeder that has already cued it Ready wins.
    uint8_t expected = tsPlaying;
    state_.compare_exchange_strong(expected, tsStopping);
    return true;
}

bool TVelTrack::SetOutputFormat(const WAVEFORMATEX& format, uint32_t sampleRate) {
    if (!soundDevice_) return false;
    WAVEFORMATEX output = format;
    if (sampleRate != 0) {
        output.nSamplesPerSec = sampleRate;
        output.nAvgBytesPerSec = sampleRate * output.nBlockAlign;
    }
    const HRESULT hr = soundDevice_->SetPrimaryFormat(output);
    if (hr != DS_OK) {
        AddMessage(kMsgError, "SetFormat. " + SoundErrorText(hr));
        return false;
    }
    return true;
}
