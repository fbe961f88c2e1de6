#include "studio/core/SoundSetup.h"

#include "audio/VelTrackUtils.h"

TSoundSetup::TSoundSetup(TMessageSink& messages, TEnumerator enumerate, TCreator create)
    : messages_(messages), enumerate_(std::move(enumerate)), create_(std::move(create)) {}

bool TSoundSetup::Initialise(const std::string& savedDescription,
                             const WAVEFORMATEX& outputFormat) {
    device_.reset();
    devices_ = enumerate_();
    enumerated_ = true;
    if (devices_.empty()) {
        messages_.AddMessage(kMsgError, "No DirectSound devices");
        return false;
    }
    const TSoundDevice* chosen = &devices_.front();
    for (const TSoundDevice& device : devices_)
        if (device.description == savedDescription) {
            chosen = &device;
            break;
        }
    deviceName_ = chosen->description;

    std::unique_ptr<TSoundOutputDevice> device;
    HRESULT hr = create_(chosen->identifier, device);
    if (hr != DS_OK || !device) {
        messages_.AddMessage(kMsgError, deviceName_ + " DirectSoundCreate Fails. " +
                                            SoundErrorText(hr != DS_OK ? hr : DSERR_GENERIC));
        return false;
    }
    hr = device->SetCooperativeLevel();
    if (hr != DS_OK) {
        messages_.AddMessage(kMsgError,
                             deviceName_ + " SetCooperativeLevel Fails. " + SoundErrorText(hr));
        return false;
    }
    // The layer has no primary buffer object to create: its mixed stream takes the format.
    hr = device->SetPrimaryFormat(outputFormat);
    if (hr != DS_OK) {
        messages_.AddMessage(kMsgError, "SetFormat. " + SoundErrorText(hr));
        return false;
    }
    device_ = std::move(device);
    messages_.AddMessage(kMsgStatus,
                         deviceName_ + " Initialized {" + FormatDescription(outputFormat) + ")");
    return true;
}
