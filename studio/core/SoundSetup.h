// Setting up the Studio's sound-output device: enumerate, choose by the saved description
// (else the first), create, cooperative level, primary format. Every failure is reported
// through the message sink with the result code's text. Qt-free; the GUI disables and
// enables its menu items around Initialise.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "platform/SoundOutput.h"
#include "ui/core/MessageSink.h"

class TSoundSetup {
  public:
    using TEnumerator = std::function<std::vector<TSoundDevice>()>;
    using TCreator =
        std::function<HRESULT(const std::string&, std::unique_ptr<TSoundOutputDevice>&)>;

    // The real sound server by default; tests hand in their own.
    explicit TSoundSetup(TMessageSink& messages, TEnumerator enumerate = EnumerateOutputDevices,
                         TCreator create = CreateSoundOutputDevice);

    // True when a device is ready with `outputFormat` as its primary format. Any device made
    // before is released first.
    bool Initialise(const std::string& savedDescription, const WAVEFORMATEX& outputFormat);
    void Release() { device_.reset(); }

    TSoundOutputDevice* Device() const { return device_.get(); }
    // The chosen device's description ("" before a choice).
    const std::string& DeviceName() const { return deviceName_; }
    const std::vector<TSoundDevice>& Devices() const { return devices_; }
    // The last Initialise found no device at all: nothing can play, but nothing waits for a
    // device either, so tracks can still be opened and edited.
    bool NoDevices() const { return enumerated_ && devices_.empty(); }

  private:
    TMessageSink& messages_;
    TEnumerator enumerate_;
    TCreator create_;
    std::vector<TSoundDevice> devices_;
    bool enumerated_ = false;
    std::string deviceName_;
    std::unique_ptr<TSoundOutputDevice> device_;
};
