#include "ui/core/VelThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// One nice step below the caller, so long jobs never starve the user-interface thread.
void LowerPriorityOfThisThread() {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (errno == 0) ::setpriority(PRIO_PROCESS, tid, current + 1);
}

// The job whose thread this is; set by the job's thread itself, so no other thread writes it.
thread_local const TVelThreadHelper* tCurrentJob = nullptr;

} // namespace

TVelThreadHelper::~TVelThreadHelper() {
    // A job that frees its own wrapper cannot join itself; its thread finishes on its own.
    // No other thread can be joining then, since each joiner holds a reference.
    if (IsCallerThread()) {
        if (thread_.joinable()) thread_.detach();
        return;
    }
    Join();
}

bool TVelThreadHelper::IsCallerThread() const {
    return tCurrentJob == this;
}

void TVelThreadHelper::Run(std::function<void()> onTerminate) {
    thread_ = std::thread([this, onTerminate = std::move(onTerminate)] {
        tCurrentJob = this;
        LowerPriorityOfThisThread();
        if (work_) work_();
        running_.store(false, std::memory_order_release);
        if (onTerminate) onTerminate();
    });
}

void TVelThreadHelper::Join() {
    if (IsCallerThread()) return;
    std::lock_guard lock(joinMutex_);
    if (thread_.joinable()) thread_.join();
}

TVelThread::~TVelThread() {
    std::shared_ptr<TVelThreadHelper> old;
    {
        std::lock_guard lock(mutex_);
        old = std::move(helper_);
    }
    if (old) old->Join();
}

std::shared_ptr<TVelThreadHelper> TVelThread::Current() const {
    std::lock_guard lock(mutex_);
    return helper_;
}

bool TVelThread::Start(std::function<void()> work) {
    std::shared_ptr<TVelThreadHelper> old;
    std::function<void()> notify;
    {
        std::lock_guard lock(mutex_);
        if (helper_) {
            helper_->RequestTerminate();
            if (helper_->Running()) return false;
        }
        old = std::move(helper_);
        notify = onTerminate_;
    }
    if (old) old->Join(); // it has left its work already; this only reaps the thread

    auto fresh = std::make_shared<TVelThreadHelper>(std::move(work));
    ignoreCancel_.store(false, std::memory_order_release);
    {
        std::lock_guard lock(mutex_);
        helper_ = fresh;
    }
    fresh->Run(std::move(notify));
    return true;
}

void TVelThread::Cancel() {
    if (auto h = Current()) h->RequestTerminate();
}

void TVelThread::CancelAndWait() {
    if (auto h = Current()) {
        h->RequestTerminate();
        h->Join();
    }
}

void TVelThread::WaitForJob() {
    if (auto h = Current()) h->Join();
}

bool TVelThread::Cancelled() const {
    if (IgnoreCancel()) return false;
    auto h = Current();
    return h && h->Terminated();
}

bool TVelThread::InWork() const {
    auto h = Current();
    return h && h->Running();
}

bool TVelThread::OnWorkerThread() const {
    auto h = Current();
    return h && h->IsCallerThread();
}

void TVelThread::SetTerminateNotification(std::function<void()> notify) {
    std::lock_guard lock(mutex_);
    onTerminate_ = std::move(notify);
}
