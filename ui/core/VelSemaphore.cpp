#include "ui/core/VelSemaphore.h"

#include <chrono>

TVELSemaphore::TVELSemaphore(int32_t initialCount)
    : count_(initialCount), maximum_(initialCount < 1 ? 1 : initialCount) {}

bool TVELSemaphore::Wait(uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return count_ > 0; };
    bool got;
    if (timeoutMs == kInfinite) {
        available_.wait(lock, ready);
        got = true;
    } else {
        got = available_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    if (!got) {
        lastError_ = "WaitForSingleObject " + std::to_string(kWaitTimeout);
        return false;
    }
    --count_;
    return true;
}

bool TVELSemaphore::Release() {
    {
        std::lock_guard lock(mutex_);
        if (count_ < maximum_) ++count_;
    }
    available_.notify_one();
    return true;
}

std::string TVELSemaphore::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

int32_t TVELSemaphore::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}
