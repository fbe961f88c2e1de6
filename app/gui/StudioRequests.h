// The running main window's side of later starts: a raise brings the window forward (out of
// its minimized state); each file waits until the window could open one itself (shown, its
// sound device made, idle, Open enabled, no box up) and is then opened by name, in the order
// asked. A song asks its close questions as File|Open does; while they are up, the files after
// it wait. UI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <string>

class TFormStudio;
class TSingleInstance;

class TStudioRequests : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxPending = 64;     // files asked for and not yet opened
    static constexpr int kRetryInterval = 100; // [ms] between looks at a busy window

    explicit TStudioRequests(TFormStudio& window, QObject* parent = nullptr);

    // Takes `instance`'s requests from now on, each after the message that brought it is
    // answered (queued), so that a box a file brings up never holds up the later start.
    void Follow(TSingleInstance& instance);
    void Raise();
    // Queues `path` (dropped when kMaxPending wait already) and opens what it can now.
    void Open(const QString& path);
    int Pending() const { return static_cast<int>(pending_.size()); }
    // Whether the window could open a file right now.
    bool WindowCanOpen() const;

  private:
    void OpenPending();

    TFormStudio& window_;
    std::deque<std::string> pending_;
    QTimer retry_;
    bool opening_ = false;
};
