#include "audio/WaveFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ui/core/VelCriticalSection.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Message = std::pair<int, std::string>;

// Builds RIFF files byte by byte, independently of the code under test.
struct Riff {
    Bytes b;
    Riff& Tag(const char* s) {
        b.insert(b.end(), s, s + 4);
        return *this;
    }
    Riff& U16(uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Riff& U32(uint32_t v) {
        return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
    }
    Riff& Fill(std::size_t n, uint8_t v) {
        b.insert(b.end(), n, v);
        return *this;
    }
    // Tag 1, stereo, 44100 Hz, 176400 bytes/s, align 4, 16 bits: the 16 bytes every PCM has.
    Riff& Pcm16(uint16_t tag = 1) { return U16(tag).U16(2).U32(44100).U32(176400).U16(4).U16(16); }
    Riff& Header(uint32_t riffSize) { return Tag("RIFF").U32(riffSize).Tag("WAVE"); }
};

// A plain wave file with a 16-byte fmt chunk and `dataBytes` bytes counting up from 0.
Bytes SimpleWave(uint32_t dataBytes) {
    Riff r;
    r.Header(4 + 24 + 8 + dataBytes + (dataBytes & 1)).Tag("fmt ").U32(16).Pcm16();
    r.Tag("data").U32(dataBytes);
    for (uint32_t i = 0; i < dataBytes; ++i)
        r.b.push_back(static_cast<uint8_t>(i * 7));
    if (dataBytes & 1) r.b.push_back(0);
    return r.b;
}

struct Host : TWaveIOHost {
    std::vector<Message> messages;
    bool cancel = false;
    bool is16 = true;
    int32_t wholeLength = 0;
    int64_t dataRead = 0;
    std::vector<int32_t> workBar;
    std::function<void()> onCallback; // runs inside every callback
    std::vector<std::pair<uint8_t*, int32_t>> unlocked;

    void Hook() const {
        if (onCallback) onCallback();
    }
    void AddMessage(uint8_t kind, const std::string& text) override {
        Hook();
        messages.emplace_back(kind, text);
    }
    bool Cancelled() const override {
        Hook();
        return cancel;
    }
    bool SampleIs16Bit() const override { return is16; }
    int32_t WholeDataLength() const override { return wholeLength; }
    void DataRead(int32_t bytes) override {
        Hook();
        dataRead += bytes;
    }
    void WorkBarAt(int32_t position) override {
        Hook();
        workBar.push_back(position);
    }
    void WorkBarDone() override { Hook(); }
    void UnlockSoundBufferPiece(uint8_t* data, int32_t size) override {
        unlocked.emplace_back(data, size);
    }
    std::vector<Message> Errors() const {
        std::vector<Message> out;
        for (const auto& m : messages)
            if (m.first == 1 || m.first == 2) out.push_back(m);
        return out;
    }
    int Dots() const {
        int n = 0;
        for (const auto& m : messages)
            n += m == Message{5, "."};
        return n;
    }
};

// An in-memory file the test can watch and break.
struct TestProc : TMmioIOProc {
    Bytes bytes;
    int64_t writeBudget = -1; // bytes accepted before the device is "full"
    int64_t reportedSize = -1;
    bool failFlush = false;
    std::vector<int64_t> writes, reads;
    std::function<void(int64_t count, bool write)> onIo;

