#include "studio/core/StudioClock.h"

#include <chrono>

TStudioClock::TStudioClock(TMessageSink& messages, uint32_t waitMs)
    : messages_(messages), waitMs_(waitMs) {}

TStudioClock::~TStudioClock() {
    Stop();
}

bool TStudioClock::Start(std::function<void()> tick, std::function<void()> onFailure) {
    if (thread_.InWork()) return false;
    tick_ = std::move(tick);
    onFailure_ = std::move(onFailure);
    return thread_.Start([this] { Loop(); });
}

void TStudioClock::Tick() {
    semaphore_.Release();
}

void TStudioClock::Stop() {
    thread_.Cancel();
    semaphore_.Release();
    TGateRelease release(thread_.InWork() ? gate_ : nullptr);
    thread_.CancelAndWait();
}

void TStudioClock::Loop() {
    // The first wait takes the initial count, or the release of a stop that came before the
    // first tick (a clock started again after a stop finds the count taken): every wait is
    // followed by a look for the stop.
    bool ok = semaphore_.Wait(waitMs_);
    while (ok) {
        if (thread_.Cancelled()) return;
        ok = semaphore_.Wait(waitMs_);
        if (!ok) break;
        if (thread_.Cancelled()) return;
        if (tick_) tick_();
    }
    messages_.AddMessage(kMsgError, semaphore_.LastError());
    if (onFailure_) onFailure_();
}

TClockTicker::TClockTicker(TStudioClock& clock, uint32_t periodMs) {
    thread_ = std::thread([this, &clock, periodMs] {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(periodMs), [this] { return stop_; }))
            clock.Tick();
    });
}

TClockTicker::~TClockTicker() {
    Stop();
}

void TClockTicker::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}
