// The buffered sound-output layer: looping secondary buffers in any PCM format, mixed in
// software into one playback stream per device. Result codes and their texts are those the
// tracks report ("CreateSoundBuffer " + text). No Qt.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"

using HRESULT = int32_t;

// Result codes with their established numeric values.
inline constexpr HRESULT DS_OK = 0;
inline constexpr HRESULT DSERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT DSERR_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT DSERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT DSERR_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DSERR_ALLOCATED = static_cast<HRESULT>(0x8878000Au);
inline constexpr HRESULT DSERR_CONTROLUNAVAIL = static_cast<HRESULT>(0x8878001Eu);
inline constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
inline constexpr HRESULT DSERR_PRIOLEVELNEEDED = static_cast<HRESULT>(0x88780046u);
inline constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
inline constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
inline constexpr HRESULT DSERR_ALREADYINITIALIZED = static_cast<HRESULT>(0x88780082u);
inline constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);
inline constexpr HRESULT DSERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x887800A0u);
inline constexpr HRESULT DSERR_UNINITIALIZED = static_cast<HRESULT>(0x887800AAu);
inline constexpr HRESULT DSERR_BUFFERTOOSMALL = static_cast<HRESULT>(0x887800B4u);
inline constexpr HRESULT DSERR_DS8_REQUIRED = static_cast<HRESULT>(0x887800BEu);
inline constexpr HRESULT DSERR_SENDLOOP = static_cast<HRESULT>(0x887800C8u);
inline constexpr HRESULT DSERR_BADSENDBUFFERGUID = static_cast<HRESULT>(0x887800D2u);
inline constexpr HRESULT DSERR_OBJECTNOTFOUND = static_cast<HRESULT>(0x88781161u);

inline constexpr uint32_t DSBPLAY_LOOPING = 0x1;
inline constexpr uint32_t DSBLOCK_FROMWRITECURSOR = 0x1;
inline constexpr uint32_t DSBLOCK_ENTIREBUFFER = 0x2;
inline constexpr int32_t DSBVOLUME_MIN = -10000; // silence
inline constexpr int32_t DSBVOLUME_MAX = 0;
inline constexpr int32_t DSBPAN_LEFT = -10000; // right channel silent
inline constexpr int32_t DSBPAN_RIGHT = 10000;

// The published description of a result code; "UnrecognizedError" for any other value.
std::string SoundErrorText(HRESULT code);

// One output device. An empty identifier stands for the sound server's default output.
struct TSoundDevice {
    std::string identifier;
    std::string description;
};

// A looping ring of PCM bytes (8 or 16 bits, mono or stereo, any rate from 100 to 200000 Hz).
// Offsets and cursors are bytes inside the ring. Control calls may come from any thread; the
// bytes handed out by Lock are the ring itself, so a region between the play and write
// cursors of a playing buffer must not be written.
class TSoundBuffer {
  public:
    virtual ~TSoundBuffer() = default;
    // Two parts when the region wraps past the end of the ring (p2 may be null otherwise).
    virtual HRESULT Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
                         uint32_t* n2, uint32_t flags) = 0;
    virtual HRESULT Unlock(void* p1, uint32_t n1, void* p2, uint32_t n2) = 0;
    virtual HRESULT Play(uint32_t flags) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT SetCurrentPosition(uint32_t offset) = 0;
    // The play cursor follows what the listener hears; the write cursor is the first byte the
    // mixer has not yet taken.
    virtual HRESULT GetCurrentPosition(uint32_t* playCursor, uint32_t* writeCursor) = 0;
    virtual HRESULT SetVolume(int32_t hundredthsDb) = 0; // DSBVOLUME_MIN .. DSBVOLUME_MAX
    virtual HRESULT SetPan(int32_t hundredthsDb) = 0;    // DSBPAN_LEFT .. DSBPAN_RIGHT
    // After DSERR_BUFFERLOST: reconnects the device if needed. The ring keeps its bytes.
    virtual HRESULT Restore() = 0;
};

// The output's clock at one moment, from the sound server's timing of the output stream.
struct TSoundOutputTiming {
    int64_t nowNs = 0;        // the moment: steady-clock nanoseconds (SoundClockNow's base)
    int64_t handedFrames = 0; // frames the mixer has handed to the output stream so far
    int64_t heardFrames = 0;  // frames the listener has heard by then
    uint32_t rate = 0;        // frames a second
};

class TSoundOutputDevice {
  public:
    virtual ~TSoundOutputDevice() = default;
    // A buffer started now is first mixed into frame handedFrames, so the listener hears its
    // start (handedFrames - heardFrames) / rate seconds after nowNs. DSERR_UNSUPPORTED for an
    // output that keeps no clock, DSERR_BUFFERLOST while the output is lost.
    virtual HRESULT GetTiming(TSoundOutputTiming& timing) {
        timing = {};
        return DSERR_UNSUPPORTED;
    }
    // Accepted for the callers' sake; sharing the output is the sound server's business.
    virtual HRESULT SetCooperativeLevel() = 0;
    // The format of the mixed output stream; the sound server converts it for the device.
    virtual HRESULT SetPrimaryFormat(const WAVEFORMATEX& format) = 0;
    virtual HRESULT CreateSoundBuffer(const WAVEFORMATEX& format, uint32_t bytes,
                                      std::unique_ptr<TSoundBuffer>& out) = 0;
};

// The default output first (empty identifier), then every sink of the sound server. Empty
// when no server answers within about a second.
std::vector<TSoundDevice> EnumerateOutputDevices();

// Connects to the sound server and opens the output stream (44100 Hz, 16 bits, stereo until
// SetPrimaryFormat). DSERR_NODRIVER when the server or the device cannot be reached.
HRESULT CreateSoundOutputDevice(const std::string& identifier,
                                std::unique_ptr<TSoundOutputDevice>& out);
