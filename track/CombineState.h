// Private to the track component: the state of a combine while it runs on the target track's
// worker, and the arithmetic of the mix (gains, the per-sample sum), kept apart from the
// streaming so it can be checked against a plain reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class TVelTrack;

// One source track for the length of one combine. Positions are target bytes counted from the
// combine's start, always whole target frames.
struct TCombineSource {
    TVelTrack* track = nullptr;
    float leftGain = 1.0f;
    float rightGain = 1.0f;
    int64_t start = 0;        // where its first byte lands; negative: it began before the start
    int64_t length = 0;       // the bytes its conversion yields [whole target frames]
    int64_t consumed = 0;     // bytes of it already placed (or skipped)
    uint8_t* block = nullptr; // the conversion's destination block: its share of the chunk
    bool prepared = false;    // conversion open, working buffer held, state CombineSource
};

struct TCombineState {
    std::vector<TCombineSource> sources; // in the song's track order
    int32_t totalBytes = 0;              // the combined length T [whole target frames]
    // Moves the target's work bar to a data position of the target (worker thread).
    std::function<void(int32_t)> workBar;
};

struct TCombineGains {
    float left;
    float right;
};

// Gains of a source with pan -100..100 (beyond is held at the ends) and a volume gain: the
// fourth-power pan law in 32-bit floats; a mono target has no pan.
TCombineGains CombineGains(int32_t pan, float volumeGain, bool monoTarget);

// One source's share of a chunk: `block` holds samples in the target's width, left gain for
// even sample indices (0-based), right gain for odd ones.
struct TMixInput {
    const uint8_t* block;
    float leftGain;
    float rightGain;
};

// target[i] = saturate(sum over inputs in order of Round(x_i * g)), the product exact and
// Round to nearest with halves to even. `bytes` of the target are written; a trailing byte of
// a 16-bit target that holds no whole sample is left alone. Any thread; no allocation.
void MixChunk(const TMixInput* inputs, std::size_t count, uint8_t* target, int32_t bytes,
              bool is16Bit);
