// The track's recovery record: kept up to date at every change, and taken up again after the
// program was killed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/FileReaper.h"
#include "platform/TempFiles.h"
#include "track/VelTrack.h"
#include "track/WavePicture.h"

namespace {

// The whole of `size` bytes at `at`, retrying short and interrupted calls; `io` is pread or
// pwrite.
template <typename Buffer, typename Io>
bool WholeAt(Io io, int fd, Buffer* data, std::size_t size, off_t at) {
    while (size > 0) {
        const ssize_t n = io(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

bool ReadAt(int fd, uint8_t* data, std::size_t size, off_t at) {
    return WholeAt(::pread, fd, data, size, at);
}

bool WriteAt(int fd, const uint8_t* data, std::size_t size, off_t at) {
    return WholeAt(::pwrite, fd, data, size, at);
}

bool WriteLE32At(int fd, uint32_t value, off_t at) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return WriteAt(fd, bytes, 4, at);
}

struct TFd {
    int fd = -1;
    explicit TFd(int f) : fd(f) {}
    ~TFd() {
        if (fd >= 0) ::close(fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
};

} // namespace

void TVelTrack::EnableRecovery() {
    std::lock_guard lock(recordMutex_);
    recoveryOn_ = true;
}

std::string TVelTrack::RecoveryRecordPath() const {
    std::lock_guard lock(recordMutex_);
    return record_.Path;
}

std::string TVelTrack::NewStateName(const std::string& changeName, int32_t takeStart) {
    std::string error;
    const bool recording = [this] {
        std::lock_guard lock(recordMutex_);
        return recoveryOn_;
    }();
    std::string name = MakeTempFileName(error, [&](const std::string& candidate) {
        if (!recording) return;
        // Called before the change touches the lists: they are the last completed state's.
        std::lock_guard lock(recordMutex_);
        SnapshotListsLocked();
        record_.PendingState = candidate;
        record_.PendingName = takeStart >= 0 ? "Recording" : changeName;
        record_.PendingTakeStart = takeStart;
        WriteRecordLocked();
    });
    if (name.empty()) AddMessage(kMsgError, error);
    return name;
}

void TVelTrack::SnapshotListsLocked() {
    std::lock_guard names(namesMutex_);
    record_.UserFileName = UserFileName;
    record_.WorkingState = FileName;
    record_.StartOffset = recordedOffset_.load();
    record_.Undo.clear();
    for (std::size_t i = 0; i < UndoFiles.size() && i < UndoNames.size(); ++i)
        record_.Undo.push_back({UndoFiles[i], UndoNames[i]});
}

void TVelTrack::WriteRecordLocked() {
    std::string error;
    if (!WriteRecoveryRecord(TempFolder(), record_, error) && !recordWarned_) {
        recordWarned_ = true;
        AddMessage(kMsgWarning, "Unsaved changes cannot be kept for recovery: " + error);
    }
}

void TVelTrack::UpdateRecoveryRecord() {
    std::lock_guard lock(recordMutex_);
    if (!recoveryOn_) return;
    SnapshotListsLocked();
    record_.PendingState.clear();
    record_.PendingName.clear();
    record_.PendingTakeStart = -1;
    // A track read from the user's file with no change has nothing to lose.
    const bool unsaved = !record_.Undo.empty() || IsTemporaryFile(record_.WorkingState);
    if (unsaved && !record_.WorkingState.empty()) {
        WriteRecordLocked();
        return;
    }
    std::string error;
    if (!RemoveRecoveryRecord(record_, error) && !recordWarned_) {
        recordWarned_ = true;
        AddMessage(kMsgWarning, error);
    }
    record_.Path.clear();
}

void TVelTrack::RewriteRecoveryOffset() {
    std::lock_guard lock(recordMutex_);
    if (!recoveryOn_ || record_.Path.empty()) return;
    record_.StartOffset = recordedOffset_.load();
    WriteRecordLocked();
}

void TVelTrack::RemoveRecoveryRecordFile() {
    std::lock_guard lock(recordMutex_);
    std::string error;
    RemoveRecoveryRecord(record_, error);
    record_.Path.clear();
}

bool TVelTrack::FinishInterruptedTake(const std::string& take, const std::string& previous,
                                      int32_t takeStart) {
    // The take's header still has the sizes of its start; its data is what the take had
    // written: the audio before the take, then the recorded buffers. Finished as a stop there
    // would have finished it: the rest of the previous state follows. The finishing can itself
    // be cut short: what it appends equals the previous state's bytes at the same places, so
    // finishing again gives the same result.
    WaveFile takeFile;
    WaveFile previousFile;
    const bool opened =
        io_.OpenWaveFile(take, takeFile) && io_.OpenWaveFile(previous, previousFile);
    const int64_t takeStartByte = takeFile.dataStart;
    const int64_t previousStart = previousFile.dataStart;
    const int32_t previousLength = previousFile.dataLength;
    const int32_t align = std::max<int32_t>(previousFile.format.nBlockAlign, 1);
    takeFile.handle.reset();
    previousFile.handle.reset();
    if (!opened || takeStartByte < 8) return false;
    TFd out(::open(take.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    TFd in(::open(previous.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    uint8_t chunkId[4] = {};
    if (out.fd < 0 || in.fd < 0 || ::fstat(out.fd, &st) != 0 ||
        !ReadAt(out.fd, chunkId, 4, takeStartByte - 8) || std::memcmp(chunkId, "data", 4) != 0)
        return false;
    const int64_t content = std::max<int64_t>(st.st_size - takeStartByte, 0);
    const auto written =
        static_cast<int32_t>(std::min<int64_t>(content / align * align, previousLength));
    // Nothing recorded yet: the take is an unfinished change like any other.
    if (written <= takeStart) return false;
    if (::ftruncate(out.fd, takeStartByte + written) != 0) return false;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kBlockBytes]);
    if (!block) return false;
    for (int32_t at = written; at < previousLength;) {
        const int32_t n = std::min(kBlockBytes, previousLength - at);
        if (!ReadAt(in.fd, block.get(), static_cast<std::size_t>(n), previousStart + at) ||
            !WriteAt(out.fd, block.get(), static_cast<std::size_t>(n), takeStartByte + at))
            return false;
        at += n;
    }
    int64_t end = takeStartByte + previousLength;
    if (previousLength % 2 != 0) { // a chunk of odd size is followed by a pad byte
        const uint8_t pad = 0;
        if (!WriteAt(out.fd, &pad, 1, end)) return false;
        ++end;
    }
    return ::ftruncate(out.fd, end) == 0 &&
           WriteLE32At(out.fd, static_cast<uint32_t>(previousLength), takeStartByte - 4) &&
           WriteLE32At(out.fd, static_cast<uint32_t>(end - 8), 4);
}

bool TVelTrack::RecoverFrom(const TRecoveryRecord& record) {
    {
        std::lock_guard lock(namesMutex_);
        FileName = record.WorkingState;
        UserFileName = record.UserFileName;
        UndoFiles.clear();
        UndoNames.clear();
        for (const TRecoveryUndoEntry& entry : record.Undo) {
            UndoFiles.push_back(entry.StateFile);
            UndoNames.push_back(entry.Name);
        }
        if (FileName == UserFileName) UserFileName.clear();
    }
    {
        std::lock_guard lock(recordMutex_);
        recoveryOn_ = true;
        record_ = record; // taken over: the next write stamps this process on it
    }
    if (!OpenWorkingFile()) {
        SetState(tsEmpty);
        return false;
    }
    StartOffset = record.StartOffset;
    recordedOffset_ = StartOffset;
    StartOffsetText = PositionText(StartOffset);
    PlayPosition = StartOffset;
    const std::string pending = record.PendingState;
    const int32_t takeStart = record.PendingTakeStart;
    const std::string pendingName = record.PendingName;
    StartJob(tsLoading, [this, pending, takeStart, pendingName] {
        bool takeKept = false;
        if (!pending.empty() && takeStart >= 0 && IsTemporaryFile(pending)) {
            io_.FinishWaveFile(working_);
            takeKept = FinishInterruptedTake(pending, FileName, takeStart);
        }
        if (takeKept) {
            std::lock_guard lock(namesMutex_);
            if (UndoFiles.empty()) {
                UndoFiles.push_back(FileName);
                UndoNames.push_back("Original");
            }
            UserFileName = UndoFiles[0];
            UndoFiles.push_back(pending);
            UndoNames.push_back(pendingName.empty() ? "Recording" : pendingName);
            FileName = pending;
        } else if (!pending.empty() && IsTemporaryFile(pending)) {
            DeleteStateFiles(pending);
        }
        UpdateRecoveryRecord();
        if (takeKept && !OpenWorkingFile()) {
            SetState(tsEmpty);
            owner_.SetHourglass(false);
            return;
        }
        Load(0, DataLength);
    });
    return true;
}
