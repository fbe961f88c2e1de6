// Counts how often a file is replaced by a rename into its folder, which is how every profile
// write reaches the disk: a save that should be one write shows as one replacement.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <string>

class TFileReplaceCounter {
  public:
    explicit TFileReplaceCounter(const std::string& filePath) {
        const std::size_t slash = filePath.find_last_of('/');
        name_ = filePath.substr(slash + 1);
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0) ::inotify_add_watch(fd_, filePath.substr(0, slash).c_str(), IN_MOVED_TO);
    }
    ~TFileReplaceCounter() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFileReplaceCounter(const TFileReplaceCounter&) = delete;
    TFileReplaceCounter& operator=(const TFileReplaceCounter&) = delete;

    bool Watching() const { return fd_ >= 0; }

    // Replacements since the last call.
    int Take() {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0) break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && name_ == event->name) ++count;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return count;
    }

  private:
    std::string name_;
    int fd_ = -1;
};
