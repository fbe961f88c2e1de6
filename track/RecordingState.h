// Private to the track component: the open input device and its buffers while a recording is
// set up or running. Threads: the track's worker owns everything here, except `completed`,
// which the input's notification (a sound-server thread) increments.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/WaveIn.h"

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
};
