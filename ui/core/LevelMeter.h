// Peak level meters, apart from their widgets: what the audio side measures and how a meter
// shows it. The audio side (a track's feeder as it fills its ring, a take's worker as the input
// fills its buffers) measures blocks of samples it already has in hand; what it posts goes
// through relaxed atomics only, with no lock and no allocation. The user-interface thread takes
// what was posted on its 100 ms clock and moves the meter's bar, its peak hold and its clip
// mark by the rules of TMeterBallistics. No Qt.
#pragma once

#include <atomic>
#include <cstdint>

// The loudest sample of a stretch: its magnitude on the 16-bit scale (0..32768; 8-bit samples
// count 256 times their distance from 128), and whether a sample reached full scale (32767 or
// -32768; 255 or 0 for 8-bit samples).
struct TPeak {
    uint32_t magnitude = 0;
    bool clipped = false;

    bool operator==(const TPeak&) const = default;
};

// The louder of the two, clipped when either is.
TPeak Louder(TPeak a, TPeak b);
// The peak scaled by a gain (0..1 or more), as an output stage would scale its samples: clipped
// stays only when the scaled magnitude still reaches full scale.
TPeak ScaledPeak(TPeak peak, float gain);

// One word for an atomic: the magnitude (at most 32768) in bits 0..15, clipped in bit 16.
uint32_t PackPeak(TPeak peak);
TPeak UnpackPeak(uint32_t packed);

// The peak of every whole sample of the block (a trailing half sample is left out).
TPeak BlockPeak(const uint8_t* data, int32_t bytes, bool is16Bit);
// The peak of the take's bytes [from, to) of a recording memory read as a ring: the take's byte
// t lies at ring[t % ringBytes], and a sample may straddle the ring's end. `from` is on a
// sample of the take.
TPeak RingPeak(const uint8_t* ring, int32_t ringBytes, int64_t from, int64_t to, bool is16Bit);

// Whether the meters measure at all (on unless turned off, as a benchmark does to weigh them).
// Any thread.
bool LevelMetering();
void SetLevelMetering(bool on);

// What the audio side posts and the user-interface thread takes: the loudest peak posted since
// the last take. Post and Take are lock-free and may be called from any threads.
class TLevelMeter {
  public:
    void Post(TPeak peak);
    // The loudest peak since the last take, and an empty one until the next post.
    TPeak Take();

  private:
    std::atomic<uint32_t> packed_{0};
};

// How a meter shows the peaks it takes, in dB below full scale (dBFS) from kFloorDb to 0:
// - the bar jumps up to a louder peak at once and falls by kFallDbPerSecond otherwise;
// - the peak hold marks the loudest peak for kHoldMs after it came, then falls at the bar's
//   rate, never below the bar;
// - the clip mark lights when a peak was clipped and stays lit until cleared.
// User-interface thread.
class TMeterBallistics {
  public:
    static constexpr float kFloorDb = -60.0f;
    static constexpr float kFallDbPerSecond = 20.0f;
    static constexpr int kHoldMs = 2000;

    // A magnitude's level, 20 log10(magnitude / 32768), no lower than the floor.
    static float PeakDb(uint32_t magnitude);

    // One clock tick `elapsedMs` after the last, with the peak taken then.
    void Tick(TPeak peak, int elapsedMs);
    void ClearClip() { clipped_ = false; }
    // Everything back to rest: bar and hold at the floor, the clip mark off.
    void Clear();

    float LevelDb() const { return level_; }
    float HoldDb() const { return hold_; }
    bool Clipped() const { return clipped_; }
    // Whether anything is shown above the floor or lit.
    bool AtRest() const { return level_ <= kFloorDb && hold_ <= kFloorDb && !clipped_; }

  private:
    float level_ = kFloorDb;
    float hold_ = kFloorDb;
    int holdAgeMs_ = 0;
    bool clipped_ = false;
};
