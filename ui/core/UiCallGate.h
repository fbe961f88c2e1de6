// Hands a call from a worker to the user-interface thread and lets the worker wait for its
// answer, in a way the user-interface thread can always break. Every window that lets a worker
// wait for it (a question box, a file dialog, the clipboard) makes those calls through a gate,
// and before the user-interface thread itself waits for such a worker (closing the track,
// starting a combine or a take, stopping the clock) it releases the gate: the worker's call
// then answers "not done" at once, so the two threads never wait for each other.
//
// Threads: Call from any thread; Release, Hold and the posted calls on the user-interface
// thread. Standard library only; the window supplies how a call reaches its thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class TUiCallGate {
  public:
    // Queues a function onto the user-interface thread (the Qt layer: a queued invocation;
    // tests: a queue of their own). Calls queued by one thread run in the order queued.
    using Post = std::function<void(std::function<void()>)>;
    using IsUiThread = std::function<bool()>;

    TUiCallGate(Post post, IsUiThread isUiThread);
    ~TUiCallGate(); // releases every waiting worker
    TUiCallGate(const TUiCallGate&) = delete;
    TUiCallGate& operator=(const TUiCallGate&) = delete;

    // On the user-interface thread: runs `call` at once and answers true. Elsewhere: queues it
    // and waits until it has run (true), or until the gate is released first (false; a call not
    // yet begun is then dropped, one already running finishes on its own). While the gate is
    // released, answers false at once without queueing.
    bool Call(std::function<void()> call);

    // A question for the user-interface thread; nullopt when released. The answer is kept in a
    // block the question owns, so a released worker that has left leaves nothing dangling.
    template <class R>
    std::optional<R> Ask(std::function<R()> question) {
        auto answer = std::make_shared<std::optional<R>>();
        const bool answered =
            Call([answer, question = std::move(question)] { *answer = question(); });
        if (!answered) return std::nullopt;
        return *answer;
    }

    // User-interface thread, before it waits for a worker: every waiting call answers false,
    // and later ones do at once, until Hold.
    void Release();
    // User-interface thread, after that wait: calls wait for their answers again.
    void Hold();
    bool Held() const;
    // Workers waiting for a call to run. Any thread.
    int Waiting() const;

  private:
    struct Pending;

    Post post_;
    IsUiThread isUiThread_;
    mutable std::mutex mutex_; // guards held_ and waiting_
    bool held_ = true;
    std::vector<std::shared_ptr<Pending>> waiting_;
};

// Releases a gate for one scope of waiting and holds it again at its end.
class TGateRelease {
  public:
    explicit TGateRelease(TUiCallGate* gate) : gate_(gate) {
        if (gate_) gate_->Release();
    }
    ~TGateRelease() {
        if (gate_) gate_->Hold();
    }
    TGateRelease(const TGateRelease&) = delete;
    TGateRelease& operator=(const TGateRelease&) = delete;

  private:
    TUiCallGate* gate_;
};
