// Runs one job at a time on a fresh worker thread, with cooperative cancellation.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The thread of one job. Created per Start; the stop request lives here, so it is forgotten
// when the next job starts.
class TVelThreadHelper {
  public:
    explicit TVelThreadHelper(std::function<void()> work) : work_(std::move(work)) {}
    ~TVelThreadHelper(); // waits for the thread to end

    void Run(std::function<void()> onTerminate); // starts the thread
    void RequestTerminate() { terminate_.store(true, std::memory_order_release); }
    bool Terminated() const { return terminate_.load(std::memory_order_acquire); }
    bool Running() const { return running_.load(std::memory_order_acquire); }
    // Whether the caller is this job's own thread.
    bool IsCallerThread() const;
    // Waits for the thread to end. Any number of threads may wait at once (a WaitForJob and a
    // CancelAndWait, say); one of them joins and the others wait for that. The job's own thread
    // returns at once: it cannot wait for itself.
    void Join();

  private:
    std::function<void()> work_;
    std::mutex joinMutex_; // one joiner at a time; held only by threads other than the job's
    std::atomic<bool> terminate_{false};
    // Set before the thread starts, so a Start right after a Start always sees the job as
    // running (the job cannot be "not yet running" and accept a second job).
    std::atomic<bool> running_{true};
    std::thread thread_;
};

class TVelThread {
  public:
    TVelThread() = default;
    ~TVelThread(); // waits for the last job's thread
    TVelThread(const TVelThread&) = delete;
    TVelThread& operator=(const TVelThread&) = delete;

    // User-interface thread. Refuses (false) while a job is inside its work; that job is then
    // asked to stop and goes on. Otherwise the old thread is freed and `work` runs on a new
    // one at one step below normal priority. Clears IgnoreCancel.
    bool Start(std::function<void()> work);
    void Cancel();
    void CancelAndWait();
    // Waits until the current job's thread has ended, without asking it to stop.
    void WaitForJob();
    // Worker: true once a stop was requested, unless IgnoreCancel is set.
    bool Cancelled() const;
    bool InWork() const;
    // Whether the caller is the current job's thread (a job acting on its own track).
    bool OnWorkerThread() const;

    void SetIgnoreCancel(bool on) { ignoreCancel_.store(on, std::memory_order_release); }
    bool IgnoreCancel() const { return ignoreCancel_.load(std::memory_order_acquire); }
    // Called on the worker thread after each job's work has returned; may be empty.
    void SetTerminateNotification(std::function<void()> notify);

  private:
    std::shared_ptr<TVelThreadHelper> Current() const;

    mutable std::mutex mutex_; // guards helper_ and onTerminate_, never held while joining
    std::shared_ptr<TVelThreadHelper> helper_;
    std::function<void()> onTerminate_;
    std::atomic<bool> ignoreCancel_{false};
};
