#include "platform/PulseContext.h"

namespace {

void SignalLoop(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

} // namespace

TPulseContext::~TPulseContext() {
    if (loop_ == nullptr) return;
    {
        TLock lock(*this);
        DropContextLocked();
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

bool TPulseContext::Connect(Clock::duration timeout) {
    if (loop_ == nullptr) {
        loop_ = pa_threaded_mainloop_new();
        if (loop_ == nullptr) return false;
        if (pa_threaded_mainloop_start(loop_) < 0) {
            pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
            return false;
        }
    }
    TLock lock(*this);
    return ReconnectLocked(timeout);
}

bool TPulseContext::ReconnectLocked(Clock::duration timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    DropContextLocked();
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Wavestack");
    if (context_ == nullptr) return false;
    pa_context_set_state_callback(context_, &TPulseContext::StateCallback, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        DropContextLocked();
        return false;
    }
    const bool settled = WaitLocked(
        [this] {
            const pa_context_state_t state = pa_context_get_state(context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        deadline);
    if (!settled || pa_context_get_state(context_) != PA_CONTEXT_READY) {
        DropContextLocked();
        return false;
    }
    wasReady_ = true;
    return true;
}

bool TPulseContext::WaitLocked(const std::function<bool()>& done, Clock::time_point deadline) {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    pa_time_event* alarm = nullptr;
    bool result = true;
    while (!done()) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            result = false;
            break;
        }
        // Time events of the loop run on the wall clock; the deadline itself is checked on
        // the steady clock, and the alarm is set again after every wake-up, so a wall-clock
        // jump costs at most one extra wake-up.
        timeval when;
        pa_gettimeofday(&when);
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
        pa_timeval_add(&when, static_cast<pa_usec_t>(left) + 1000);
        if (alarm == nullptr)
            alarm = api->time_new(api, &when, &SignalLoop, loop_);
        else
            api->time_restart(alarm, &when);
        pa_threaded_mainloop_wait(loop_);
    }
    if (alarm != nullptr) api->time_free(alarm);
    return result;
}

void TPulseContext::DropContextLocked() {
    if (context_ == nullptr) return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    wasReady_ = false;
}

void TPulseContext::StateCallback(pa_context* context, void* self) {
    auto* pulse = static_cast<TPulseContext*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (!PA_CONTEXT_IS_GOOD(state) && pulse->wasReady_ && pulse->lostHandler_)
        pulse->lostHandler_();
    pa_threaded_mainloop_signal(pulse->loop_, 0);
}
