// Time text, format descriptions and the sample walker shared by every part that touches audio.
// Stateless apart from the walker object; safe on any thread.
#pragma once

#include <cstdint>
#include <string>

#include "audio/WaveFormat.h"

// "MM:SS.FFFFF": 0 bytes -> "00:00.00000"; empty text when the byte rate is 0.
std::string BytesToTimeText(int32_t bytes, const WAVEFORMATEX& format);
// 0 on any failure (non-digits, short text, byte rate 0). Not aligned to samples.
int32_t TimeTextToBytes(const std::string& text, const WAVEFORMATEX& format);
// "00:00.00000" on any failure.
std::string SecondsToTimeText(float seconds);
// 0 for empty text or any failure.
long double TimeTextToSeconds(const std::string& text);
// "16 bit Stereo @44100Hz"; every channel count but 1 is called Stereo.
std::string FormatDescription(const WAVEFORMATEX& format);

// The no-position convention of a track: "-1" <-> -1, everything else through the converters.
std::string PositionToText(int32_t position, const WAVEFORMATEX& format);
int32_t TextToPosition(const std::string& text, const WAVEFORMATEX& format);

// Walks one block of interleaved samples (8-bit unsigned or 16-bit signed) owned by the caller.
// The six operations are bound once, when the walker is made, so a pass over a block makes one
// indirect call per sample and never tests the sample width. Nothing is checked: the caller
// keeps cursors inside the block.
class TSamples {
public:
    using Cursor = uint8_t*;

    TSamples(void* block, int32_t sizeBytes, bool is16Bit);

    uint8_t* Start() const { return start_; }
    uint8_t* End() const { return end_; }
    int32_t Count() const { return count_; }
    bool Is16Bit() const { return is16_; }

    Cursor readCursor;  // initially one sample into the block
    Cursor writeCursor; // initially the block start

    void PlaceCursor(Cursor& p, int32_t byteOffset) const { p = start_ + byteOffset; }
    int16_t ReadNext(Cursor& p) const { return readNext_(p); }
    int16_t ReadNextWrap(Cursor& p) const { return readNextWrap_(*this, p); }
    int16_t ReadStrideWrap(Cursor& p, int32_t n) const { return readStrideWrap_(*this, p, n); }
    int16_t ReadBack(Cursor p, int32_t n) const { return readBack_(*this, p, n); }
    // Saturating store: 16-bit to -32767..32767, 8-bit to bytes 0..255. Moves no cursor.
    void Store(Cursor p, int64_t value) const { store_(p, value); }
    void FillSilence() const;

private:
    uint8_t* start_;
    uint8_t* end_;
    int32_t count_;
    bool is16_;
    int16_t (*readNext_)(Cursor&);
    int16_t (*readNextWrap_)(const TSamples&, Cursor&);
    int16_t (*readStrideWrap_)(const TSamples&, Cursor&, int32_t);
    int16_t (*readBack_)(const TSamples&, Cursor, int32_t);
    void (*store_)(Cursor, int64_t);
};

// Saturating stores as free functions, for kernels that keep their own loops.
inline void StoreSample16(uint8_t* p, int64_t v) {
    if (v > 32767) v = 32767;
    if (v < -32767) v = -32767;
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
}
inline void StoreSample8(uint8_t* p, int64_t v) {
    if (v > 127) v = 127;
    if (v < -128) v = -128;
    p[0] = static_cast<uint8_t>(v + 128);
}
inline int16_t LoadSample16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}
inline int16_t LoadSample8(const uint8_t* p) { return static_cast<int16_t>(p[0] - 128); }
