// Small arithmetic shared by the effect kernels: sample widths, full scale, rounding that
// compiles to one instruction, and per-width sample access for loops templated on the width.
// Header only; no state.
#pragma once

#include <cmath>
#include <cstdint>

#include "audio/VelTrackUtils.h"
#include "audio/WaveFormat.h"

// Full scale of a sample width: 32767 for 16-bit tracks, 127 for every other width.
inline int32_t FullScale(const WAVEFORMATEX& format) {
    return Is16Bit(format) ? 32767 : 127;
}
// Bytes per sample of the flat interleaved sequence: 2 for 16-bit tracks, 1 otherwise.
inline int32_t SampleBytes(const WAVEFORMATEX& format) {
    return Is16Bit(format) ? 2 : 1;
}

// The 32-bit float nearest to percent / 100, the divide done in extended precision.
inline float PercentGain(int32_t percent) {
    return static_cast<float>(static_cast<long double>(percent) / 100.0L);
}

// Nearest, halves to even, for values well inside the int64 range: exactly RoundHalfEven.
// On x87 a single fistp does it under the control word's round-to-nearest, which the process
// never changes; the library's llrintl would be a call per sample.
inline int64_t RoundL(long double x) {
#if defined(__x86_64__) || defined(__i386__)
    int64_t r;
    __asm__("fistpll %0" : "=m"(r) : "t"(x) : "st");
    return r;
#else
    return std::llrintl(x);
#endif
}

// Per-width access for kernels whose loops are specialised by template on the width, so a
// pass over a block makes no indirect call and never tests the width per sample.
template <bool Wide> struct TSampleIo;

template <> struct TSampleIo<true> {
    static constexpr int32_t kBytes = 2;
    static int32_t Load(const uint8_t* p) { return LoadSample16(p); }
    static void Store(uint8_t* p, int64_t v) { StoreSample16(p, v); }
    // The value a saturating store leaves, as it would read back.
    static int32_t Saturate(int64_t v) {
        return static_cast<int32_t>(v > 32767 ? 32767 : (v < -32767 ? -32767 : v));
    }
};

template <> struct TSampleIo<false> {
    static constexpr int32_t kBytes = 1;
    static int32_t Load(const uint8_t* p) { return LoadSample8(p); }
    static void Store(uint8_t* p, int64_t v) { StoreSample8(p, v); }
    static int32_t Saturate(int64_t v) {
        return static_cast<int32_t>(v > 127 ? 127 : (v < -128 ? -128 : v));
    }
};
