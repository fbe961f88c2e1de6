// A window's user-interface thread as the core sees it, for tests: calls handed to it wait in a
// queue until the test pumps it, so a worker that asks it something blocks exactly as under a
// busy window. The owner, sink and clipboard here wait the way a window's boxes, dialogs and
// clipboard do, through one TUiCallGate, and release it before the track waits for its worker.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "track/HeadlessView.h"
#include "track/TrackInterfaces.h"
#include "ui/core/MessageSink.h"
#include "ui/core/UiCallGate.h"

namespace blockingui {

// The thread that creates it is the "user-interface thread".
class TTestUiThread {
  public:
    TTestUiThread() : id_(std::this_thread::get_id()) {}

    TUiCallGate::Post Poster() {
        return [this](std::function<void()> call) {
            {
                std::lock_guard lock(mutex_);
                queue_.push_back(std::move(call));
            }
            queued_.notify_all();
        };
    }
    TUiCallGate::IsUiThread Checker() const {
        return [id = id_] { return std::this_thread::get_id() == id; };
    }
    // Runs what is queued, as one turn of an event loop; answers how many ran.
    int Pump() {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard lock(mutex_);
            calls.swap(queue_);
        }
        for (auto& call : calls)
            call();
        return static_cast<int>(calls.size());
    }

  private:
    std::thread::id id_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> queue_;
};

// Kind-1 messages wait for their "box" on the user-interface thread, as the message panel's do.
struct TBlockingSink : TMessageSink {
    explicit TBlockingSink(TUiCallGate& g) : gate(g) {}
    void AddMessage(uint8_t kind, const std::string& text) override {
        {
            std::lock_guard lock(mutex);
            lines.emplace_back(kind, text);
        }
        if (kind == kMsgError) gate.Call([] {});
    }
    bool SawPrefix(int kind, const std::string& prefix) {
        std::lock_guard lock(mutex);
        for (auto& [k, t] : lines)
            if (k == kind && t.rfind(prefix, 0) == 0) return true;
        return false;
    }
    TUiCallGate& gate;
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;
};

// The owner's questions wait for the user-interface thread; it lets go of them before the track
// waits for its worker.
struct TBlockingOwner : TTrackOwner {
    explicit TBlockingOwner(TUiCallGate& g) : gate(g) {}
    void ShowUndoWarning(const std::string&) override { gate.Call([] {}); }
    std::optional<WAVEFORMATEX> ChooseConversionFormat(const WAVEFORMATEX& current) override {
        return gate.Ask<WAVEFORMATEX>([current] { return current; });
    }
    std::optional<std::string> ChooseTransferFile(bool, const std::string&,
                                                  const std::string&) override {
        return transferChoice;
    }
    void BeforeWaitingForWorker(TVelTrack&) override {
        ++releases;
        gate.Release();
    }
    void AfterWaitingForWorker(TVelTrack&) override { gate.Hold(); }
    TUiCallGate& gate;
    std::optional<std::string> transferChoice;
    std::atomic<int> releases{0};
};

// The clipboard's calls run on the user-interface thread, as the desktop clipboard's do.
struct TGatedClipboard : TClipboardStore {
    explicit TGatedClipboard(TUiCallGate& g) : gate(g) {}
    bool HoldsWave() override { return gate.Ask<bool>([this] { return inner.HoldsWave(); }).value_or(false); }
    bool Open() override { return inner.Open(); }
    void Close() override { inner.Close(); }
    bool SetWave(std::shared_ptr<TMemoryBlock> wave) override {
        return gate.Ask<bool>([this, wave] { return inner.SetWave(wave); }).value_or(false);
    }
    std::shared_ptr<TMemoryBlock> GetWave() override {
        return gate.Ask<std::shared_ptr<TMemoryBlock>>([this] { return inner.GetWave(); })
            .value_or(nullptr);
    }
    TUiCallGate& gate;
    TMemoryClipboard inner;
};

// Runs `step` on this thread; a step that does not end within `seconds` is a deadlock, which
// ends the test program with a message instead of hanging the whole run.
inline void FinishesWithin(int seconds, const char* what, const std::function<void()>& step) {
    std::promise<void> finished;
    std::thread watchdog([&, future = finished.get_future()]() mutable {
        if (future.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready) return;
        std::fprintf(stderr, "deadlock: %s did not finish within %d s\n", what, seconds);
        std::abort();
    });
    step();
    finished.set_value();
    watchdog.join();
}

inline bool WaitUntil(const std::function<bool()>& done, int seconds = 20) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace blockingui
