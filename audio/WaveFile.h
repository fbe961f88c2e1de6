// RIFF/WAVE files of a track: the layout written, what is accepted for reading, and the
// block-wise movement of wave data between files and the track's working buffer.
//
// Files written: "RIFF" size "WAVE", "fmt " chunk of exactly 18 bytes, "data" chunk whose
// payload starts at offset 46, one zero pad byte after odd-sized data (counted in the RIFF
// size). No other chunk is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/WaveFormat.h"
#include "platform/MmioFile.h"

class TVELCriticalSection;

// The unit of every transfer [bytes].
inline constexpr int32_t kWaveBlockBytes = 524288;
inline constexpr int64_t kWaveHeaderBytes = 46; // offset of the first data byte we write

// Four-character code, first character in the lowest byte (as it lies in the file).
constexpr uint32_t FourCC(const char (&id)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(id[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(id[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[3])) << 24;
}

// One chunk of a RIFF file.
struct MMCKINFO {
    static constexpr uint32_t kDirty = 0x10000000; // created; its size is fixed on ascent

    uint32_t ckid = 0;
    uint32_t cksize = 0;    // payload size as recorded [bytes]
    uint32_t fccType = 0;   // form type of a RIFF chunk
    int64_t dataOffset = 0; // file offset of the payload [bytes]
    uint32_t flags = 0;
};

// The record through which a track holds one open wave file. Default-constructed = cleared.
struct WaveFile {
    std::unique_ptr<TMmioFile> handle; // open file, or none
    MMCKINFO chunk;                    // "fmt " while the header is made, then "data"
    MMCKINFO riff;                     // the enclosing RIFF chunk
    WAVEFORMATEX format;               // the file's wave format
    // When set, the file lives in this block instead of on disk (clipboard data): Open reads it,
    // Create replaces it with a new block the caller takes after FinishWaveFile.
    std::shared_ptr<TMemoryBlock> memory;
    // Set by a caller to ask CreateWaveFile for a memory file when `memory` is still empty.
    bool makeMemoryFile = false;
    // Optional: the file is read or written through this procedure instead (tests, special
    // stores). Takes precedence over disk and memory.
    std::shared_ptr<TMmioIOProc> ioProc;

    // Filled by OpenWaveFile: file offset of the first data byte, and the data bytes actually
    // present (the recorded size clamped to the file's end) [bytes]. A created file has its
    // dataStart at once and its dataLength after FinishWaveFile.
    int64_t dataStart = 0;
    int32_t dataLength = 0;
    bool openedForReading = false;
    // Finishing a durable file flushes it to the disk. Temporary states need not pay for that:
    // a save flushes the state it keeps before it renames it into the user's name.
    bool durable = true;
};

// The track's one working buffer: a heap block of ours, or a locked piece of the track's sound
// buffer that the host unlocks.
struct WorkBuffer {
    uint8_t* data = nullptr;
    int32_t size = 0; // [bytes]
    bool heap = false;
};

// What the wave I/O of a track needs from the track around it.
class TWaveIOHost {
  public:
    virtual ~TWaveIOHost() = default;
    virtual void AddMessage(uint8_t kind, const std::string& text) = 0; // ui/core/MessageSink.h
    virtual bool Cancelled() const = 0;                                 // the worker's stop request
    virtual bool SampleIs16Bit() const = 0; // width FillSilence uses (the track's format)
    virtual int32_t WholeDataLength() const { return 0; } // what AllocWorkBuffer(0) allocates
    virtual void DataRead(int32_t /*bytes*/) {}           // advances the track's fill position
    // Before a block read: show/move the work bar to the data position where the block ends.
    virtual void WorkBarAt(int32_t /*dataPosition*/) {}
    virtual void WorkBarDone() {} // after the read: hide the bar and redraw the markers
    // A work buffer that is a piece of the sound buffer is given back here on release.
    virtual void UnlockSoundBufferPiece(uint8_t* /*data*/, int32_t /*size*/) {}
};

// Wave file operations of one track. Used by one thread at a time (the track's worker, or the
// user-interface thread while it opens the working file). The shared file lock is held only
// around each single read or write of wave data and the write of the 18 format bytes.
class TWaveIO {
  public:
    TWaveIO(TWaveIOHost& host, TVELCriticalSection* fileLock /* may be null */);
    ~TWaveIO();
    TWaveIO(const TWaveIO&) = delete;
    TWaveIO& operator=(const TWaveIO&) = delete;

    // Creates (or truncates) the file, or a new memory file, and writes the header; the file is
    // left positioned at the first data byte (offset 46).
    bool CreateWaveFile(const std::string& fileName, WaveFile& file);
    // Appends `count` bytes; cancellation is checked after every whole block; a partial block
    // appends "." to the status line.
    bool WriteWaveData(WaveFile& file, const uint8_t* source, int32_t count);
    // Fixes the data and RIFF sizes (pad byte for odd data), makes a disk file durable and
    // closes. A record without a handle, or one opened for reading, only gets closed.
    bool FinishWaveFile(WaveFile& file);
    // Opens for reading, checks the header, reads the format and positions at the first data
    // byte; fills dataStart and dataLength.
    bool OpenWaveFile(const std::string& fileName, WaveFile& file);
    // Reads up to n bytes of wave data into the working buffer from the current position; never
    // past the data chunk. A short read is a success; `bytesRead` gets the count.
    bool ReadWaveData(WaveFile& file, int32_t n, int32_t* bytesRead = nullptr);
    // Copies n bytes from the source's position to the destination, block by block. A source
    // that runs out before n bytes is an error (nothing stale is written).
    bool CopyWaveData(WaveFile& destination, WaveFile& source, int32_t n);
    // Positions at data byte `dataOffset`; the new file position, or -1. Reports nothing: the
    // caller names its own operation in the message.
    int64_t SeekWaveData(WaveFile& file, int64_t dataOffset);

    // Heap block of at least n bytes, kept while large enough; n = 0 asks for the track's whole
    // data length.
    bool AllocWorkBuffer(int32_t n);
    bool ReleaseWorkBuffer();
    // Installs a locked piece of the sound buffer as the working buffer (released through the
    // host).
    void UseSoundBufferPiece(uint8_t* data, int32_t size);
    // Silence in the track's sample width: 0 for 16-bit, 128 for 8-bit (an odd trailing byte of
    // 16-bit data is zeroed too).
    void FillSilence(uint8_t* buffer, int32_t count);

    const WorkBuffer& Buffer() const { return buffer_; }

    // Whether block reads into a heap work buffer show the work bar (the host's WorkBarAt and
    // WorkBarDone): on for edits, effects and conversions, off while a file is read for its
    // picture. Reads into a sound-buffer piece (the playback feeder's) never show it.
    void SetReadsShowWorkBar(bool on) { readsShowWorkBar_ = on; }

  private:
    bool Fail(const std::string& text); // kind-1 report, false
    bool ReadChunkHeader(TMmioFile& file, int64_t position, int64_t limit, MMCKINFO& chunk);
    bool FindChunk(TMmioFile& file, int64_t& position, int64_t limit, uint32_t id, MMCKINFO& chunk);
    int64_t NextChunkPosition(TMmioFile& file, const MMCKINFO& chunk, int64_t limit);
    bool FailOpen(WaveFile& file, const std::string& text);

    TWaveIOHost& host_;
    TVELCriticalSection* fileLock_;
    WorkBuffer buffer_;
    std::unique_ptr<uint8_t[]> heapBlock_;
    bool readsShowWorkBar_ = true;
};
