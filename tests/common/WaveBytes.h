// Wave files built and read byte by byte in tests, independently of the code under test, in the
// layout the system writes: an 18-byte "fmt " chunk, data at offset 46, a pad byte after odd data.
#pragma once

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace wavetest {

using Bytes = std::vector<uint8_t>;

inline void PutLE(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline Bytes Wave(uint32_t rate, uint16_t bits, uint16_t channels, const Bytes& data) {
    const auto align = static_cast<uint16_t>(channels * bits / 8);
    const uint32_t pad = data.size() & 1;
    Bytes b = {'R', 'I', 'F', 'F'};
    PutLE(b, static_cast<uint32_t>(38 + data.size() + pad), 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(b, 18, 4);
    PutLE(b, 1, 2);
    PutLE(b, channels, 2);
    PutLE(b, rate, 4);
    PutLE(b, rate * align, 4);
    PutLE(b, align, 2);
    PutLE(b, bits, 2);
    PutLE(b, 0, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    PutLE(b, static_cast<uint32_t>(data.size()), 4);
    b.insert(b.end(), data.begin(), data.end());
    if (pad) b.push_back(0);
    return b;
}

inline Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The data payload of a file in the layout above; empty when the file does not have it.
inline Bytes DataOf(const std::string& path) {
    const Bytes b = Read(path);
    if (b.size() < 46 || std::string(b.begin() + 38, b.begin() + 42) != "data") return {};
    const uint32_t size = b[42] | b[43] << 8 | b[44] << 16 | static_cast<uint32_t>(b[45]) << 24;
    if (b.size() < 46 + size) return {};
    return Bytes(b.begin() + 46, b.begin() + 46 + size);
}

// The visible names in a folder, sorted: what a test expects a command to have left behind.
inline std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The data of a quiet tone of `hz` in any of the PCM formats (8-bit unsigned about 128,
// 16-bit signed), the same sample on every channel.
inline Bytes Tone(uint32_t rate, uint16_t bits, uint16_t channels, double seconds, double hz) {
    Bytes data;
    const auto frames = static_cast<long>(std::lround(rate * seconds));
    for (long i = 0; i < frames; ++i) {
        const double x = std::sin(2 * M_PI * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 8)
                data.push_back(static_cast<uint8_t>(128 + std::lround(40 * x)));
            else
                PutLE(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(3000 * x))), 2);
        }
    }
    return data;
}

// A wave file of 16-bit mono at 44100 Hz holding a 440 Hz tone.
inline void WriteTone(const std::string& path, double seconds) {
    Write(path, Wave(44100, 16, 1, Tone(44100, 16, 1, seconds, 440)));
}

} // namespace wavetest
