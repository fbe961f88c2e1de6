// Counting semaphore with a time-out whose maximum equals its initial count.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

class TVELSemaphore {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFF;
    // The result code a timed-out wait reports, as the system has always written it.
    static constexpr uint32_t kWaitTimeout = 258;

    explicit TVELSemaphore(int32_t initialCount);

    // Takes one count, waiting at most timeoutMs. False on a time-out, with LastError set to
    // "WaitForSingleObject 258".
    bool Wait(uint32_t timeoutMs);
    bool WaitForever() { return Wait(kInfinite); }
    // Gives one count back; a count already at its maximum stays there.
    bool Release();

    std::string LastError() const;
    int32_t Count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable available_;
    int32_t count_;
    const int32_t maximum_;
    std::string lastError_;
};
