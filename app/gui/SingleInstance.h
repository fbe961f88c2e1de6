// One running Wavestack per user and settings folder, over a local socket (InstanceMessage.h
// holds its rules and message). The first start takes a lock file beside the socket, listens,
// and reports what later starts ask for; a later start finds the lock held, hands its
// requests to the one that listens and ends.
//
// The lock decides who listens, so two starts at once never both listen: the one that takes
// it listens, the other waits for it to answer. A lock left by a crashed instance is taken
// over (its process is gone) and its socket removed before listening again. Where no lock
// can be made at all, a start that cannot connect removes the socket and listens.
//
// User-interface thread; the signals are sent from its event loop, once a message is whole.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "app/gui/InstanceMessage.h"

class QLocalServer;
class QLocalSocket;

class TSingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class TRole : uint8_t {
        Primary,    // this start listens: it is the running instance
        Delivered,  // the running instance took the requests: end this start
        Unanswered, // another instance holds the lock but never took them
        Alone,      // nothing could listen here: run without the others finding this one
    };

    // The socket at `socketPath` (InstanceSocketPath), its lock at `socketPath` + ".lock".
    explicit TSingleInstance(const QString& socketPath, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Listens, or hands `requests` to the instance that does, waiting at most `waitMs` for it
    // to answer (it may itself be starting). Once only.
    TRole Start(const std::vector<TInstanceRequest>& requests, int waitMs);
    bool Listening() const;
    QString SocketPath() const { return socketPath_; }

    // The socket path of this user and of this settings folder (ConfigDir, made absolute).
    static QString DefaultSocketPath();
    // Sends `requests` to whatever listens at `socketPath` and waits for its answer; true
    // once it answered. Used by Start and by tests that play a later start.
    static bool Deliver(const QString& socketPath, const std::vector<TInstanceRequest>& requests,
                        int waitMs);

  signals:
    void RaiseRequested();
    void OpenRequested(const QString& path);

  private:
    bool Listen();
    void Accept();

    QString socketPath_;
    QLockFile lock_;
    QLocalServer* server_ = nullptr;
};
