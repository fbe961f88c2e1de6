// Time arithmetic the benchmarks share: milliseconds of a steady-clock span, the median; and for
// the benchmarks that link Qt Widgets, what holds the user-interface thread: a stall probe, the
// longest event, the longest call.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace bench

#ifdef QT_WIDGETS_LIB
// For the benchmarks that link Qt Widgets: what holds the user-interface thread.
#include <QApplication>
#include <QEvent>
#include <QMetaEnum>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

namespace bench {

// The longest of some timed things [ms], and which it was.
struct TLongest {
    double ms = 0;
    std::string what;
    void Keep(double candidateMs, const std::string& candidate) {
        if (candidateMs > ms) *this = {candidateMs, candidate};
    }
};

// Runs `call` and keeps it in `longest` under `name` when it took longer than any before.
inline void TimedCall(TLongest& longest, const char* name, const std::function<void()>& call) {
    const auto start = Clock::now();
    call();
    longest.Keep(Ms(Clock::now() - start), name);
}

// The longest stall a probe saw [ms], and how the thread spent that gap, as the scheduler
// counts it: on a core, runnable but waiting for one (other threads had both), or asleep (in
// the loop's wait for the next tick, or blocked: a lock, a wait for a worker, the disk).
struct TStall {
    double ms = 0;       // how much later than due the tick came
    double gapMs = 0;    // the whole gap between the ticks
    double onCoreMs = 0; // the thread's processor time in the gap
    double runnableMs = 0;
    double AsleepMs() const { return std::max(0.0, gapMs - onCoreMs - runnableMs); }
};

// A precise timer on the user-interface thread every `intervalMs`; the stall is how much later
// than due a tick came, the largest between Begin and End. Whatever holds the thread, an event
// or a call made outside any event, shows as a late tick. Made on the user-interface thread.
class TStallProbe {
  public:
    explicit TStallProbe(int intervalMs)
        : intervalMs_(intervalMs), schedstat_(::open("/proc/thread-self/schedstat", O_RDONLY)) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    ~TStallProbe() {
        if (schedstat_ >= 0) ::close(schedstat_);
    }
    TStallProbe(const TStallProbe&) = delete;
    TStallProbe& operator=(const TStallProbe&) = delete;
    void Begin() {
        worst_ = {};
        last_ = Now();
        timer_.start();
    }
    // The gap up to now counts too: a call the phase ended with may have held the thread.
    double End() {
        Tick();
        timer_.stop();
        return worst_.ms;
    }
    const TStall& Worst() const { return worst_; }
    // Whether the split of the gap is known (the kernel's per-thread schedstat).
    bool Splits() const { return schedstat_ >= 0; }

  private:
    struct TMoment {
        Clock::time_point wall;
        double onCoreMs = 0, runnableMs = 0;
    };
    TMoment Now() const {
        TMoment m;
        m.wall = Clock::now();
        char text[96] = {};
        unsigned long long onCore = 0, runnable = 0; // [ns]
        if (schedstat_ >= 0 && ::pread(schedstat_, text, sizeof text - 1, 0) > 0 &&
            std::sscanf(text, "%llu %llu", &onCore, &runnable) == 2) {
            m.onCoreMs = onCore / 1e6;
            m.runnableMs = runnable / 1e6;
        }
        return m;
    }
    void Tick() {
        const TMoment now = Now();
        const double gap = Ms(now.wall - last_.wall);
        if (gap - intervalMs_ > worst_.ms)
            worst_ = {gap - intervalMs_, gap, now.onCoreMs - last_.onCoreMs,
                      now.runnableMs - last_.runnableMs};
        last_ = now;
    }

    QTimer timer_;
    int intervalMs_;
    int schedstat_; // the file descriptor, or -1
    TMoment last_{};
    TStall worst_;
};

// The application, timing the events the user-interface thread dispatches outside any other
// event: the longest since Reset, named by its type, its receiver's class and object name.
class TEventTimingApplication : public QApplication {
  public:
    using QApplication::QApplication;
    void Reset() { longest_ = {}; }
    const TLongest& Longest() const { return longest_; }

    bool notify(QObject* receiver, QEvent* event) override {
        if (!receiver || depth_ > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        // Read before the dispatch: the event may not outlive it, nor the receiver.
        const QEvent::Type type = event->type();
        const char* className = receiver->metaObject()->className();
        const QString objectName = receiver->objectName();
        ++depth_;
        const auto start = Clock::now();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = Ms(Clock::now() - start);
        --depth_;
        if (ms > longest_.ms) {
            const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
            std::string what = typeName ? typeName : std::to_string(static_cast<int>(type));
            what += std::string(" to ") + className;
            if (!objectName.isEmpty()) what += " \"" + objectName.toStdString() + "\"";
            longest_ = {ms, what};
        }
        return handled;
    }

  private:
    int depth_ = 0;
    TLongest longest_;
};

} // namespace bench
#endif
