// The 18-byte PCM wave-format record every track, file and conversion agrees on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Field order and widths are those of the RIFF "fmt " payload. The struct is never
// copied to or from bytes with memcpy (its in-memory size is 20 with padding): use
// EncodeWaveFormat / DecodeWaveFormat, which go field by field, little-endian.
struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

inline constexpr std::size_t kWaveFormatBytes = 18;
inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

using WaveFormatBytes = std::array<uint8_t, kWaveFormatBytes>;

WaveFormatBytes EncodeWaveFormat(const WAVEFORMATEX& format);

// Decodes the first min(count, 18) bytes over `base`; fields the bytes do not reach keep
// the value they have in `base` (a 16-byte "fmt " chunk leaves cbSize untouched).
WAVEFORMATEX DecodeWaveFormat(const uint8_t* bytes, std::size_t count, WAVEFORMATEX base = {});

// Formats are equal only when all 18 bytes are equal.
bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b);

// Exactly 16 bits per sample is 16-bit; every other value is handled as 8-bit.
inline bool Is16Bit(const WAVEFORMATEX& format) { return format.wBitsPerSample == 16; }

// A consistent PCM record: block alignment and byte rate derived from the three inputs.
WAVEFORMATEX MakePcmFormat(uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels);
