// The wave-input layer: numbered input devices, and one open input that fills caller-owned
// buffers in the order they were queued, with a notification per filled buffer. Result codes
// keep their established numeric values, so a failure reads the same in every message
// ("WaveInOpen. " + name + " " + text). Recording runs over one libpulse record stream per open
// input; the sound server converts to the requested format. No Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

// The sound server's default input.
inline constexpr int32_t WAVE_MAPPER = -1;

// Longest product name, in bytes, without a terminator.
inline constexpr std::size_t kWaveInProductNameMax = 31;

struct TWaveInCaps {
    std::string productName; // the source's description, cut to kWaveInProductNameMax bytes
    std::string identifier;  // the sound server's name of the source
    bool monitor = false;    // the source hears what a sink plays
};

inline constexpr uint32_t WHDR_DONE = 0x1;
inline constexpr uint32_t WHDR_PREPARED = 0x2;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

// One caller-owned buffer. While WHDR_INQUEUE is set the input owns `data` and the header; the
// caller reads bytesRecorded and flags again only after the buffer's notification (or after
// Reset or Stop returned).
struct TWaveHdr {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;
    uint32_t flags = 0;
};

// Sources of the sound server, monitors included; 0 when no server answers within a second.
// Device numbers 0 .. n-1 follow the order of EnumerateInputDevices.
uint32_t WaveInGetNumDevs();

// WAVE_MAPPER answers for the server's default source. MMSYSERR_BADDEVICEID for any other
// number outside 0 .. n-1, and for every number when no server answers.
MMRESULT WaveInGetDevCaps(int32_t device, TWaveInCaps& caps);

// Every source in device-number order; empty when no server answers.
std::vector<TWaveInCaps> EnumerateInputDevices();

// A one-line description of a result code; unknown codes are named by number.
std::string WaveInGetErrorText(MMRESULT code);

// One open input. Control calls may come from any thread, one at a time. The data stream runs
// on the sound server's thread: it copies into the buffer at the head of the queue and, when
// that buffer is full, marks it done (bytesRecorded = bufferLength) and calls onBufferDone
// there. Data that arrives while nothing is queued is dropped and counted.
class TWaveIn {
  public:
    // Buffers queued at the same time, at most.
    static constexpr std::size_t kMaxQueued = 8;

    // Accepts 8-bit unsigned or 16-bit little-endian PCM, mono or stereo, 1 .. 384000 Hz, with
    // consistent block alignment and byte rate. The input starts stopped.
    // onBufferDone runs on the sound server's thread (and, for the buffers that Reset and Stop
    // return, on the thread that called them). It must not block nor call back into this input.
    static MMRESULT Open(std::unique_ptr<TWaveIn>& out, int32_t device, const WAVEFORMATEX& format,
                         std::function<void()> onBufferDone);

    virtual ~TWaveIn() = default;

    // MMSYSERR_INVALPARAM for a null buffer or a zero length.
    virtual MMRESULT PrepareHeader(TWaveHdr& hdr) = 0;
    // Appends to the queue: clears WHDR_DONE and bytesRecorded. WAVERR_UNPREPARED unless
    // prepared, WAVERR_STILLPLAYING when already queued, MMSYSERR_NOMEM when kMaxQueued are.
    virtual MMRESULT AddBuffer(TWaveHdr& hdr) = 0;
    // WAVERR_STILLPLAYING while the buffer is queued.
    virtual MMRESULT UnprepareHeader(TWaveHdr& hdr) = 0;
    virtual MMRESULT Start() = 0;
    // Stops taking data. The buffer in hand, if it holds anything, is returned done with what
    // it holds; empty buffers stay queued for the next Start.
    virtual MMRESULT Stop() = 0;
    // Stops and returns every queued buffer done, the one in hand with what it holds, the
    // others empty. The position starts again from 0.
    virtual MMRESULT Reset() = 0;
    // WAVERR_STILLPLAYING while buffers are queued; afterwards every call answers
    // MMSYSERR_INVALHANDLE.
    virtual MMRESULT Close() = 0;
    // Bytes taken from the device since Start (or the last Reset), dropped ones included.
    virtual MMRESULT GetPosition(uint32_t& bytesRecordedSoFar) = 0;
    // Bytes that arrived while no buffer was queued, since Open.
    virtual uint64_t DroppedBytes() = 0;
    // When the first byte taken since Start was captured: steady-clock nanoseconds (the base
    // of std::chrono::steady_clock), from the sound server's timing of the record stream (how
    // long each delivery waited since its capture, the median over the first deliveries, each
    // with a timing report of its own).
    // False until the server has reported its timing since Start.
    virtual bool GetStartTime(int64_t& capturedNs) = 0;
};
