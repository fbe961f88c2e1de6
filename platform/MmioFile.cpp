#include "platform/MmioFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

std::string MmioErrorDescription(int32_t code) {
    switch (code) {
    case MMIOERR_FILENOTFOUND:
        return "file not found";
    case MMIOERR_OUTOFMEMORY:
        return "out of memory";
    case MMIOERR_CANNOTOPEN:
        return "cannot open";
    case MMIOERR_CANNOTCLOSE:
        return "cannot close";
    case MMIOERR_CANNOTREAD:
        return "cannot read";
    case MMIOERR_CANNOTWRITE:
        return "cannot write";
    case MMIOERR_CANNOTSEEK:
        return "cannot seek";
    case MMIOERR_CANNOTEXPAND:
        return "cannot expand";
    case MMIOERR_CHUNKNOTFOUND:
        return "chunk not found";
    default:
        return "error " + std::to_string(code);
    }
}

std::string MmioResultText(int32_t code, int savedErrno) {
    std::string text = std::to_string(code) + " (" + MmioErrorDescription(code);
    if (savedErrno != 0) text += std::string(": ") + std::strerror(savedErrno);
    return text + ")";
}

// ---- memory blocks ----

std::shared_ptr<TMemoryBlock> TMemoryBlock::Create() {
    std::shared_ptr<TMemoryBlock> block(new (std::nothrow) TMemoryBlock());
    if (!block) return nullptr;
    try {
        block->bytes_.reserve(static_cast<std::size_t>(kGrowStepBytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return block;
}

std::shared_ptr<TMemoryBlock> TMemoryBlock::FromBytes(const uint8_t* bytes, std::size_t count) {
    auto block = Create();
    if (!block) return nullptr;
    try {
        block->bytes_.assign(bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return block;
}

int64_t TMemoryBlock::AllocatedSize() const {
    const int64_t steps = (Size() + kGrowStepBytes - 1) / kGrowStepBytes;
    return steps < 1 ? kGrowStepBytes : steps * kGrowStepBytes;
}

bool TMemoryBlock::Extend(int64_t size) {
    if (size <= Size()) return true;
    if (static_cast<uint64_t>(size) > bytes_.max_size()) return false;
    try {
        if (static_cast<std::size_t>(size) > bytes_.capacity()) {
            // Doubling keeps a long run of appends linear in the bytes written.
            const std::size_t doubled = bytes_.capacity() * 2;
            bytes_.reserve(std::max(doubled, static_cast<std::size_t>(size)));
        }
        bytes_.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

namespace {

constexpr int64_t kWriteBehindBytes = 65536;

class TDiskProc final : public TMmioIOProc {
  public:
    explicit TDiskProc(int fd) : fd_(fd) {}
    ~TDiskProc() override { Close(); }

    int64_t ReadAt(int64_t position, void* destination, int64_t count) override {
        auto* out = static_cast<uint8_t*>(destination);
        int64_t done = 0;
        while (done < count) {
            const ssize_t got = ::pread(fd_, out + done, static_cast<std::size_t>(count - done),
                                        static_cast<off_t>(position + done));
            if (got < 0) {
                if (errno == EINTR) continue;
                return done > 0 ? done : -1;
            }
            if (got == 0) break;
            done += got;
        }
        return done;
    }

    int64_t WriteAt(int64_t position, const void* source, int64_t count) override {
        const auto* in = static_cast<const uint8_t*>(source);
        int64_t done = 0;
        while (done < count) {
            const ssize_t put = ::pwrite(fd_, in + done, static_cast<std::size_t>(count - done),
                                         static_cast<off_t>(position + done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return done > 0 ? done : -1;
            }
            if (put == 0) {
                errno = ENOSPC; // a write that makes no progress: the device is full
                return done > 0 ? done : -1;
            }
            done += put;
        }
        // Start writing large blocks back at once, so that the flush a save ends with finds
        // little left to wait for. Only a hint: it neither waits nor fails the write.
        if (done >= kWriteBehindBytes)
            ::sync_file_range(fd_, static_cast<off_t>(position), static_cast<off_t>(done),
                              SYNC_FILE_RANGE_WRITE);
        return done;
    }

    int64_t Size() override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) return -1;
        return static_cast<int64_t>(st.st_size);
    }

    bool Flush() override {
        // Character devices (used as targets in tests and by users writing to /dev/null)
        // cannot be synced and need not be.
        if (::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS) return true;
        return false;
    }

    bool Close() override {
        if (fd_ < 0) return true;
        const int fd = fd_;
        fd_ = -1;
        // Linux releases the descriptor even when close reports EINTR; never retry.
        return ::close(fd) == 0 || errno == EINTR;
    }

  private:
    int fd_;
};

class TMemoryProc final : public TMmioIOProc {
  public:
    explicit TMemoryProc(std::shared_ptr<TMemoryBlock> block) : block_(std::move(block)) {}

    int64_t ReadAt(int64_t position, void* destination, int64_t count) override {
        const int64_t size = block_->Size();
        if (position >= size || count <= 0) return 0;
        const int64_t n = std::min(count, size - position);
        std::memcpy(destination, block_->Data() + position, static_cast<std::size_t>(n));
        return n;
    }

    int64_t WriteAt(int64_t position, const void* source, int64_t count) override {
        if (count <= 0) return 0;
        if (position > std::numeric_limits<int64_t>::max() - count ||
            !block_->Extend(position + count)) {
            errno = ENOMEM;
            return -1;
        }
        std::memcpy(block_->Data() + position, source, static_cast<std::size_t>(count));
        return count;
    }

    int64_t Size() override { return block_->Size(); }

  private:
    std::shared_ptr<TMemoryBlock> block_;
};

} // namespace

// ---- file objects ----

TMmioFile::TMmioFile(std::shared_ptr<TMmioIOProc> proc, bool writable)
    : proc_(std::move(proc)), writable_(writable) {}

TMmioFile::~TMmioFile() {
    Close();
}

std::unique_ptr<TMmioFile> TMmioFile::OpenDisk(const std::string& path, Mode mode) {
    int fd;
    if (mode == Mode::Read) {
        // Non-blocking only for the open itself, so that a FIFO cannot hang us before the check.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            const int why = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            ::close(fd);
            errno = why;
            return nullptr;
        }
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    } else {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
    }
    return std::unique_ptr<TMmioFile>(
        new TMmioFile(std::make_shared<TDiskProc>(fd), mode == Mode::CreateRead));
}

std::unique_ptr<TMmioFile> TMmioFile::OpenMemory(std::shared_ptr<TMemoryBlock> block, Mode mode) {
    if (!block) {
        errno = ENOMEM;
        return nullptr;
    }
    if (mode == Mode::CreateRead) block->TakeBytes();
    return std::unique_ptr<TMmioFile>(
        new TMmioFile(std::make_shared<TMemoryProc>(std::move(block)), mode == Mode::CreateRead));
}

std::unique_ptr<TMmioFile> TMmioFile::OpenCustom(std::shared_ptr<TMmioIOProc> proc) {
    if (!proc) return nullptr;
    return std::unique_ptr<TMmioFile>(new TMmioFile(std::move(proc), true));
}

int64_t TMmioFile::Read(void* destination, int64_t count) {
    if (!proc_) {
        lastErrno_ = EBADF;
        return -1;
    }
    if (count <= 0) return 0;
    const int64_t got = proc_->ReadAt(position_, destination, count);
    if (got < 0) {
        lastErrno_ = errno;
        return -1;
    }
    position_ += got;
    return got;
}

int64_t TMmioFile::Write(const void* source, int64_t count) {
    if (!proc_ || !writable_) {
        lastErrno_ = EBADF;
        return -1;
    }
    if (count <= 0) return 0;
    errno = 0;
    const int64_t put = proc_->WriteAt(position_, source, count);
    if (put < count) lastErrno_ = errno != 0 ? errno : EIO;
    if (put > 0) position_ += put;
    return put;
}

int64_t TMmioFile::Seek(int64_t position) {
    if (!proc_ || position < 0) {
        lastErrno_ = proc_ ? EINVAL : EBADF;
        return -1;
    }
    position_ = position;
    return position_;
}

int64_t TMmioFile::Size() {
    if (!proc_) {
        lastErrno_ = EBADF;
        return -1;
    }
    const int64_t size = proc_->Size();
    if (size < 0) lastErrno_ = errno;
    return size;
}

bool TMmioFile::Flush() {
    if (!proc_) {
        lastErrno_ = EBADF;
        return false;
    }
    if (!writable_) return true;
    if (proc_->Flush()) return true;
    lastErrno_ = errno;
    return false;
}

bool TMmioFile::Close() {
    if (!proc_) return true;
    auto proc = std::move(proc_);
    proc_.reset();
    if (proc->Close()) return true;
    lastErrno_ = errno;
    return false;
}
