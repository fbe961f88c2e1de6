#include "ui/core/UiCallGate.h"

#include <algorithm>

// One queued call, shared by the waiting worker and the function posted to the UI thread.
struct TUiCallGate::Pending {
    enum class Stage { Queued, Running, Done, Dropped };
    std::mutex mutex;
    std::condition_variable changed;
    Stage stage = Stage::Queued;
    bool released = false; // the worker stopped waiting
    std::function<void()> call;
};

TUiCallGate::TUiCallGate(Post post, IsUiThread isUiThread)
    : post_(std::move(post)), isUiThread_(std::move(isUiThread)) {}

TUiCallGate::~TUiCallGate() {
    Release();
}

bool TUiCallGate::Call(std::function<void()> call) {
    if (isUiThread_ && isUiThread_()) {
        call();
        return true;
    }
    auto pending = std::make_shared<Pending>();
    pending->call = std::move(call);
    {
        std::lock_guard lock(mutex_);
        if (!held_) return false;
        waiting_.push_back(pending);
    }
    post_([pending] {
        {
            std::lock_guard lock(pending->mutex);
            if (pending->stage != Pending::Stage::Queued) return; // dropped by a release
            pending->stage = Pending::Stage::Running;
        }
        pending->call();
        {
            std::lock_guard lock(pending->mutex);
            pending->stage = Pending::Stage::Done;
            pending->call = nullptr; // what it holds goes with the UI thread's run
        }
        pending->changed.notify_all();
    });
    bool done = false;
    {
        std::unique_lock lock(pending->mutex);
        pending->changed.wait(lock, [&] {
            return pending->stage == Pending::Stage::Done || pending->released;
        });
        done = pending->stage == Pending::Stage::Done;
    }
    std::lock_guard lock(mutex_);
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), pending), waiting_.end());
    return done;
}

void TUiCallGate::Release() {
    std::vector<std::shared_ptr<Pending>> waiting;
    {
        std::lock_guard lock(mutex_);
        held_ = false;
        waiting = waiting_;
    }
    for (const auto& pending : waiting) {
        {
            std::lock_guard lock(pending->mutex);
            pending->released = true;
            if (pending->stage == Pending::Stage::Queued) pending->stage = Pending::Stage::Dropped;
        }
        pending->changed.notify_all();
    }
}

void TUiCallGate::Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

bool TUiCallGate::Held() const {
    std::lock_guard lock(mutex_);
    return held_;
}

int TUiCallGate::Waiting() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(waiting_.size());
}
