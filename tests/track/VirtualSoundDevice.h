// A sound-output device for tests: the real mixer, drained by hand. Advance(frames) renders
// that many output frames at once, moves every playing buffer's play cursor by them (the
// listener hears at once, no latency) and keeps the rendered bytes for comparison.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/SoundOutput.h"
#include "platform/SoundOutputMixer.h"

class TVirtualSoundHost;

class TVirtualSoundDevice final : public TSoundOutputDevice {
  public:
    // Output 44100 Hz, 16 bits, stereo until SetPrimaryFormat.
    TVirtualSoundDevice();
    ~TVirtualSoundDevice() override;

    HRESULT SetCooperativeLevel() override { return DS_OK; }
    HRESULT SetPrimaryFormat(const WAVEFORMATEX& format) override;
    HRESULT CreateSoundBuffer(const WAVEFORMATEX& format, uint32_t bytes,
                              std::unique_ptr<TSoundBuffer>& out) override;

    // Renders `frames` output frames; any thread, one at a time.
    void Advance(uint32_t frames);
    // Everything rendered so far, in the output format; TakePlayed also clears it.
    std::vector<uint8_t> Played() const;
    std::vector<uint8_t> TakePlayed();
    WAVEFORMATEX OutputFormat() const;

    // Simulates the output going away: buffers answer DSERR_BUFFERLOST until Restore, which
    // succeeds only while `reconnectWorks` is true.
    void LoseOutput();
    void SetReconnectWorks(bool works);
    int ReconnectAttempts() const;

  private:
    std::shared_ptr<TVirtualSoundHost> host_;
};
