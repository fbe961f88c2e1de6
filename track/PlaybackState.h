// Private to the track component: the chunk ring and the sound buffer of its playback.
// Threads: the cueing thread (user interface, or the worker at the end of a load or a play)
// rebuilds the ring; the worker's feeder refills chunks; the Studio's clock thread moves the
// play cursor. Everything the clock or a stop touches across threads is atomic. The output
// meter's peaks are measured by whoever fills a chunk and taken by the clock as the play
// cursor passes them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/SoundOutput.h"

enum TChunkStatus : uint8_t {
    csUnfilled = 0,
    csFilled = 1,
    csPlaying = 2,
    csPlayed = 3,
    csSilenceOnly = 4, // the stop chunk: nothing of the data reached it
};

struct TChunk {
    std::atomic<int32_t> endPosition{0}; // just after the last byte of its last fill [position]
    uint32_t start = 0;                  // offset inside the sound buffer [bytes]
    uint32_t size = 0;                   // [bytes]; chunk 0: the whole data length
    std::atomic<uint8_t> status{csUnfilled};
};

struct TPlaybackState {
    static constexpr int kRingChunks = 8;
    static constexpr uint32_t kCreateFlags = 0x80E0; // global focus, volume, pan, frequency
    // Parts of a chunk the output meter measures apart: a twentieth of a second each.
    static constexpr int kMeterParts = 10;

    std::array<TChunk, kRingChunks + 1> chunks;
    std::atomic<uint32_t> bufferSize{0}; // chunks 1..8 [bytes]

    // Guards the buffer pointer only: a cue replaces it while the clock may read its cursor
    // or a stop may halt it. Never held across a fill or a message.
    mutable std::mutex bufferMutex;
    std::unique_ptr<TSoundBuffer> buffer;

    std::atomic<int32_t> endPosition{0};    // where the current play stops by itself
    std::atomic<int32_t> returnPosition{0}; // where a play that ended by itself is cued
    std::atomic<int32_t> stopRequest{-1};   // where a stop asked to be cued; -1 none
    std::atomic<uint32_t> playCursor{0};    // buffer offset last reported [bytes]
    std::atomic<int32_t> lastCursor{0};     // play cursor at the previous update; 0 after a cue
    // The peaks (PackPeak) of each chunk's parts as last filled; chunk 0 has none. Part j of a
    // chunk holds its bytes from ceil(j * size / kMeterParts), moved up to a whole sample.
    std::array<std::array<std::atomic<uint32_t>, kMeterParts>, kRingChunks + 1> meterPeaks{};
    // Rounds of "service the chunks" the feeder has finished (lets tests wait for one).
    std::atomic<uint32_t> serviceRounds{0};

    bool HasBuffer() const {
        std::lock_guard lock(bufferMutex);
        return buffer != nullptr;
    }
};
