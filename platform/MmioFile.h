// The multimedia-file service of the system: one small file object over a POSIX disk file, a
// growable in-memory byte block (clipboard data) or a caller's own I/O procedure. No RIFF
// knowledge lives here; audio/WaveFile builds the chunks on top of it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Result codes with the values the system has always reported, so messages keep their numbers.
enum : int32_t {
    MMIOERR_BASE = 256,
    MMIOERR_FILENOTFOUND = 257,
    MMIOERR_OUTOFMEMORY = 258,
    MMIOERR_CANNOTOPEN = 259,
    MMIOERR_CANNOTCLOSE = 260,
    MMIOERR_CANNOTREAD = 261,
    MMIOERR_CANNOTWRITE = 262,
    MMIOERR_CANNOTSEEK = 263,
    MMIOERR_CANNOTEXPAND = 264,
    MMIOERR_CHUNKNOTFOUND = 265,
};

// "chunk not found" for MMIOERR_CHUNKNOTFOUND; "error <n>" for unknown codes.
std::string MmioErrorDescription(int32_t code);
// The number and its description as messages append them: "265 (chunk not found)", or with the
// system's reason when one is known: "262 (cannot write: No space left on device)".
std::string MmioResultText(int32_t code, int savedErrno = 0);

// The bytes of one memory file. Shared, so that a clipboard store can take the block a memory
// file was written into (and hand one in to be read) without copying.
//
// The block reports an allocated size that starts at 8192 bytes and grows in steps of 8192, as
// the memory files of the system always have; the real storage grows geometrically, so writing
// a 50 MB clipboard stretch costs a few dozen reallocations rather than thousands.
class TMemoryBlock {
  public:
    static constexpr int64_t kGrowStepBytes = 8192;

    // Null when even the first step cannot be allocated.
    static std::shared_ptr<TMemoryBlock> Create();
    // A block holding a copy of `bytes` (clipboard data coming in); null when out of memory.
    static std::shared_ptr<TMemoryBlock> FromBytes(const uint8_t* bytes, std::size_t count);

    // Bytes written so far, [bytes]: the extent of the file.
    int64_t Size() const { return static_cast<int64_t>(bytes_.size()); }
    // The extent rounded up to the next multiple of 8192, at least 8192 [bytes].
    int64_t AllocatedSize() const;
    const uint8_t* Data() const { return bytes_.data(); }
    uint8_t* Data() { return bytes_.data(); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // Hands the bytes over (the block is empty afterwards).
    std::vector<uint8_t> TakeBytes() { return std::move(bytes_); }

    // Makes the extent at least `size` bytes, zero-filling; false (nothing changed) when the
    // storage cannot grow.
    bool Extend(int64_t size);

  private:
    TMemoryBlock() = default;
    std::vector<uint8_t> bytes_;
};

// What a file object reads from and writes to. Positions are absolute byte offsets. Results
// follow read(2)/write(2): a count, or -1 with errno set; a short write count also leaves errno
// set to the reason.
class TMmioIOProc {
  public:
    virtual ~TMmioIOProc() = default;
    virtual int64_t ReadAt(int64_t position, void* destination, int64_t count) = 0;
    virtual int64_t WriteAt(int64_t position, const void* source, int64_t count) = 0;
    virtual int64_t Size() = 0; // -1 with errno on failure
    virtual bool Flush() { return true; }
    virtual bool Close() { return true; }
};

class TMmioFile {
  public:
    enum class Mode {
        Read,       // existing file, read only
        CreateRead, // created or truncated, read-write
    };

    // Disk file. Read mode accepts regular files only (a FIFO or a device would block or lie
    // about its size). Null on failure, with errno left set.
    static std::unique_ptr<TMmioFile> OpenDisk(const std::string& path, Mode mode);
    // Memory file over `block`: CreateRead empties the block first. Null for a null block.
    static std::unique_ptr<TMmioFile> OpenMemory(std::shared_ptr<TMemoryBlock> block, Mode mode);
    // A caller's own procedure (tests inject failing or watching files this way).
    static std::unique_ptr<TMmioFile> OpenCustom(std::shared_ptr<TMmioIOProc> proc);

    ~TMmioFile();
    TMmioFile(const TMmioFile&) = delete;
    TMmioFile& operator=(const TMmioFile&) = delete;

    // Bytes read (0 at the end), or -1. Advances the position by the count.
    int64_t Read(void* destination, int64_t count);
    // Bytes written, or -1 when nothing was written; fewer than asked means failure (errno).
    int64_t Write(const void* source, int64_t count);
    // Absolute seek; the new position or -1 for a negative target.
    int64_t Seek(int64_t position);
    int64_t Tell() const { return position_; }
    int64_t Size();
    // Disk files are unbuffered, so this only makes them durable (fsync); one call per file.
    bool Flush();
    // Idempotent. False when the system reported a failure closing the file.
    bool Close();
    bool IsOpen() const { return proc_ != nullptr; }
    bool Writable() const { return writable_; }
    // errno of the last failed operation (0 if none failed).
    int LastErrno() const { return lastErrno_; }

  private:
    TMmioFile(std::shared_ptr<TMmioIOProc> proc, bool writable);

    std::shared_ptr<TMmioIOProc> proc_;
    int64_t position_ = 0;
    bool writable_;
    int lastErrno_ = 0;
};
