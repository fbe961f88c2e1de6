// A plain lock. The Studio's one instance is the file lock of all tracks: it is held only
// around single reads and writes of wave data, never while taking another lock.
#pragma once

#include <mutex>

class TVELCriticalSection {
public:
    bool Enter() {
        mutex_.lock();
        return true;
    }
    bool Leave() {
        mutex_.unlock();
        return true;
    }

private:
    std::mutex mutex_;
};

// Scoped Enter/Leave; a null section is no lock (files used outside any track).
class TCriticalGuard {
public:
    explicit TCriticalGuard(TVELCriticalSection* section) : section_(section) {
        if (section_) section_->Enter();
    }
    ~TCriticalGuard() {
        if (section_) section_->Leave();
    }
    TCriticalGuard(const TCriticalGuard&) = delete;
    TCriticalGuard& operator=(const TCriticalGuard&) = delete;

private:
    TVELCriticalSection* section_;
};
