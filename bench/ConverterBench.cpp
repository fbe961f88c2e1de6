// Converter throughput. Without arguments: Google Benchmark cases over ten minutes of a tone
// held in memory. With --input=IN.wav --output=OUT.wav: one timed file-to-file conversion to
// 22050 Hz 8-bit mono in 524288-byte source blocks, printing the seconds it took.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/PcmConverter.h"

namespace {

constexpr uint32_t kBlock = 524288;

std::vector<uint8_t> Tone(uint32_t rate, size_t frames) {
    std::vector<uint8_t> b(frames * 4);
    for (size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 441.0 * i / rate));
        for (int c = 0; c < 2; ++c) {
            b[4 * i + 2 * c] = static_cast<uint8_t>(v & 0xFF);
            b[4 * i + 2 * c + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
        }
    }
    return b;
}

// Converts ten minutes of 44100 Hz 16-bit stereo to the destination, one block at a time.
void ConvertTenMinutes(benchmark::State& state, WAVEFORMATEX to) {
    const WAVEFORMATEX from = MakePcmFormat(44100, 16, 2);
    const std::vector<uint8_t> block = Tone(44100, kBlock / 4); // whole cycles per block
    const uint64_t total = 44100ull * 600 * 4;
    std::vector<uint8_t> out(4u << 20);
    for (auto _ : state) {
        TPcmConverter c;
        if (c.Open(from, to) != 0) state.SkipWithError("open failed");
        uint64_t made = 0;
        for (uint64_t fed = 0; fed < total; fed += kBlock) {
            c.Push(block.data(), static_cast<uint32_t>(std::min<uint64_t>(kBlock, total - fed)));
            made += c.Pop(out.data(), static_cast<uint32_t>(out.size()));
        }
        c.Flush();
        made += c.Pop(out.data(), static_cast<uint32_t>(out.size()));
        benchmark::DoNotOptimize(made);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}

void BM_Resample44kStereo16To22kMono8(benchmark::State& s) {
    ConvertTenMinutes(s, MakePcmFormat(22050, 8, 1));
}
void BM_SameRateStereo16ToMono8(benchmark::State& s) {
    ConvertTenMinutes(s, MakePcmFormat(44100, 8, 1));
}
BENCHMARK(BM_Resample44kStereo16To22kMono8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SameRateStereo16ToMono8)->Unit(benchmark::kMillisecond);

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
           (static_cast<uint32_t>(p[3]) << 24);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Plain RIFF walk, enough for the file sox writes: the "fmt " record and where "data" starts.
bool FindWave(FILE* f, WAVEFORMATEX& format, uint32_t& dataBytes) {
    uint8_t head[12];
    if (std::fread(head, 1, 12, f) != 12 || std::memcmp(head, "RIFF", 4) ||
        std::memcmp(head + 8, "WAVE", 4))
        return false;
    bool haveFormat = false;
    for (;;) {
        uint8_t chunk[8];
        if (std::fread(chunk, 1, 8, f) != 8) return false;
        const uint32_t size = Get32(chunk + 4);
        if (!std::memcmp(chunk, "data", 4)) {
            dataBytes = size;
            return haveFormat;
        }
        std::vector<uint8_t> body(size + (size & 1));
        if (std::fread(body.data(), 1, body.size(), f) != body.size()) return false;
        if (!std::memcmp(chunk, "fmt ", 4)) {
            format = DecodeWaveFormat(body.data(), body.size());
            haveFormat = true;
        }
    }
}

int ConvertFile(const std::string& inPath, const std::string& outPath) {
    const auto start = std::chrono::steady_clock::now();
    FILE* in = std::fopen(inPath.c_str(), "rb");
    FILE* out = std::fopen(outPath.c_str(), "wb");
    WAVEFORMATEX from;
    uint32_t left = 0;
    if (!in || !out || !FindWave(in, from, left)) {
        std::fprintf(stderr, "cannot read %s or write %s\n", inPath.c_str(), outPath.c_str());
        return 1;
    }
    const WAVEFORMATEX to = MakePcmFormat(22050, 8, 1);
    TPcmConverter c;
    if (int r = c.Open(from, to)) {
        std::fprintf(stderr, "open: %s\n", TPcmConverter::ErrorText(r).c_str());
        return 1;
    }
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                          'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
    const WaveFormatBytes fmt = EncodeWaveFormat(to);
    std::memcpy(header + 20, fmt.data(), 16);
    std::memcpy(header + 36, "data", 4);
    std::fwrite(header, 1, 44, out);
    std::vector<uint8_t> src(kBlock), dst(4u << 20);
    uint32_t written = 0;
    auto drain = [&] {
        const uint32_t n = c.Pop(dst.data(), static_cast<uint32_t>(dst.size()));
        written += static_cast<uint32_t>(std::fwrite(dst.data(), 1, n, out));
    };
    while (left > 0) {
        const size_t got = std::fread(src.data(), 1, std::min<uint32_t>(kBlock, left), in);
        if (got == 0) break;
        left -= static_cast<uint32_t>(got);
        c.Push(src.data(), static_cast<uint32_t>(got));
        drain();
    }
    c.Flush();
    drain();
    Put32(header + 4, 36 + written + (written & 1));
    Put32(header + 40, written);
    if (written & 1) std::fputc(0, out);
    std::fseek(out, 0, SEEK_SET);
    std::fwrite(header, 1, 44, out);
    std::fclose(in);
    std::fclose(out);
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f\n", s);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string input, output;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--input=", 0) == 0) input = a.substr(8);
        if (a.rfind("--output=", 0) == 0) output = a.substr(9);
    }
    if (!input.empty() && !output.empty()) return ConvertFile(input, output);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
