// The open input device and its buffers while a recording is set up or running, private to the
// track component. Threads: the track's worker owns everything here, except `completed`, which
// the input's notification (a sound-server thread) increments, and `outputStartNs`, written by
// the thread that starts the take before the worker runs it.
//
// Also the process-wide placement of takes (the Sound options' latency settings), which its
// owner sets from any thread and each take reads as it is prepared.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/WaveIn.h"

// The input hears each moment of the other tracks later than the listener did: the time from
// a sample reaching the output to the input's capture of it. With compensation on, a take is
// placed that much earlier, measured for each take from the sound server's timing of both
// streams, plus the manual offset; with it off, by the manual offset alone. The offset is kept
// within +-kMaxLatencyCompensationMs, the placement between 0 and kMaxLatencyCompensationMs.
inline constexpr int32_t kMaxLatencyCompensationMs = 500;
struct TRecordingLatency {
    bool compensate = false; // off until the owner turns it on: a take lands as recorded
    int32_t offsetMs = 0;
};
void SetRecordingLatency(const TRecordingLatency& latency);
TRecordingLatency RecordingLatency();

struct TRecordingState {
    std::unique_ptr<TWaveIn> input;
    // One block for both buffers, the second directly behind the first.
    std::unique_ptr<uint8_t[]> memory;
    int32_t memorySize = 0; // [bytes]
    // One or two headers, made once: the input keeps pointers to them while they are queued.
    std::vector<TWaveHdr> buffers;
    std::size_t current = 0; // the buffer the input fills next
    // Buffers handed back by the input (notifications) and buffers taken by the worker. The
    // input returns them in queue order, which is the ring order of `buffers`.
    std::atomic<uint64_t> completed{0};
    uint64_t processed = 0;
    bool deviceStopped = false;
    bool outputSwitched = false;     // the output runs at the track's rate until closed
    int32_t recordStart = 0;         // R, relative to the data [bytes]
    int32_t written = 0;             // relative to the data; grows by every write [bytes]
    int32_t startPlay = 0;           // the play position at the start [song bytes]
    uint32_t lastDevicePosition = 0; // bytes taken by the input at the last look
    uint64_t droppedBytes = 0;       // what the input dropped while the take needed it
    // The placement. The input's first `skip` bytes were heard before the record start; the
    // take needs that many input bytes more at its end. The buffers leave room for `slack`.
    TRecordingLatency latency;
    int32_t slack = 0;          // [bytes] the most `skip` may be
    bool placed = false;        // `skip` decided (at the latest with the first buffer)
    int32_t skip = 0;           // [bytes, whole frames]
    int32_t skipped = 0;        // input bytes passed over so far, at most `skip`
    double measuredMs = -1;     // the measured delay; negative when the server gave none
    int64_t outputStartNs = -1; // when the listener hears the record start; -1 unknown
};
