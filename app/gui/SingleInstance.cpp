#include "app/gui/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <algorithm>

#include "platform/ConfigPaths.h"

namespace {

const QByteArray kAnswer = QByteArrayLiteral("ok\n");
// How long a connected later start may take to send its message before it is dropped, so
// that a stuck one cannot hold the running instance's socket.
constexpr int kMessageTimeout = 5000; // [ms]
constexpr int kConnectRetry = 50;     // [ms]

int Remaining(const QElapsedTimer& clock, int waitMs) {
    return static_cast<int>(std::max<qint64>(0, waitMs - clock.elapsed()));
}

// One message on a connected socket: sent whole, then the answer read.
bool SendAndHear(QLocalSocket& socket, const QByteArray& message, const QElapsedTimer& clock,
                 int waitMs) {
    socket.write(message);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(std::max(1, Remaining(clock, waitMs)))) return false;
    QByteArray answer;
    while (answer.size() < kAnswer.size()) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(std::max(1, Remaining(clock, waitMs))))
            return false;
        answer += socket.read(kAnswer.size() - answer.size());
    }
    return answer == kAnswer;
}

} // namespace

TSingleInstance::TSingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), socketPath_(socketPath), lock_(socketPath + QStringLiteral(".lock")) {
    // Only a lock whose process is gone is stale: a running instance holds it for days.
    lock_.setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() {
    if (server_) server_->close(); // removes the socket before the lock goes
    if (lock_.isLocked()) lock_.unlock();
}

QString TSingleInstance::DefaultSocketPath() {
    const QString configDir =
        QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(ConfigDir())));
    return QString::fromStdString(InstanceSocketPath(
        qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString(), QDir::tempPath().toStdString(),
        static_cast<uint32_t>(getuid()), configDir.toStdString()));
}

bool TSingleInstance::Listening() const {
    return server_ && server_->isListening();
}

TSingleInstance::TRole TSingleInstance::Start(const std::vector<TInstanceRequest>& requests,
                                              int waitMs) {
    if (lock_.tryLock(0)) {
        // Ours: a socket still there was left by an instance that ended without removing it.
        QLocalServer::removeServer(socketPath_);
        if (Listen()) return TRole::Primary;
        lock_.unlock(); // later starts must not wait for an answer that never comes
        return TRole::Alone;
    }
    if (lock_.error() == QLockFile::LockFailedError)
        return Deliver(socketPath_, requests, waitMs) ? TRole::Delivered : TRole::Unanswered;
    // No lock can be made here: whoever answers is the running instance; without an answer
    // the socket is a dead one's.
    if (Deliver(socketPath_, requests, std::min(waitMs, 1000))) return TRole::Delivered;
    QLocalServer::removeServer(socketPath_);
    return Listen() ? TRole::Primary : TRole::Alone;
}

bool TSingleInstance::Listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        qWarning("Wavestack cannot listen at %s: %s", qPrintable(socketPath_),
                 qPrintable(server_->errorString()));
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
    return true;
}

void TSingleInstance::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto reader = std::make_shared<TInstanceMessageReader>();
        auto* timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::errorOccurred, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader, timeout] {
            if (reader->Status() != TInstanceMessageReader::TStatus::NeedMore) {
                socket->readAll(); // nothing may follow the message; its answer is gone
                return;
            }
            const QByteArray bytes = socket->readAll();
            switch (reader->Feed(std::string_view(bytes.constData(), bytes.size()))) {
            case TInstanceMessageReader::TStatus::NeedMore:
                return;
            case TInstanceMessageReader::TStatus::Malformed:
                qWarning("Wavestack ignored a malformed message from a later start");
                socket->abort();
                socket->deleteLater();
                return;
            case TInstanceMessageReader::TStatus::Complete:
                break;
            }
            timeout->stop();
            socket->write(kAnswer);
            socket->flush();
            socket->disconnectFromServer();
            // The answer is out first: the later start need not wait for what these do.
            for (const TInstanceRequest& request : reader->Requests()) {
                if (request.kind == TInstanceRequestKind::Raise)
                    emit RaiseRequested();
                else
                    emit OpenRequested(QString::fromStdString(request.path));
            }
        });
        timeout->start(kMessageTimeout);
        if (socket->bytesAvailable() > 0) emit socket->readyRead();
    }
}

bool TSingleInstance::Deliver(const QString& socketPath,
                              const std::vector<TInstanceRequest>& requests, int waitMs) {
    const std::optional<std::string> message = EncodeInstanceMessage(requests);
    if (!message) return false;
    const QByteArray bytes(message->data(), static_cast<qsizetype>(message->size()));
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(std::max(1, Remaining(clock, waitMs))))
            return SendAndHear(socket, bytes, clock, waitMs);
        // Not listening yet (the lock's holder may be starting), or not at all.
        if (Remaining(clock, waitMs) == 0) return false;
        QThread::msleep(std::min(kConnectRetry, Remaining(clock, waitMs)));
    }
}
