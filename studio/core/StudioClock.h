// The Studio's clock loop: a worker that runs one tick each time its semaphore is released
// (the 100 ms timer of the GUI, or TClockTicker of the command-line tool). Qt-free.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "ui/core/MessageSink.h"
#include "ui/core/UiCallGate.h"
#include "ui/core/VelSemaphore.h"
#include "ui/core/VelThread.h"

class TStudioClock {
  public:
    // `waitMs` bounds every wait of the loop; a wait that runs out is a failure that ends the
    // loop (the timer keeps releasing well within it). Infinite by default.
    explicit TStudioClock(TMessageSink& messages, uint32_t waitMs = TVELSemaphore::kInfinite);
    ~TStudioClock(); // Stop()
    TStudioClock(const TStudioClock&) = delete;
    TStudioClock& operator=(const TStudioClock&) = delete;

    // User-interface thread. `tick` runs on the clock's thread; `onFailure` too, after a failed
    // wait was reported (the owner disables its timer there). False when a loop still runs.
    bool Start(std::function<void()> tick, std::function<void()> onFailure = {});
    // The timer's handler: one release, so ticks never pile up beyond one.
    void Tick();
    // The gate through which the ticks hand work to the user-interface thread and wait for it
    // (none by default). Stop releases it before it waits for the loop.
    void SetUiGate(TUiCallGate* gate) { gate_ = gate; }
    // Cancel, release so that a waiting loop wakes and sees it, then wait for its end. On the
    // user-interface thread, the tick in hand may be waiting for this very thread: the gate
    // is released first, so that tick answers "not done" and the loop can end.
    void Stop();
    bool Running() const { return thread_.InWork(); }
    // Releases the loop has not taken up yet (0 or 1).
    int32_t PendingTicks() const { return semaphore_.Count(); }

  private:
    void Loop();

    TMessageSink& messages_;
    const uint32_t waitMs_;
    TVELSemaphore semaphore_{1};
    TVelThread thread_;
    std::function<void()> tick_;
    std::function<void()> onFailure_;
    TUiCallGate* gate_ = nullptr;
};

// Releases a clock every `periodMs` on its own thread, the way the GUI's timer does.
class TClockTicker {
  public:
    TClockTicker(TStudioClock& clock, uint32_t periodMs = 100);
    ~TClockTicker(); // stops and joins
    TClockTicker(const TClockTicker&) = delete;
    TClockTicker& operator=(const TClockTicker&) = delete;
    void Stop();

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};
