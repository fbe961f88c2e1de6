// Writes a wave file block by block with TWaveIO, copies it with CopyWaveData and copies the
// same file with cp, printing throughputs and the ratio. Usage: wavefile_bench DIR [MEGABYTES]
// (default 200). Every file made in DIR is deleted again. MB here is 10^6 bytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio/WaveFile.h"

namespace {

struct BenchHost : TWaveIOHost {
    void AddMessage(uint8_t kind, const std::string& text) override {
        if (kind != 5) std::fprintf(stderr, "message %u: %s\n", kind, text.c_str());
    }
    bool Cancelled() const override { return false; }
    bool SampleIs16Bit() const override { return true; }
};

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [MEGABYTES]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const int64_t megabytes = argc > 2 ? std::atoll(argv[2]) : 200;
    const int32_t dataBytes = static_cast<int32_t>(megabytes * 1000 * 1000);
    const std::string source = dir + "/bench-source.wav";
    const std::string copy = dir + "/bench-copy.wav";
    const std::string cpCopy = dir + "/bench-cp.wav";
    const int kRuns = 3;

    BenchHost host;
    TWaveIO io(host, nullptr);
    WAVEFORMATEX format = MakePcmFormat(44100, 16, 2);

    // Write, block by block, as a recording or an edit does; FinishWaveFile syncs the file.
    std::vector<uint8_t> block(kWaveBlockBytes);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 31 + 7);
    auto t0 = std::chrono::steady_clock::now();
    WaveFile out;
    out.format = format;
    bool ok = io.CreateWaveFile(source, out);
    for (int32_t done = 0; ok && done < dataBytes; done += kWaveBlockBytes) {
        ok = io.WriteWaveData(out, block.data(), std::min(kWaveBlockBytes, dataBytes - done));
    }
    ok = ok && io.FinishWaveFile(out);
    const double writeSeconds = Seconds(t0);
    if (!ok) return 1;

    std::vector<double> copySeconds, syncSeconds, cpSeconds, cpSyncSeconds;
    for (int run = 0; run < kRuns; ++run) {
        t0 = std::chrono::steady_clock::now();
        WaveFile src, dst;
        dst.format = format;
        ok = io.OpenWaveFile(source, src) && io.CreateWaveFile(copy, dst) &&
             io.CopyWaveData(dst, src, src.dataLength);
        const auto beforeSync = std::chrono::steady_clock::now();
        ok = ok && io.FinishWaveFile(dst) && io.FinishWaveFile(src);
        copySeconds.push_back(Seconds(t0));
        syncSeconds.push_back(Seconds(beforeSync));
        if (!ok) return 1;
        ::unlink(copy.c_str());

        t0 = std::chrono::steady_clock::now();
        if (std::system(("cp " + Quote(source) + " " + Quote(cpCopy)).c_str()) != 0) return 1;
        cpSeconds.push_back(Seconds(t0));
        ::unlink(cpCopy.c_str());

        // cp leaves the bytes in the page cache; CopyWaveData syncs its result. Compare both.
        t0 = std::chrono::steady_clock::now();
        if (std::system(("cp " + Quote(source) + " " + Quote(cpCopy) + " && sync " + Quote(cpCopy))
                            .c_str()) != 0) {
            return 1;
        }
        cpSyncSeconds.push_back(Seconds(t0));
        ::unlink(cpCopy.c_str());
    }
    ::unlink(source.c_str());

    const double mb = dataBytes / 1e6;
    const double copyS = Median(copySeconds), cpS = Median(cpSeconds),
                 cpSyncS = Median(cpSyncSeconds);
    std::printf("wave data: %.0f MB in blocks of %d bytes, median of %d runs\n", mb,
                kWaveBlockBytes, kRuns);
    std::printf("TWaveIO write + fsync   : %8.1f MB/s (%.3f s)\n", mb / writeSeconds, writeSeconds);
    std::printf("CopyWaveData + fsync    : %8.1f MB/s (%.3f s)\n", mb / copyS, copyS);
    std::printf("  of which FinishWaveFile (fsync): %.3f s\n", Median(syncSeconds));
    std::printf("cp (copy_file_range)    : %8.1f MB/s (%.3f s)\n", mb / cpS, cpS);
    std::printf("cp + sync of the copy   : %8.1f MB/s (%.3f s)\n", mb / cpSyncS, cpSyncS);
    std::printf("ratio CopyWaveData / cp+sync throughput: %.2f\n", cpSyncS / copyS);
    std::printf("ratio CopyWaveData / cp      throughput: %.2f\n", cpS / copyS);
    return 0;
}
