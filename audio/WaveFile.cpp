#include "audio/WaveFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "audio/VelTrackUtils.h"
#include "ui/core/MessageSink.h"
#include "ui/core/VelCriticalSection.h"

namespace {

constexpr int64_t kMaxDataBytes = std::numeric_limits<int32_t>::max();
const char* const kTooLarge = "Wave data larger than 2 GiB is not supported.";

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A chunk id is four printable ASCII characters; used only to tell where the next chunk starts
// when a writer left out the pad byte after an odd-sized chunk.
bool PlausibleId(const uint8_t* p) {
    return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

std::string WriteFailure(const TMmioFile& file, int64_t written) {
    const int why = file.LastErrno() != 0 ? file.LastErrno() : EIO;
    return std::to_string(written) + " (" + std::strerror(why) + ")";
}

// Writes a chunk header at the current position; the chunk is marked created so that Ascend
// fixes its size. 0 or an MMIOERR code (errno in the file).
int32_t CreateChunk(TMmioFile& file, MMCKINFO& chunk, bool withFormType) {
    uint8_t header[12];
    Put32(header, chunk.ckid);
    Put32(header + 4, chunk.cksize);
    Put32(header + 8, chunk.fccType);
    const int64_t at = file.Tell();
    const int64_t length = withFormType ? 12 : 8;
    if (file.Write(header, length) != length) return MMIOERR_CANNOTWRITE;
    chunk.dataOffset = at + 8;
    chunk.flags = MMCKINFO::kDirty;
    return 0;
}

// Leaves a chunk whose payload ends at `end`: a created chunk gets its size written back and,
// when odd, one zero pad byte so the next chunk stays word-aligned. The file ends positioned
// after the pad. 0 or an MMIOERR code.
int32_t Ascend(TMmioFile& file, MMCKINFO& chunk, int64_t end, bool keepDirty = false) {
    if (!(chunk.flags & MMCKINFO::kDirty)) {
        const int64_t next = chunk.dataOffset + chunk.cksize + (chunk.cksize & 1);
        return file.Seek(next) < 0 ? MMIOERR_CANNOTSEEK : 0;
    }
    const int64_t size = end - chunk.dataOffset;
    if (size < 0 || size > std::numeric_limits<uint32_t>::max()) return MMIOERR_CANNOTEXPAND;
    if (size & 1) {
        const uint8_t pad = 0;
        if (file.Seek(end) < 0) return MMIOERR_CANNOTSEEK;
        if (file.Write(&pad, 1) != 1) return MMIOERR_CANNOTWRITE;
    }
    if (static_cast<uint32_t>(size) != chunk.cksize) {
        uint8_t field[4];
        Put32(field, static_cast<uint32_t>(size));
        if (file.Seek(chunk.dataOffset - 4) < 0) return MMIOERR_CANNOTSEEK;
        if (file.Write(field, 4) != 4) return MMIOERR_CANNOTWRITE;
        chunk.cksize = static_cast<uint32_t>(size);
    }
    if (file.Seek(end + (size & 1)) < 0) return MMIOERR_CANNOTSEEK;
    if (!keepDirty) chunk.flags &= ~MMCKINFO::kDirty;
    return 0;
}

} // namespace

TWaveIO::TWaveIO(TWaveIOHost& host, TVELCriticalSection* fileLock)
    : host_(host), fileLock_(fileLock) {}

TWaveIO::~TWaveIO() {
    ReleaseWorkBuffer();
}

bool TWaveIO::Fail(const std::string& text) {
    host_.AddMessage(kMsgError, text);
    return false;
}

bool TWaveIO::FailOpen(WaveFile& file, const std::string& text) {
    file.handle.reset();
    file.openedForReading = false;
    return Fail(text);
}

// ---- writing ----

bool TWaveIO::CreateWaveFile(const std::string& fileName, WaveFile& file) {
    file.handle.reset();
    file.chunk = {};
    file.riff = {};
    file.dataStart = 0;
    file.dataLength = 0;
    file.openedForReading = false;

    if (file.ioProc) {
        file.handle = TMmioFile::OpenCustom(file.ioProc);
    } else if (file.makeMemoryFile || file.memory) {
        file.memory = TMemoryBlock::Create();
        if (!file.memory) {
            host_.AddMessage(kMsgStatus, "Not enough memory");
            return false;
        }
        file.handle = TMmioFile::OpenMemory(file.memory, TMmioFile::Mode::CreateRead);
    } else {
        file.handle = TMmioFile::OpenDisk(fileName, TMmioFile::Mode::CreateRead);
    }
    if (!file.handle) return Fail("MMIOOpen. " + MmioResultText(MMIOERR_CANNOTOPEN, errno));
    TMmioFile& f = *file.handle;

    auto failStep = [&](const char* step, int32_t code) {
        return Fail(step + MmioResultText(code, f.LastErrno()));
    };
    if (f.Seek(0) < 0) return failStep("MMIOCreateChunk. WAVE ", MMIOERR_CANNOTSEEK);
    file.riff = {FourCC("RIFF"), 0, FourCC("WAVE"), 0, 0};
    if (int32_t code = CreateChunk(f, file.riff, true)) {
        return failStep("MMIOCreateChunk. WAVE ", code);
    }

    file.chunk = {FourCC("fmt "), static_cast<uint32_t>(kWaveFormatBytes), 0, 0, 0};
    if (int32_t code = CreateChunk(f, file.chunk, false)) {
        return failStep("MMIOCreateChunk. fmt ", code);
    }
    const WaveFormatBytes formatBytes = EncodeWaveFormat(file.format);
    int64_t written;
    {
        TCriticalGuard guard(fileLock_);
        written = f.Write(formatBytes.data(), kWaveFormatBytes);
    }
    if (written != static_cast<int64_t>(kWaveFormatBytes)) {
        return Fail("MMIOWrite. fmt " + WriteFailure(f, written));
    }
    if (int32_t code = Ascend(f, file.chunk, f.Tell())) {
        return failStep("MMIOAscend1. fmt ", code);
    }

    file.chunk = {FourCC("data"), 0, 0, 0, 0};
    if (int32_t code = CreateChunk(f, file.chunk, false)) {
        return failStep("MMIOCreateChunk. data ", code);
    }
    // Nothing written yet, so the recorded size 0 is right; the chunk stays marked created so
    // that FinishWaveFile sets the size from the bytes written.
    if (int32_t code = Ascend(f, file.chunk, f.Tell(), true)) {
        return failStep("MMIOAscend2. data ", code);
    }
    file.dataStart = file.chunk.dataOffset;
    return true;
}

bool TWaveIO::WriteWaveData(WaveFile& file, const uint8_t* source, int32_t count) {
    if (count <= 0) return true;
    if (!file.handle || !file.handle->Writable()) {
        return Fail("MMIOWrite. data -1 (" + std::string(std::strerror(EBADF)) + ")");
    }
    TMmioFile& f = *file.handle;
    // Positions are signed 32-bit everywhere; a longer data chunk could never be read back.
    if (f.Tell() - file.dataStart + count > kMaxDataBytes) return Fail(kTooLarge);

    auto writePiece = [&](const uint8_t* from, int32_t length) {
        int64_t put;
        {
            TCriticalGuard guard(fileLock_);
            put = f.Write(from, length);
        }
        if (put == length) return true;
        return Fail("MMIOWrite. data " + WriteFailure(f, put));
    };

    const int32_t wholePieces = count / kWaveBlockBytes;
    const int32_t rest = count % kWaveBlockBytes;
    for (int32_t i = 0; i < wholePieces; ++i) {
        if (!writePiece(source + static_cast<int64_t>(i) * kWaveBlockBytes, kWaveBlockBytes)) {
            return false;
        }
        if (host_.Cancelled()) return false;
    }
    if (rest > 0) {
        if (!writePiece(source + static_cast<int64_t>(wholePieces) * kWaveBlockBytes, rest)) {
            return false;
        }
        host_.AddMessage(kMsgAppend, ".");
    }
    return true;
}

bool TWaveIO::FinishWaveFile(WaveFile& file) {
    if (!file.handle) return true;
    TMmioFile& f = *file.handle;
    if (file.openedForReading || !f.Writable()) {
        file.handle.reset();
        file.openedForReading = false;
        return true;
    }
    auto failStep = [&](const char* step, int32_t code) {
        const int why = f.LastErrno();
        file.handle.reset();
        return Fail(step + MmioResultText(code, why));
    };

    // The data chunk is the last one we write: every byte after its start is data.
    const int64_t end = std::max(f.Tell(), f.Size());
    if (int32_t code = Ascend(f, file.chunk, end)) return failStep("MMIOAscend3. data ", code);
    if (int32_t code = Ascend(f, file.riff, f.Tell())) {
        return failStep("MMIOAscend4. RIFF ", code);
    }
    // A user's take must survive a power cut once we have called it finished.
    if (file.durable && !f.Flush()) return failStep("MMIOFlush. ", MMIOERR_CANNOTWRITE);
    file.dataLength = static_cast<int32_t>(std::min<int64_t>(file.chunk.cksize, kMaxDataBytes));
    const bool closed = f.Close();
    const int why = f.LastErrno();
    file.handle.reset();
    if (!closed) return Fail("MMIOClose. " + MmioResultText(MMIOERR_CANNOTCLOSE, why));
    return true;
}

// ---- reading ----

bool TWaveIO::ReadChunkHeader(TMmioFile& file, int64_t position, int64_t limit, MMCKINFO& chunk) {
    if (position < 0 || position + 8 > limit) return false;
    uint8_t header[8];
    if (file.Seek(position) < 0 || file.Read(header, 8) != 8) return false;
    chunk = {Get32(header), Get32(header + 4), 0, position + 8, 0};
    return true;
}

int64_t TWaveIO::NextChunkPosition(TMmioFile& file, const MMCKINFO& chunk, int64_t limit) {
    const int64_t end = chunk.dataOffset + chunk.cksize;
    if (!(chunk.cksize & 1)) return end;
    // Odd size: the pad byte should follow. Some writers forget it; believe the unaligned
    // position only when it looks like a chunk and the aligned one does not.
    auto looksLikeChunk = [&](int64_t at) {
        uint8_t id[4];
        return at + 8 <= limit && file.Seek(at) >= 0 && file.Read(id, 4) == 4 && PlausibleId(id);
    };
    if (!looksLikeChunk(end + 1) && looksLikeChunk(end)) return end;
    return end + 1;
}

bool TWaveIO::FindChunk(TMmioFile& file, int64_t& position, int64_t limit, uint32_t id,
                        MMCKINFO& chunk) {
    // Every step moves at least one chunk header forward, so the search ends within the limit.
    while (ReadChunkHeader(file, position, limit, chunk)) {
        if (chunk.ckid == id) return true;
        position = NextChunkPosition(file, chunk, limit);
    }
    return false;
}

bool TWaveIO::OpenWaveFile(const std::string& fileName, WaveFile& file) {
    file.handle.reset();
    file.chunk = {};
    file.riff = {};
    file.dataStart = 0;
    file.dataLength = 0;
    file.openedForReading = false;

    if (file.ioProc) {
        file.handle = TMmioFile::OpenCustom(file.ioProc);
    } else if (file.memory) {
        file.handle = TMmioFile::OpenMemory(file.memory, TMmioFile::Mode::Read);
    } else {
        file.handle = TMmioFile::OpenDisk(fileName, TMmioFile::Mode::Read);
    }
    if (!file.handle) {
        std::string text = "MMIOOpen. " + fileName + " not found";
        if (errno != ENOENT) text += " " + MmioResultText(MMIOERR_CANNOTOPEN, errno);
        return Fail(text);
    }
    TMmioFile& f = *file.handle;

    // Every size below is checked against the real file size before it is used; nothing is
    // allocated from a size read out of the file.
    const int64_t fileSize = f.Size();
    MMCKINFO riff;
    uint8_t formType[4];
    if (!ReadChunkHeader(f, 0, fileSize, riff)) {
        return FailOpen(file, "MMIODescend - bad Riff Chunk.");
    }
    if (riff.ckid == FourCC("RIFF")) {
        if (f.Read(formType, 4) != 4) return FailOpen(file, "MMIODescend - bad Riff Chunk.");
        riff.fccType = Get32(formType);
    }
    if (riff.ckid != FourCC("RIFF") || riff.fccType != FourCC("WAVE")) {
        return FailOpen(file, "MMIODescend - No wave format chunk.");
    }
    // A RIFF size that is too small to hold the form type (a take whose writer never got to fix
    // the header) or that runs past the file means: up to the end of the file.
    int64_t riffEnd = riff.dataOffset + riff.cksize;
    if (riff.cksize < 4 || riffEnd > fileSize) riffEnd = fileSize;

    int64_t position = 12;
    MMCKINFO format;
    if (!FindChunk(f, position, riffEnd, FourCC("fmt "), format)) {
        return FailOpen(file, "MMIODescend - bad wave format chunk.");
    }
    // Fewer than 16 bytes cannot hold a PCM format; a chunk running past the file's end is cut.
    if (format.cksize < 16 || format.dataOffset + format.cksize > fileSize) {
        return FailOpen(file, "MMIORead - bad wave format chunk.");
    }
    // A longer "fmt " chunk (an extension block) contributes only its first 18 bytes.
    const int64_t formatBytes = std::min<int64_t>(format.cksize, kWaveFormatBytes);
    uint8_t bytes[kWaveFormatBytes];
    if (f.Seek(format.dataOffset) < 0 || f.Read(bytes, formatBytes) != formatBytes) {
        return FailOpen(file, "MMIORead - bad wave format chunk.");
    }
    const WAVEFORMATEX decoded =
        DecodeWaveFormat(bytes, static_cast<std::size_t>(formatBytes), file.format);
    if (decoded.wFormatTag != WAVE_FORMAT_PCM) {
        return FailOpen(file, "Only WAVE_FORMAT_PCM supported.");
    }
    position = NextChunkPosition(f, format, riffEnd);
    if (f.Seek(position) < 0) return FailOpen(file, "MMIOAscend5 - wave format chunk.");

    MMCKINFO data;
    if (!FindChunk(f, position, riffEnd, FourCC("data"), data)) {
        return FailOpen(file, "MMIODescend - no wave data chunk. " +
                                  MmioResultText(MMIOERR_CHUNKNOTFOUND));
    }
    // A take whose writer stopped before fixing the size still opens, with the bytes present.
    const int64_t present = std::max<int64_t>(0, fileSize - data.dataOffset);
    const int64_t length = std::min<int64_t>(data.cksize, present);
    if (length > kMaxDataBytes) return FailOpen(file, kTooLarge);
    if (f.Seek(data.dataOffset) < 0) return FailOpen(file, "MMIOAscend5 - wave format chunk.");

    file.format = decoded;
    file.riff = riff;
    file.chunk = data;
    file.dataStart = data.dataOffset;
    file.dataLength = static_cast<int32_t>(length);
    file.openedForReading = true;
    return true;
}

bool TWaveIO::ReadWaveData(WaveFile& file, int32_t n, int32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (n <= 0) return true;
    if (!file.handle) return Fail("MMIORead - bad wave data chunk.");
    if (!AllocWorkBuffer(n)) return false;
    TMmioFile& f = *file.handle;

    const int64_t position = f.Tell();
    int64_t wanted = n;
    // Chunks after the data (LIST, cue points) are not audio: reads stop at the data's end.
    if (file.openedForReading) {
        wanted = std::clamp<int64_t>(file.dataStart + file.dataLength - position, 0, n);
    }
    const bool showBar = readsShowWorkBar_ && buffer_.heap;
    const int64_t barAt = position - file.dataStart + n;
    if (showBar)
        host_.WorkBarAt(static_cast<int32_t>(std::clamp<int64_t>(barAt, 0, kMaxDataBytes)));
    int64_t got;
    {
        TCriticalGuard guard(fileLock_);
        got = f.Read(buffer_.data, wanted);
    }
    if (showBar) host_.WorkBarDone();
    if (got < 0) return Fail("MMIORead - bad wave data chunk.");
    host_.DataRead(static_cast<int32_t>(got));
    if (bytesRead) *bytesRead = static_cast<int32_t>(got);
    return true;
}

bool TWaveIO::CopyWaveData(WaveFile& destination, WaveFile& source, int32_t n) {
    if (n <= 0) return true;
    const int32_t rounds = n / kWaveBlockBytes + 1;
    const int32_t firstBlock = std::min(n, kWaveBlockBytes);
    for (int32_t round = 1; round <= rounds; ++round) {
        const int32_t block =
            round < rounds ? firstBlock : (n >= kWaveBlockBytes ? n % kWaveBlockBytes : n);
        if (host_.Cancelled()) return false;
        int32_t got = 0;
        if (!ReadWaveData(source, block, &got)) return false;
        // Writing the buffer after a short read would copy stale bytes into the destination.
        if (got != block) return Fail("MMIORead - bad wave data chunk.");
        if (!WriteWaveData(destination, buffer_.data, block)) return false;
    }
    return true;
}

int64_t TWaveIO::SeekWaveData(WaveFile& file, int64_t dataOffset) {
    if (!file.handle || dataOffset < 0) return -1;
    return file.handle->Seek(file.dataStart + dataOffset);
}

// ---- working buffer ----

bool TWaveIO::AllocWorkBuffer(int32_t n) {
    if (n < 0) return Fail("Not enough Memory");
    if (buffer_.data && buffer_.size >= n) return true;
    ReleaseWorkBuffer();
    const int32_t size = n == 0 ? std::max(host_.WholeDataLength(), 0) : n;
    heapBlock_.reset(new (std::nothrow) uint8_t[std::max(size, 1)]);
    if (!heapBlock_) {
        buffer_ = {};
        return Fail("Not enough Memory");
    }
    buffer_ = {heapBlock_.get(), size, true};
    return true;
}

bool TWaveIO::ReleaseWorkBuffer() {
    if (buffer_.heap) {
        heapBlock_.reset();
    } else if (buffer_.data) {
        host_.UnlockSoundBufferPiece(buffer_.data, buffer_.size);
    }
    buffer_ = {};
    return true;
}

void TWaveIO::UseSoundBufferPiece(uint8_t* data, int32_t size) {
    ReleaseWorkBuffer();
    buffer_ = {data, size, false};
}

void TWaveIO::FillSilence(uint8_t* buffer, int32_t count) {
    if (!buffer || count <= 0) return;
    const bool is16 = host_.SampleIs16Bit();
    TSamples walker(buffer, count, is16);
    walker.FillSilence();
    if (is16 && (count & 1)) buffer[count - 1] = 0;
}
