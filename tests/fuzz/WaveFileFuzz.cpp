// Feeds arbitrary bytes to the wave-file reader, as a memory file and as a disk file, reads all
// data in small blocks and copies it into a new memory file, checking what a caller relies on:
// the data lies inside the input, reads return exactly its bytes, and a copy reads back equal.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "audio/WaveFile.h"
#include "ui/core/VelCriticalSection.h"

namespace {

struct FuzzHost : TWaveIOHost {
    void AddMessage(uint8_t, const std::string&) override {}
    bool Cancelled() const override { return false; }
    bool SampleIs16Bit() const override { return true; }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

void Exercise(TWaveIO& io, WaveFile& source, const std::string& name, const uint8_t* input,
              std::size_t size) {
    if (!io.OpenWaveFile(name, source)) {
        Check(!source.handle);
        return;
    }
    const int64_t start = source.dataStart;
    const int32_t length = source.dataLength;
    Check(start >= 44 && length >= 0 && start + length <= static_cast<int64_t>(size));

    // Small blocks, so that even tiny inputs take several rounds.
    int64_t total = 0;
    for (;;) {
        int32_t got = -1;
        Check(io.ReadWaveData(source, 61, &got));
        Check(got >= 0 && got <= 61);
        if (got == 0) break;
        Check(std::memcmp(io.Buffer().data, input + start + total, got) == 0);
        total += got;
    }
    Check(total == length);

    Check(io.SeekWaveData(source, 0) == start);
    WaveFile copy;
    copy.makeMemoryFile = true;
    copy.format = source.format;
    Check(io.CreateWaveFile("", copy));
    Check(io.CopyWaveData(copy, source, length));
    Check(io.FinishWaveFile(copy));
    Check(io.FinishWaveFile(source));

    WaveFile back;
    back.memory = copy.memory;
    Check(io.OpenWaveFile("", back));
    Check(back.dataStart == 46 && back.dataLength == length);
    Check(SameFormat(back.format, source.format));
    Check(io.ReadWaveData(back, length));
    Check(length == 0 || std::memcmp(io.Buffer().data, input + start, length) == 0);
    Check(io.FinishWaveFile(back));
}

// One scratch file per process, rewritten for every input. It is unlinked at once (libFuzzer
// may end without running exit handlers) and reached through its descriptor; on tmpfs when
// there is one, since truncating a file on a journalled disk costs more than the rest of a run.
int ScratchFd() {
    static const int fd = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string base = dir && *dir ? dir : "/tmp";
        if (::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
        std::string pattern = base + "/wavefuzzXXXXXX";
        const int made = ::mkstemp(pattern.data());
        if (made < 0) std::abort();
        ::unlink(pattern.c_str());
        return made;
    }();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static FuzzHost host;
    static TVELCriticalSection lock;
    static TWaveIO io(host, &lock);
    WaveFile memory;
    memory.memory = TMemoryBlock::FromBytes(data, size);
    Exercise(io, memory, "", data, size);

    const int fd = ScratchFd();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    WaveFile disk;
    Exercise(io, disk, "/proc/self/fd/" + std::to_string(fd), data, size);
    return 0;
}