    int64_t ReadAt(int64_t pos, void* dst, int64_t count) override {
        if (onIo) onIo(count, false);
        reads.push_back(count);
        const int64_t size = static_cast<int64_t>(bytes.size());
        const int64_t n = pos >= size ? 0 : std::min(count, size - pos);
        if (n > 0) std::memcpy(dst, bytes.data() + pos, static_cast<std::size_t>(n));
        return n;
    }
    int64_t WriteAt(int64_t pos, const void* src, int64_t count) override {
        if (onIo) onIo(count, true);
        writes.push_back(count);
        int64_t n = count;
        if (writeBudget >= 0) n = std::min(count, writeBudget);
        if (writeBudget >= 0) writeBudget -= n;
        if (n > 0) {
            if (bytes.size() < static_cast<std::size_t>(pos + n)) bytes.resize(pos + n);
            std::memcpy(bytes.data() + pos, src, static_cast<std::size_t>(n));
        }
        if (n < count) errno = ENOSPC;
        return n < count && n == 0 ? -1 : n;
    }
    int64_t Size() override {
        return reportedSize >= 0 ? reportedSize : static_cast<int64_t>(bytes.size());
    }
    bool Flush() override {
        if (failFlush) errno = EIO;
        return !failFlush;
    }
};

WaveFile MemoryWave(const Bytes& bytes) {
    WaveFile f;
    f.memory = TMemoryBlock::FromBytes(bytes.data(), bytes.size());
    return f;
}

WAVEFORMATEX Stereo16() {
    WAVEFORMATEX f;
    f.wFormatTag = 1;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.nAvgBytesPerSec = 176400;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    f.cbSize = 0;
    return f;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/wavetestXXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : "";
}

TEST(WaveFile, WrittenLayoutIsByteExact) {
    Host host;
    TWaveIO io(host, nullptr);
    // The expected header, with the whole 18-byte format record (cbSize 0).
    auto expected = [](uint32_t dataBytes, const Bytes& data) {
        Riff r;
        r.Header(38 + dataBytes + (dataBytes & 1)).Tag("fmt ").U32(18).Pcm16().U16(0);
        r.Tag("data").U32(dataBytes);
        r.b.insert(r.b.end(), data.begin(), data.end());
        if (dataBytes & 1) r.b.push_back(0);
        return r.b;
    };

    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/three.wav";
    WaveFile disk;
    disk.format = Stereo16();
    ASSERT_TRUE(io.CreateWaveFile(path, disk));
    EXPECT_EQ(disk.dataStart, 46);
    const Bytes three = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(io.WriteWaveData(disk, three.data(), 3));
    ASSERT_TRUE(io.FinishWaveFile(disk));
    EXPECT_FALSE(disk.handle);
    EXPECT_EQ(disk.dataLength, 3);
    const Bytes onDisk = ReadAll(path);
    EXPECT_EQ(onDisk.size(), 50u); // RIFF size 42, data size 3, one pad byte
    EXPECT_EQ(onDisk, expected(3, three));
    EXPECT_TRUE(io.FinishWaveFile(disk)); // without a handle: success

    // The same bytes in a memory file, which the caller then takes; an even size has no pad.
    WaveFile mem;
    mem.format = Stereo16();
    mem.makeMemoryFile = true;
    ASSERT_TRUE(io.CreateWaveFile("", mem));
    const Bytes four = {1, 2, 3, 4};
    ASSERT_TRUE(io.WriteWaveData(mem, four.data(), 4));
    ASSERT_TRUE(io.FinishWaveFile(mem));
    ASSERT_TRUE(mem.memory);
    EXPECT_EQ(mem.memory->Bytes(), expected(4, four));

    WaveFile empty;
    empty.format = Stereo16();
    ASSERT_TRUE(io.CreateWaveFile(path, empty));
    ASSERT_TRUE(io.FinishWaveFile(empty));
    EXPECT_EQ(ReadAll(path), expected(0, {}));
    EXPECT_TRUE(host.Errors().empty());

    ::unlink(path.c_str());
    ::rmdir(dir.c_str());
}

TEST(WaveFile, CopyMovesWholeBlocksThenTheRest) {
    for (const int32_t n : {1200000, 1048576, 1000}) {
        SCOPED_TRACE(n);
        Host host;
        TWaveIO io(host, nullptr);
        WaveFile src = MemoryWave(SimpleWave(static_cast<uint32_t>(n)));
        ASSERT_TRUE(io.OpenWaveFile("", src));
        auto proc = std::make_shared<TestProc>();
        WaveFile dst;
        dst.ioProc = proc;
        dst.format = src.format;
        ASSERT_TRUE(io.CreateWaveFile("", dst));
        proc->writes.clear();

        ASSERT_TRUE(io.CopyWaveData(dst, src, n));
        const std::vector<int64_t> blocks = n == 1200000
                                                ? std::vector<int64_t>{524288, 524288, 151424}
                                            : n == 1048576 ? std::vector<int64_t>{524288, 524288}
                                                           : std::vector<int64_t>{1000};
        EXPECT_EQ(proc->writes, blocks);
        EXPECT_EQ(host.Dots(), n == 1048576 ? 0 : 1);
        EXPECT_EQ(host.dataRead, n);
        ASSERT_TRUE(io.FinishWaveFile(dst));
        const Bytes source = SimpleWave(static_cast<uint32_t>(n));
        EXPECT_TRUE(
            std::equal(source.begin() + 44, source.begin() + 44 + n, proc->bytes.begin() + 46));
        EXPECT_TRUE(host.Errors().empty());
    }
}

TEST(WaveFile, AcceptsVariedButValidFiles) {
    Host host;
    TWaveIO io(host, nullptr);

    // 16-byte fmt: cbSize keeps what the record held.
    WaveFile sixteen = MemoryWave(SimpleWave(10));
    sixteen.format.cbSize = 7;
    ASSERT_TRUE(io.OpenWaveFile("", sixteen));
    EXPECT_EQ(sixteen.format.cbSize, 7);
    EXPECT_EQ(sixteen.format.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(sixteen.dataStart, 44);
    EXPECT_EQ(sixteen.dataLength, 10);
    WaveFile fresh = MemoryWave(SimpleWave(10));
    ASSERT_TRUE(io.OpenWaveFile("", fresh));
    EXPECT_EQ(fresh.format.cbSize, 0);

    // A LIST chunk between fmt and data: data starts at 12 + 24 + 18 + 8 = 62.
    Riff list;
    list.Header(4 + 24 + 18 + 8 + 4).Tag("fmt ").U32(16).Pcm16();
    list.Tag("LIST").U32(10).Tag("INFO").Fill(6, 'x').Tag("data").U32(4).Fill(4, 9);
    WaveFile withList = MemoryWave(list.b);
    ASSERT_TRUE(io.OpenWaveFile("", withList));
    EXPECT_EQ(withList.dataStart, 62);
    EXPECT_EQ(withList.handle->Tell(), 62);
    EXPECT_EQ(withList.dataLength, 4);

    // A 22-byte fmt (extension block): the first 18 bytes are used, the rest skipped.
    Riff longFmt;
    longFmt.Header(0).Tag("fmt ").U32(22).Pcm16().U16(3).Fill(4, 0xEE).Tag("data").U32(2).Fill(2,
                                                                                               5);
    WaveFile wide = MemoryWave(longFmt.b);
    ASSERT_TRUE(io.OpenWaveFile("", wide));
    EXPECT_EQ(wide.format.cbSize, 3);
    EXPECT_EQ(wide.dataStart, 12 + 30 + 8);

    // Odd-sized chunks with and without their pad byte.
    for (const bool padded : {true, false}) {
        Riff odd;
        odd.Header(0).Tag("fmt ").U32(16).Pcm16().Tag("junk").U32(3).Fill(3, 0x01);
        if (padded) odd.Fill(1, 0);
        odd.Tag("data").U32(2).Fill(2, 6);
        WaveFile f = MemoryWave(odd.b);
        ASSERT_TRUE(io.OpenWaveFile("", f)) << padded;
        EXPECT_EQ(f.dataStart, padded ? 56 : 55);
    }

    // A data size larger than the file (a crashed take, or 0xFFFFFFFF from a streaming writer)
    // and a RIFF size of 0 open with the bytes actually present.
    for (const uint32_t claimed : {1000u, 0xFFFFFFFFu}) {
        Riff cut;
        cut.Header(0).Tag("fmt ").U32(16).Pcm16().Tag("data").U32(claimed).Fill(5, 3);
        WaveFile f = MemoryWave(cut.b);
        ASSERT_TRUE(io.OpenWaveFile("", f));
        EXPECT_EQ(f.dataLength, 5);
    }

    // A chunk after the data is not read as audio.
    Riff trailer;
    trailer.Header(0).Tag("fmt ").U32(16).Pcm16().Tag("data").U32(4).Fill(4, 0x11);
    trailer.Tag("LIST").U32(4).Tag("INFO");
    WaveFile t = MemoryWave(trailer.b);
    ASSERT_TRUE(io.OpenWaveFile("", t));
    int32_t got = -1;
    ASSERT_TRUE(io.ReadWaveData(t, 100, &got));
    EXPECT_EQ(got, 4);
    EXPECT_EQ(io.Buffer().data[3], 0x11);
    ASSERT_TRUE(io.ReadWaveData(t, 100, &got)); // at the end: a short read is a success
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(host.Errors().empty());
}

TEST(WaveFile, RejectsBadFilesWithTheirMessage) {
    const std::string noData = "MMIODescend - no wave data chunk. 265 (chunk not found)";
    const std::string badFmt = "MMIORead - bad wave format chunk.";
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {{}, "MMIODescend - bad Riff Chunk."},
        {{'R', 'I', 'F', 'F', 0, 0}, "MMIODescend - bad Riff Chunk."},
        {Riff().Tag("RIFF").U32(4).b, "MMIODescend - bad Riff Chunk."},
        {Riff().Tag("RIFX").U32(4).Tag("WAVE").b, "MMIODescend - No wave format chunk."},
        {Riff().Tag("RIFF").U32(4).Tag("AVI ").b, "MMIODescend - No wave format chunk."},
        {Riff().Header(4).b, "MMIODescend - bad wave format chunk."},
        {Riff().Header(0).Tag("junk").U32(0xFFFFFFFF).Fill(20, 0).b,
         "MMIODescend - bad wave format chunk."},
        {Riff().Header(0).Tag("fmt ").U32(0).Tag("data").U32(0).b, badFmt},
        {Riff().Header(0).Tag("fmt ").U32(14).Pcm16().b, badFmt},
        {Riff().Header(0).Tag("fmt ").U32(0xFFFFFFFF).Pcm16().b, badFmt},
        {Riff().Header(0).Tag("fmt ").U32(16).Fill(10, 1).b, badFmt}, // truncated fmt
        {Riff().Header(0).Tag("fmt ").U32(16).Pcm16(3).Tag("data").U32(0).b,
         "Only WAVE_FORMAT_PCM supported."},
        {Riff().Header(0).Tag("fmt ").U32(16).Pcm16().b, noData},
        {Riff().Header(0).Tag("fmt ").U32(16).Pcm16().Fill(1, 'd').Fill(1, 'a').b, noData},
        {Riff().Header(0).Tag("fmt ").U32(16).Pcm16().Tag("LIST").U32(0xFFFFFFFF).Fill(8, 0).b,
         noData},
        // The RIFF size ends the search: a data chunk outside it is not found.
        {Riff().Header(28).Tag("fmt ").U32(16).Pcm16().Tag("data").U32(2).Fill(2, 0).b, noData},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        Host host;
        TWaveIO io(host, nullptr);
        WaveFile f = MemoryWave(cases[i].first);
        EXPECT_FALSE(io.OpenWaveFile("", f));
        EXPECT_FALSE(f.handle);
        EXPECT_EQ(host.messages, (std::vector<Message>{{1, cases[i].second}}));
    }

    Host host;
    TWaveIO io(host, nullptr);
    WaveFile missing;
    EXPECT_FALSE(io.OpenWaveFile("/nonexistent/take.wav", missing));
    EXPECT_EQ(host.messages,
              (std::vector<Message>{{1, "MMIOOpen. /nonexistent/take.wav not found"}}));

    // More than 2^31 - 1 data bytes present: positions are signed 32-bit, so it is refused.
    auto huge = std::make_shared<TestProc>();
    huge->bytes = Riff().Header(0).Tag("fmt ").U32(16).Pcm16().Tag("data").U32(0x80000000u).b;
    huge->reportedSize = 44 + 0x80000000LL;
    host.messages.clear();
    WaveFile big;
    big.ioProc = huge;
    EXPECT_FALSE(io.OpenWaveFile("", big));
    EXPECT_EQ(host.messages,
              (std::vector<Message>{{1, "Wave data larger than 2 GiB is not supported."}}));
    huge->reportedSize = 44 + 0x7FFFFFFFLL; // exactly the largest length opens
    EXPECT_TRUE(io.OpenWaveFile("", big));
    EXPECT_EQ(big.dataLength, 0x7FFFFFFF);
}

TEST(WaveFile, WriteFailuresAreReported) {
    Host host;
    TWaveIO io(host, nullptr);
    const std::vector<uint8_t> block(3000, 7);

    // A full device fails at the first header write and says why.
    WaveFile full;
    if (::access("/dev/full", W_OK) == 0) {
        EXPECT_FALSE(io.CreateWaveFile("/dev/full", full));
        EXPECT_EQ(host.messages,
                  (std::vector<Message>{
                      {1, "MMIOCreateChunk. WAVE 262 (cannot write: No space left on device)"}}));
        host.messages.clear();
    }
    WaveFile nowhere;
    EXPECT_FALSE(io.CreateWaveFile("/nonexistent/dir/x.wav", nowhere));
    EXPECT_EQ(host.messages, (std::vector<Message>{
                                 {1, "MMIOOpen. 259 (cannot open: No such file or directory)"}}));

    struct Case {
        int64_t budget;
        bool failFlush;
        std::string message;
    };
    const std::vector<Case> cases = {
        {12, false, "MMIOCreateChunk. fmt 262 (cannot write: No space left on device)"},
        {20, false, "MMIOWrite. fmt -1 (No space left on device)"},
        {30, false, "MMIOWrite. fmt 10 (No space left on device)"},
        {46 + 1000, false, "MMIOWrite. data 1000 (No space left on device)"},
        {46 + 3000, false, "MMIOAscend3. data 262 (cannot write: No space left on device)"},
        {-1, true, "MMIOFlush. 262 (cannot write: Input/output error)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        host.messages.clear();
        auto proc = std::make_shared<TestProc>();
        proc->writeBudget = c.budget;
        proc->failFlush = c.failFlush;
        WaveFile f;
        f.ioProc = proc;
        const bool ok = io.CreateWaveFile("", f) && io.WriteWaveData(f, block.data(), 3000) &&
                        io.FinishWaveFile(f);
        EXPECT_FALSE(ok);
        EXPECT_EQ(host.Errors(), (std::vector<Message>{{1, c.message}}));
    }
}

TEST(WaveFile, CancellationAndShortSources) {
    Host host;
    TWaveIO io(host, nullptr);
    WaveFile src = MemoryWave(SimpleWave(1200000));
    ASSERT_TRUE(io.OpenWaveFile("", src));
    auto proc = std::make_shared<TestProc>();
    WaveFile dst;
    dst.ioProc = proc;
    ASSERT_TRUE(io.CreateWaveFile("", dst));
    proc->writes.clear();
    // The stop request arrives while the first block is written: nothing more is written and
    // the cancellation is not reported here.
    proc->onIo = [&](int64_t, bool write) { host.cancel = host.cancel || write; };
    EXPECT_FALSE(io.CopyWaveData(dst, src, 1200000));
    EXPECT_EQ(proc->writes, (std::vector<int64_t>{524288}));
    EXPECT_TRUE(host.messages.empty());

    // A direct write is also cut after its first whole piece.
    host.cancel = false;
    proc->writes.clear();
    const std::vector<uint8_t> data(1200000, 1);
    EXPECT_FALSE(io.WriteWaveData(dst, data.data(), 1200000));
    EXPECT_EQ(proc->writes, (std::vector<int64_t>{524288}));

    // A source that holds fewer bytes than asked: nothing stale is written.
    host.cancel = false;
    proc->onIo = nullptr;
    WaveFile small = MemoryWave(SimpleWave(100));
    ASSERT_TRUE(io.OpenWaveFile("", small));
    proc->writes.clear();
    EXPECT_FALSE(io.CopyWaveData(dst, small, 500));
    EXPECT_TRUE(proc->writes.empty());
    EXPECT_EQ(host.Errors(), (std::vector<Message>{{1, "MMIORead - bad wave data chunk."}}));
}

TEST(WaveFile, ReadSeekAndWorkBuffer) {
    Host host;
    host.wholeLength = 300;
    TWaveIO io(host, nullptr);
    WaveFile f = MemoryWave(SimpleWave(1000));
    ASSERT_TRUE(io.OpenWaveFile("", f));
    EXPECT_EQ(io.SeekWaveData(f, 10), 54);
    EXPECT_EQ(io.SeekWaveData(f, -1), -1);
    ASSERT_TRUE(io.ReadWaveData(f, 100));
    EXPECT_EQ(io.Buffer().data[0], static_cast<uint8_t>(10 * 7));
    EXPECT_EQ(host.workBar, (std::vector<int32_t>{110})); // the end of the block being read
    EXPECT_EQ(host.dataRead, 100);
    ASSERT_TRUE(io.ReadWaveData(f, 0)); // reads nothing
    EXPECT_EQ(host.dataRead, 100);

    // Kept while large enough, replaced when not; 0 asks for the whole data length.
    const uint8_t* first = io.Buffer().data;
    ASSERT_TRUE(io.AllocWorkBuffer(50));
    EXPECT_EQ(io.Buffer().data, first);
    ASSERT_TRUE(io.ReleaseWorkBuffer());
    EXPECT_EQ(io.Buffer().data, nullptr);
    ASSERT_TRUE(io.AllocWorkBuffer(0));
    EXPECT_EQ(io.Buffer().size, 300);
    EXPECT_TRUE(io.Buffer().heap);
    EXPECT_FALSE(io.AllocWorkBuffer(-5));
    EXPECT_EQ(host.messages.back(), (Message{1, "Not enough Memory"}));

    // A piece of the sound buffer is given back to the host, not freed.
    uint8_t piece[64];
    io.UseSoundBufferPiece(piece, 64);
    EXPECT_FALSE(io.Buffer().heap);
    ASSERT_TRUE(io.ReadWaveData(f, 64));
    EXPECT_EQ(piece[0], static_cast<uint8_t>(110 * 7));
    io.ReleaseWorkBuffer();
    EXPECT_EQ(host.unlocked, (std::vector<std::pair<uint8_t*, int32_t>>{{piece, 64}}));

    uint8_t bytes[5] = {9, 9, 9, 9, 9};
    io.FillSilence(bytes, 5); // 16-bit: every byte zero, the odd last one too
    EXPECT_EQ(Bytes(bytes, bytes + 5), Bytes(5, 0));
    host.is16 = false;
    io.FillSilence(bytes, 4);
    EXPECT_EQ(Bytes(bytes, bytes + 5), (Bytes{128, 128, 128, 128, 0}));

    // The record's format is kept when the open fails.
    WaveFile bad = MemoryWave(Riff().Header(0).Tag("fmt ").U32(16).Pcm16(3).b);
    bad.format.nChannels = 5;
    EXPECT_FALSE(io.OpenWaveFile("", bad));
    EXPECT_EQ(bad.format.nChannels, 5);
}

// True when another thread can take the lock within `wait`; a thread still waiting for it is
// left in `waiting` and joined by the caller once the lock is free.
bool LockFree(TVELCriticalSection& lock, std::chrono::milliseconds wait,
              std::vector<std::thread>& waiting) {
    auto taken = std::make_shared<std::atomic<bool>>(false);
    waiting.emplace_back([&lock, taken] {
        lock.Enter();
        lock.Leave();
        taken->store(true);
    });
    const auto until = std::chrono::steady_clock::now() + wait;
    while (!taken->load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return taken->load();
}

TEST(WaveFile, FileLockIsHeldOnlyAroundDataReadsAndWrites) {
    TVELCriticalSection lock;
    std::vector<std::thread> waiting;
    int heldChecks = 0, freeChecks = 0;
    std::vector<std::string> faults;
    // Data and the 18 format bytes must be under the lock; headers, sizes and every callback
    // must not be. A held lock is assumed after 50 ms; a free one must be taken within 10 s.
    auto check = [&](bool shouldHold, const std::string& what) {
        if (shouldHold) {
            ++heldChecks;
            if (LockFree(lock, std::chrono::milliseconds(50), waiting)) faults.push_back(what);
        } else {
            ++freeChecks;
            if (!LockFree(lock, std::chrono::seconds(10), waiting)) faults.push_back(what);
        }
    };
    Host host;
    host.onCallback = [&] { check(false, "callback"); };
    TWaveIO io(host, &lock);

    auto srcProc = std::make_shared<TestProc>();
    srcProc->bytes = SimpleWave(601);
    bool opening = true;
    srcProc->onIo = [&](int64_t count, bool) { check(!opening && count > 100, "read"); };
    WaveFile src;
    src.ioProc = srcProc;
    ASSERT_TRUE(io.OpenWaveFile("", src));
    opening = false;

    auto dstProc = std::make_shared<TestProc>();
    dstProc->onIo = [&](int64_t count, bool) {
        check(count == 18 || count > 100, "write of " + std::to_string(count));
    };
    WaveFile dst;
    dst.ioProc = dstProc;
    ASSERT_TRUE(io.CreateWaveFile("", dst));
    ASSERT_TRUE(io.CopyWaveData(dst, src, 601));
    ASSERT_TRUE(io.FinishWaveFile(dst));

    for (auto& t : waiting)
        t.join();
    EXPECT_TRUE(faults.empty()) << faults.front();
    EXPECT_EQ(heldChecks, 3); // format bytes, one read, one write
    EXPECT_GT(freeChecks, 10);
    EXPECT_EQ(dstProc->bytes.size(), 46u + 602u);
}

// Writes a handful of tiny valid and malformed files for the fuzz target to start from.
TEST(WaveFile, WritesFuzzSeedCorpusWhenAsked) {
    const char* dir = std::getenv("WAVESTACK_FUZZ_CORPUS");
    if (!dir || !*dir) GTEST_SKIP() << "WAVESTACK_FUZZ_CORPUS not set";
    Riff list;
    list.Header(0).Tag("fmt ").U32(18).Pcm16().U16(0).Tag("LIST").U32(5).Fill(5, 'a').Fill(1, 0);
    list.Tag("data").U32(9).Fill(9, 0x80).Fill(1, 0);
    const std::vector<std::pair<std::string, Bytes>> seeds = {
        {"simple", SimpleWave(32)},
        {"odd", SimpleWave(7)},
        {"list", list.b},
        {"nopad", Riff()
                      .Header(0)
                      .Tag("fmt ")
                      .U32(16)
                      .Pcm16()
                      .Tag("junk")
                      .U32(1)
                      .Fill(1, 1)
                      .Tag("data")
                      .U32(4)
                      .Fill(4, 2)
                      .b},
        {"cut", Riff().Header(100).Tag("fmt ").U32(16).Pcm16().Tag("data").U32(500).Fill(8, 3).b},
        {"tag3", Riff().Header(0).Tag("fmt ").U32(16).Pcm16(3).Tag("data").U32(2).Fill(2, 0).b},
        {"shortfmt", Riff().Header(0).Tag("fmt ").U32(12).Fill(12, 1).b},
        {"empty", {}},
    };
    for (const auto& [name, bytes] : seeds) {
        std::ofstream out(std::string(dir) + "/seed-" + name + ".wav", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << name;
        EXPECT_LT(bytes.size(), 1024u);
    }
}

} // namespace
