// A libpulse context on its own threaded main loop, connected with a deadline so that an
// unreachable sound server never blocks the caller for long. No Qt.
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>

class TPulseContext {
  public:
    using Clock = std::chrono::steady_clock;

    TPulseContext() = default;
    // Drops the context and stops the loop; streams on it must have been released.
    ~TPulseContext();
    TPulseContext(const TPulseContext&) = delete;
    TPulseContext& operator=(const TPulseContext&) = delete;

    // Called on the loop thread, with the loop locked, when a connected context fails or is
    // terminated by the server. Set before Connect; must not block.
    void SetLostHandler(std::function<void()> handler) { lostHandler_ = std::move(handler); }

    // Caller's thread, loop not locked. Starts the loop if needed and connects a new context
    // (never spawning a server). False when not ready within `timeout`.
    bool Connect(Clock::duration timeout);
    // Loop locked: drops the current context (if any) and connects a new one.
    bool ReconnectLocked(Clock::duration timeout);

    pa_threaded_mainloop* Loop() const { return loop_; }
    pa_context* Context() const { return context_; }

    // Loop locked: waits (releasing the lock meanwhile) until `done` answers true or the
    // deadline passes. Whoever changes what `done` looks at signals the loop.
    bool WaitLocked(const std::function<bool()>& done, Clock::time_point deadline);

    // Holds the loop lock for a scope.
    class TLock {
      public:
        explicit TLock(const TPulseContext& pulse) : loop_(pulse.loop_) {
            if (loop_ != nullptr) pa_threaded_mainloop_lock(loop_);
        }
        ~TLock() {
            if (loop_ != nullptr) pa_threaded_mainloop_unlock(loop_);
        }
        TLock(const TLock&) = delete;
        TLock& operator=(const TLock&) = delete;

      private:
        pa_threaded_mainloop* loop_;
    };

  private:
    void DropContextLocked();
    static void StateCallback(pa_context* context, void* self);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool wasReady_ = false;
    std::function<void()> lostHandler_;
};
