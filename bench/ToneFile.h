// Files for the benchmarks: their folder, and long wave files of a slowly gliding tone written a
// second at a time so that memory stays small whatever the length.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <string>

#include "audio/WaveFormat.h"

namespace bench {

// A fresh folder "<dir>/wavestack-<name>-XXXXXX" for a benchmark's files, in `dir` or else
// $TMPDIR or /tmp; empty (and the reason printed) when it cannot be made.
inline std::string MakeBenchFolder(const char* name, const char* dir) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(dir ? dir : tmp ? tmp : "/tmp") + "/wavestack-" + name +
                         "-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror(name);
        return {};
    }
    return folder;
}

inline void PutLE(std::string& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.push_back(static_cast<char>(v >> (8 * i)));
}

// A wave file of `seconds` of a slowly gliding tone, written a second at a time so that memory
// stays small whatever the length.
inline bool WriteToneFile(const std::string& path, const WAVEFORMATEX& f, int seconds, double pitch) {
    const uint32_t bytes = f.nAvgBytesPerSec * static_cast<uint32_t>(seconds);
    std::string b;
    b += "RIFF";
    PutLE(b, 38 + bytes, 4);
    b += "WAVEfmt ";
    PutLE(b, 18, 4);
    PutLE(b, f.wFormatTag, 2);
    PutLE(b, f.nChannels, 2);
    PutLE(b, f.nSamplesPerSec, 4);
    PutLE(b, f.nAvgBytesPerSec, 4);
    PutLE(b, f.nBlockAlign, 2);
    PutLE(b, f.wBitsPerSample, 2);
    PutLE(b, 0, 2);
    b += "data";
    PutLE(b, bytes, 4);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    double phase = 0;
    for (int s = 0; s < seconds; ++s) {
        b.clear();
        for (uint32_t i = 0; i < f.nSamplesPerSec; ++i) {
            const double t = s + static_cast<double>(i) / f.nSamplesPerSec;
            phase += 2 * M_PI * pitch * (1 + 0.1 * std::sin(t)) / f.nSamplesPerSec;
            const double x = 0.05 * std::sin(phase); // sixteen of them stay well below clipping
            for (int c = 0; c < f.nChannels; ++c) {
                if (f.wBitsPerSample == 16)
                    PutLE(b, static_cast<uint16_t>(static_cast<int16_t>(std::lround(x * 32767))),
                          2);
                else
                    b.push_back(static_cast<char>(128 + std::lround(x * 127)));
            }
        }
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
    }
    out.close();
    return static_cast<bool>(out);
}

} // namespace bench
