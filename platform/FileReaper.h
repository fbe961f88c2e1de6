// Removes files without making the caller wait while the file system frees their data.
//
// Unlinking a large file is slow because the last link's going frees its blocks (a ten-minute
// state of about 100 MB takes tens of milliseconds on ext4, longer with discard). The reaper
// splits the work: Remove() opens the file (O_PATH, no data is read) and unlinks it at once,
// so the name is gone when it returns, as after a plain unlink; the blocks stay allocated until
// the last descriptor is closed, and that close happens on the reaper's one thread. A file the
// program still holds open elsewhere is freed when that holder closes it, as before.
//
// Nothing outlives the program: the names go at once, the destructor closes every queued
// descriptor before it returns, and a process that dies has its descriptors closed by the
// kernel, which frees the data then.
//
// All members are safe to call from any thread. No Qt.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TFileReaper {
  public:
    // `closer` releases one queued descriptor (default ::close); tests pass their own.
    explicit TFileReaper(std::function<void(int fd)> closer = {});
    // Releases every descriptor still queued, in order, then ends the thread.
    ~TFileReaper();
    TFileReaper(const TFileReaper&) = delete;
    TFileReaper& operator=(const TFileReaper&) = delete;

    // Unlinks `path` now and frees its data later on the reaper's thread. False, with errno
    // set, when nothing was unlinked (no such file, a folder, no permission); that costs only
    // this call. When no descriptor can be had (descriptors used up) or the thread cannot be
    // started, the file is unlinked here, the old slow way.
    bool Remove(const std::string& path);

    // Returns when the data of every file removed before the call is freed: before a write
    // that needs the space back. It waits for the file system, so not on the user-interface
    // thread.
    void Flush();

    // Descriptors queued or being released.
    std::size_t Pending() const;

  private:
    void Loop();
    bool StartThreadLocked();

    std::function<void(int)> closer_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;    // the thread: work or the end
    std::condition_variable drained_; // Flush: a descriptor released
    std::deque<int> queue_;
    uint64_t queued_ = 0;   // descriptors ever queued
    uint64_t released_ = 0; // of them, released
    bool stopping_ = false;
    bool threadFailed_ = false;
    std::thread thread_; // started with the first Remove
};

// The process-wide reaper the tracks give their temporary states to. It lives until the
// program's static objects are destroyed; a call after that unlinks at once.
bool RemoveFileSoon(const std::string& path);
void FlushRemovedFiles();
