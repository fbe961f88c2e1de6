#include "audio/WaveFormat.h"

namespace {

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    Put16(p, static_cast<uint16_t>(v));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}

} // namespace

WaveFormatBytes EncodeWaveFormat(const WAVEFORMATEX& f) {
    WaveFormatBytes b{};
    Put16(&b[0], f.wFormatTag);
    Put16(&b[2], f.nChannels);
    Put32(&b[4], f.nSamplesPerSec);
    Put32(&b[8], f.nAvgBytesPerSec);
    Put16(&b[12], f.nBlockAlign);
    Put16(&b[14], f.wBitsPerSample);
    Put16(&b[16], f.cbSize);
    return b;
}

WAVEFORMATEX DecodeWaveFormat(const uint8_t* bytes, std::size_t count, WAVEFORMATEX base) {
    WaveFormatBytes b = EncodeWaveFormat(base);
    for (std::size_t i = 0; i < count && i < kWaveFormatBytes; ++i) b[i] = bytes[i];
    auto get16 = [&](std::size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); };
    auto get32 = [&](std::size_t at) {
        return static_cast<uint32_t>(get16(at)) | (static_cast<uint32_t>(get16(at + 2)) << 16);
    };
    WAVEFORMATEX f;
    f.wFormatTag = get16(0);
    f.nChannels = get16(2);
    f.nSamplesPerSec = get32(4);
    f.nAvgBytesPerSec = get32(8);
    f.nBlockAlign = get16(12);
    f.wBitsPerSample = get16(14);
    f.cbSize = get16(16);
    return f;
}

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return EncodeWaveFormat(a) == EncodeWaveFormat(b);
}

WAVEFORMATEX MakePcmFormat(uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = samplesPerSec;
    f.wBitsPerSample = bitsPerSample;
    f.nBlockAlign = static_cast<uint16_t>(channels * (bitsPerSample / 8));
    f.nAvgBytesPerSec = samplesPerSec * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}
