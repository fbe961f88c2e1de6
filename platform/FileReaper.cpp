#include "platform/FileReaper.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

TFileReaper::TFileReaper(std::function<void(int fd)> closer)
    : closer_(closer ? std::move(closer) : [](int fd) { ::close(fd); }) {}

TFileReaper::~TFileReaper() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join(); // the thread empties the queue before it ends
}

bool TFileReaper::StartThreadLocked() {
    if (thread_.joinable()) return true;
    if (threadFailed_) return false;
    try {
        thread_ = std::thread([this] { Loop(); });
        return true;
    } catch (const std::system_error&) {
        threadFailed_ = true;
        return false;
    }
}

bool TFileReaper::Remove(const std::string& path) {
    // O_PATH needs no read permission and reads nothing; O_NOFOLLOW holds a symlink itself,
    // which is what unlink removes.
    const int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) return false;
        return ::unlink(path.c_str()) == 0; // no descriptor to spare: the slow way
    }
    if (::unlink(path.c_str()) != 0) {
        const int error = errno;
        ::close(fd); // still linked: closing frees nothing
        errno = error;
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (!stopping_ && StartThreadLocked()) {
            queue_.push_back(fd);
            ++queued_;
            wake_.notify_one();
            return true;
        }
    }
    closer_(fd); // no thread (or it is ending): the data is freed here
    return true;
}

void TFileReaper::Flush() {
    std::unique_lock lock(mutex_);
    const uint64_t target = queued_;
    drained_.wait(lock, [&] { return released_ >= target; });
}

std::size_t TFileReaper::Pending() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(queued_ - released_);
}

void TFileReaper::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return; // stopping, and nothing left to free
        const int fd = queue_.front();
        queue_.pop_front();
        lock.unlock();
        closer_(fd);
        lock.lock();
        ++released_;
        drained_.notify_all();
    }
}

namespace {

// Set once the process-wide reaper is being destroyed: a later call must not touch it.
std::atomic<bool> processReaperGone{false};

struct TProcessReaper {
    TFileReaper reaper;
    ~TProcessReaper() { processReaperGone.store(true); } // then `reaper` drains its queue
};

TFileReaper* ProcessReaper() {
    if (processReaperGone.load()) return nullptr;
    static TProcessReaper instance;
    return &instance.reaper;
}

} // namespace

bool RemoveFileSoon(const std::string& path) {
    if (TFileReaper* reaper = ProcessReaper()) return reaper->Remove(path);
    return ::unlink(path.c_str()) == 0;
}

void FlushRemovedFiles() {
    if (TFileReaper* reaper = ProcessReaper()) reaper->Flush();
}
