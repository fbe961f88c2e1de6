// One running instance per user and settings folder, with real processes and no sound
// server: later starts of the built `wavestack` hand their files to an instance listening in
// this test, starts at once agree on one that listens, a crashed instance's lock and socket
// are taken over, malformed messages are dropped, and the main window's side raises it and
// keeps files waiting while it has no sound device.
//
// This executable is also its own helper process: with "--child-..." it plays one start
// (see ChildMain) so that several processes race for the same socket.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/gui/SingleInstance.h"
#include "app/gui/StudioRequests.h"
#include "studio/StudioWindow.h"
#include "studio/core/SoundSetup.h"
#include "ui/widgets/VelMpnl.h"

namespace {

constexpr int kProcessWait = 30000; // [ms] generous: the machine may be busy

void Say(const QByteArray& line) {
    std::fputs((line + "\n").constData(), stdout);
    std::fflush(stdout);
}

// The helper processes:
//   --child-hold <socket>                      listen (or report why not) until killed
//   --child-race <socket> <index> <count> <t>  at wall-clock ms <t>, start with "open
//       /race/<index>"; the one that listens reports the <count> - 1 opens it gets, then ends
//   --child-lock <socket>                      hold the lock only, never listen
int ChildMain(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[1]);
    if (argc < 3) return 2;
    const QString socket = QString::fromLocal8Bit(argv[2]);
    if (mode == QStringLiteral("--child-lock")) {
        QLockFile lock(socket + QStringLiteral(".lock"));
        Say(lock.tryLock(0) ? "locked" : "not locked");
        return app.exec();
    }
    TSingleInstance instance(socket);
    int expected = 0;
    std::vector<TInstanceRequest> requests;
    if (mode == QStringLiteral("--child-race")) {
        if (argc < 6) return 2;
        expected = std::atoi(argv[4]) - 1;
        requests = {{TInstanceRequestKind::Raise, std::string()},
                    {TInstanceRequestKind::Open, std::string("/race/") + argv[3]}};
        const qint64 startAt = std::atoll(argv[5]);
        while (QDateTime::currentMSecsSinceEpoch() < startAt)
            QThread::msleep(1);
    }
    const TSingleInstance::TRole role = instance.Start(requests, kProcessWait);
    if (role == TSingleInstance::TRole::Delivered) {
        Say("delivered");
        return 0;
    }
    if (role != TSingleInstance::TRole::Primary) {
        Say(role == TSingleInstance::TRole::Alone ? "alone" : "unanswered");
        return 3;
    }
    Say("primary");
    int opens = 0;
    QObject::connect(&instance, &TSingleInstance::OpenRequested, [&](const QString& path) {
        Say("open " + path.toUtf8());
        if (++opens == expected) app.quit();
    });
    if (mode == QStringLiteral("--child-race")) {
        if (expected == 0) return 0;
        QTimer::singleShot(kProcessWait, &app, [&app] { app.exit(4); });
    }
    return app.exec();
}

QStringList OutputLines(QProcess& process) {
    return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// Waits for a helper's first line while this test's own event loop keeps running (an
// instance listening here must answer the helper meanwhile).
QString FirstLine(QProcess& process, QStringList& lines) {
    QElapsedTimer clock;
    clock.start();
    while (lines.isEmpty() && clock.elapsed() < kProcessWait &&
           (process.state() != QProcess::NotRunning || process.bytesAvailable() > 0)) {
        QTest::qWait(20);
        lines += OutputLines(process);
    }
    return lines.isEmpty() ? QString() : lines.first();
}

bool Ended(QProcess& process) {
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < kProcessWait)
        QTest::qWait(20);
    return process.state() == QProcess::NotRunning;
}

// A socket file as a crashed instance leaves it: bound once, nobody listening.
bool LeaveDeadSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::strncpy(address.sun_path, bytes.constData(), sizeof address.sun_path - 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void ALaterStartHandsOverItsFilesAndEnds();
    void MalformedMessagesAreDroppedAndTheInstanceGoesOn();
    void StartsAtOnceAgreeOnOneInstance();
    void ACrashedInstanceIsTakenOver();
    void ADeadSocketAloneIsReplaced();
    void SettingsFoldersKeepInstancesApart();
    void AHeldLockIsNotTakenOver();
    void WhereNothingCanListenEachStartRunsAlone();
    void TheWindowIsRaisedAndFilesWaitForItsDevice();

  private:
    // Starts the built program, as a later start would be, in `workingDir`.
    void StartProgram(QProcess& process, const QString& workingDir, const QStringList& args);
    void StartChild(QProcess& process, const QStringList& args);

    QTemporaryDir root_;
    int folder_ = 0;
    QString socket_; // this case's socket, of a settings folder of its own
};

void SingleInstanceTest::initTestCase() {
    QVERIFY(root_.isValid());
    // Everything of the instances under this test's folder, never the user's.
    qunsetenv("XDG_RUNTIME_DIR");
    QVERIFY(QDir(root_.path()).mkpath(QStringLiteral("tmp")));
    qputenv("TMPDIR", QFile::encodeName(root_.filePath(QStringLiteral("tmp"))));
}

void SingleInstanceTest::init() {
    const QString config = root_.filePath(QStringLiteral("config-%1").arg(++folder_));
    qputenv("WAVESTACK_CONFIG_DIR", QFile::encodeName(config));
    socket_ = TSingleInstance::DefaultSocketPath();
    QVERIFY(socket_.startsWith(root_.filePath(QStringLiteral("tmp/wavestack-"))));
}

void SingleInstanceTest::StartProgram(QProcess& process, const QString& workingDir,
                                      const QStringList& args) {
    QVERIFY(QDir().mkpath(workingDir));
    process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(WAVESTACK_GUI), args);
    QVERIFY(process.waitForStarted());
}

void SingleInstanceTest::StartChild(QProcess& process, const QStringList& args) {
    process.start(QCoreApplication::applicationFilePath(), args);
    QVERIFY(process.waitForStarted());
}

void SingleInstanceTest::ALaterStartHandsOverItsFilesAndEnds() {
    TSingleInstance running(socket_);
    QSignalSpy raises(&running, &TSingleInstance::RaiseRequested);
    QSignalSpy opens(&running, &TSingleInstance::OpenRequested);
    QCOMPARE(running.Start({}, 0), TSingleInstance::TRole::Primary);
    QVERIFY(running.Listening());
    QVERIFY(QFileInfo(socket_).exists());

    // Relative names are the later start's: made absolute against its own working folder.
    const QString work = root_.filePath(QStringLiteral("work"));
    QProcess later;
    StartProgram(later, work,
                 {"sub/a.wav", "../b.Sng", "/abs/c.WAV", "./d e.wav", "x/../f\nnewline.wav"});
    QVERIFY(Ended(later));
    QCOMPARE(later.exitStatus(), QProcess::NormalExit);
    QCOMPARE(later.exitCode(), 0);
    QCOMPARE(raises.count(), 1);
    QStringList paths;
    for (const QList<QVariant>& signal : opens)
        paths << signal.at(0).toString();
    QCOMPARE(paths, (QStringList{work + "/sub/a.wav", root_.filePath("b.Sng"), "/abs/c.WAV",
                                 work + "/d e.wav", work + "/f\nnewline.wav"}));

    // Without files it only raises.
    QProcess bare;
    StartProgram(bare, work, {});
    QVERIFY(Ended(bare));
    QCOMPARE(bare.exitCode(), 0);
    QCOMPARE(raises.count(), 2);
    QCOMPARE(opens.count(), 5);
}

void SingleInstanceTest::MalformedMessagesAreDroppedAndTheInstanceGoesOn() {
    TSingleInstance running(socket_);
    QSignalSpy raises(&running, &TSingleInstance::RaiseRequested);
    QSignalSpy opens(&running, &TSingleInstance::OpenRequested);
    QCOMPARE(running.Start({}, 0), TSingleInstance::TRole::Primary);

    auto connectClient = [this](QLocalSocket& client) {
        client.connectToServer(socket_);
        QTRY_COMPARE(client.state(), QLocalSocket::ConnectedState);
    };
    // A good request before a bad one: the whole message is dropped, the connection cut.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("malformed"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("malformed"));
    QLocalSocket bad;
    connectClient(bad);
    bad.write("raise\nopen /a.wav\nshutdown\nend\n");
    QTRY_COMPARE_WITH_TIMEOUT(bad.state(), QLocalSocket::UnconnectedState, kProcessWait);
    // A line that never ends is cut off before it can fill memory.
    QLocalSocket endless;
    connectClient(endless);
    endless.write(QByteArray(3 * static_cast<int>(kMaxInstanceLine), 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(endless.state(), QLocalSocket::UnconnectedState, kProcessWait);
    // A message that stops before its end is not acted on.
    QLocalSocket cut;
    connectClient(cut);
    cut.write("raise\nopen /cut.wav\n");
    QVERIFY(cut.waitForBytesWritten(kProcessWait));
    cut.disconnectFromServer();

    // The instance still answers a good message, and only that one is acted on.
    QLocalSocket good;
    connectClient(good);
    good.write("open /good.wav\nend\n");
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += good.readAll()) == "ok\n", kProcessWait);
    QTRY_COMPARE(opens.count(), 1);
    QCOMPARE(opens.at(0).at(0).toString(), QStringLiteral("/good.wav"));
    QTest::qWait(100);
    QCOMPARE(raises.count(), 0);
    QCOMPARE(opens.count(), 1);
}

void SingleInstanceTest::StartsAtOnceAgreeOnOneInstance() {
    // Four starts released at the same moment: one listens, the others reach it.
    constexpr int kStarts = 4;
    const QString startAt = QString::number(QDateTime::currentMSecsSinceEpoch() + 1500);
    std::vector<std::unique_ptr<QProcess>> starts;
    for (int i = 0; i < kStarts; ++i) {
        starts.push_back(std::make_unique<QProcess>());
        StartChild(*starts.back(), {"--child-race", socket_, QString::number(i),
                                    QString::number(kStarts), startAt});
    }
    int primaries = 0;
    int primary = -1;
    QStringList opened;
    for (int i = 0; i < kStarts; ++i) {
        QVERIFY(starts[i]->waitForFinished(3 * kProcessWait));
        QCOMPARE(starts[i]->exitCode(), 0);
        const QStringList lines = OutputLines(*starts[i]);
        QVERIFY(!lines.isEmpty());
        if (lines.first() == QStringLiteral("primary")) {
            ++primaries;
            primary = i;
            opened = lines.mid(1);
        } else {
            QCOMPARE(lines, QStringList{QStringLiteral("delivered")});
        }
    }
    QCOMPARE(primaries, 1);
    QStringList others;
    for (int i = 0; i < kStarts; ++i)
        if (i != primary) others << QStringLiteral("open /race/%1").arg(i);
    opened.sort();
    QCOMPARE(opened, others);
}

void SingleInstanceTest::ACrashedInstanceIsTakenOver() {
    QProcess crashed;
    StartChild(crashed, {"--child-hold", socket_});
    QStringList lines;
    QCOMPARE(FirstLine(crashed, lines), QStringLiteral("primary"));
    crashed.kill(); // no chance to remove its socket or lock
    QVERIFY(crashed.waitForFinished(kProcessWait));
    QVERIFY(QFileInfo(socket_).exists());
    QVERIFY(QFileInfo(socket_ + ".lock").exists());

    TSingleInstance next(socket_);
    QSignalSpy opens(&next, &TSingleInstance::OpenRequested);
    QCOMPARE(next.Start({}, 0), TSingleInstance::TRole::Primary);
    QProcess later;
    StartProgram(later, root_.path(), {"after-crash.wav"});
    QVERIFY(Ended(later));
    QCOMPARE(later.exitCode(), 0);
    QCOMPARE(opens.count(), 1);
    QCOMPARE(opens.at(0).at(0).toString(), root_.filePath("after-crash.wav"));
}

void SingleInstanceTest::ADeadSocketAloneIsReplaced() {
    QVERIFY(LeaveDeadSocket(socket_));
    QVERIFY(QFileInfo(socket_).exists());
    QVERIFY(!QFileInfo(socket_ + ".lock").exists());
    {
        TSingleInstance next(socket_);
        QCOMPARE(next.Start({}, 0), TSingleInstance::TRole::Primary);
        QLocalSocket client;
        client.connectToServer(socket_);
        QTRY_COMPARE(client.state(), QLocalSocket::ConnectedState);
        client.write("raise\nend\n");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += client.readAll()) == "ok\n", kProcessWait);
    }
    // An instance that ends cleanly leaves neither socket nor lock behind.
    QVERIFY(!QFileInfo(socket_).exists());
    QVERIFY(!QFileInfo(socket_ + ".lock").exists());
}

void SingleInstanceTest::SettingsFoldersKeepInstancesApart() {
    TSingleInstance running(socket_);
    QSignalSpy opens(&running, &TSingleInstance::OpenRequested);
    QCOMPARE(running.Start({}, 0), TSingleInstance::TRole::Primary);

    // A start with another settings folder listens on its own socket: it becomes an instance
    // of its own (and, expecting no other start, ends at once).
    const QString ownSocket = socket_;
    init();
    QVERIFY(socket_ != ownSocket);
    QProcess elsewhere;
    StartChild(elsewhere, {"--child-race", socket_, "7", "1", "0"});
    QVERIFY(elsewhere.waitForFinished(kProcessWait));
    QCOMPARE(OutputLines(elsewhere), QStringList{QStringLiteral("primary")});
    // The same folder again reaches the running one.
    QProcess same;
    StartChild(same, {"--child-race", ownSocket, "8", "2", "0"});
    QVERIFY(Ended(same));
    QCOMPARE(OutputLines(same), QStringList{QStringLiteral("delivered")});
    QCOMPARE(opens.count(), 1);
    QCOMPARE(opens.at(0).at(0).toString(), QStringLiteral("/race/8"));
}

void SingleInstanceTest::AHeldLockIsNotTakenOver() {
    // The lock's holder is alive but does not answer (starting, or stuck): a later start does
    // not listen beside it, and says so.
    QProcess holder;
    StartChild(holder, {"--child-lock", socket_});
    QStringList lines;
    QCOMPARE(FirstLine(holder, lines), QStringLiteral("locked"));
    TSingleInstance later(socket_);
    QCOMPARE(later.Start({{TInstanceRequestKind::Raise, std::string()}}, 300),
             TSingleInstance::TRole::Unanswered);
    QVERIFY(!later.Listening());
    QVERIFY(!QFileInfo(socket_).exists());
    holder.kill();
    QVERIFY(holder.waitForFinished(kProcessWait));
}

void SingleInstanceTest::WhereNothingCanListenEachStartRunsAlone() {
    // A folder where the socket belongs: the lock is taken, but nothing can listen. The lock
    // goes again, so the next start runs alone too instead of waiting for an answer.
    QVERIFY(QDir().mkpath(socket_));
    TSingleInstance first(socket_);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot listen"));
    QCOMPARE(first.Start({}, 0), TSingleInstance::TRole::Alone);
    QVERIFY(!first.Listening());
    QVERIFY(!QFileInfo(socket_ + ".lock").exists());
    TSingleInstance second(socket_);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot listen"));
    QCOMPARE(second.Start({{TInstanceRequestKind::Raise, std::string()}}, kProcessWait),
             TSingleInstance::TRole::Alone);
    // Nor can a lock be made in a folder that is not there; a start still runs.
    TSingleInstance nowhere(root_.filePath("missing/folder/socket"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot listen"));
    QCOMPARE(nowhere.Start({}, 200), TSingleInstance::TRole::Alone);
}

void SingleInstanceTest::TheWindowIsRaisedAndFilesWaitForItsDevice() {
    // A sound server that is not there: the window never has a device.
    const QByteArray server = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QFile::encodeName("unix:" + root_.filePath("no-server")));
    TFormStudio window;
    window.MPanel()->SetErrorBox([](QWidget*, const QString&) {});
    TStudioRequests requests(window);
    // Not shown yet: a raise does not show it, a file waits.
    requests.Raise();
    QVERIFY(!window.isVisible());
    requests.Open(root_.filePath("early.wav"));
    QCOMPARE(requests.Pending(), 1);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    requests.Raise();
    QTRY_VERIFY(!window.isMinimized());
    QVERIFY(window.isVisible());

    // Well past the retries: without a device nothing is opened, nothing is lost.
    requests.Open(root_.filePath("later.wav"));
    QTest::qWait(5 * TStudioRequests::kRetryInterval);
    QVERIFY(!window.Sound().Device());
    QVERIFY(!requests.WindowCanOpen());
    QCOMPARE(requests.Pending(), 2);
    QVERIFY(window.TrackWindows().empty());
    // The queue is bounded.
    for (int i = requests.Pending(); i < TStudioRequests::kMaxPending; ++i)
        requests.Open(root_.filePath(QStringLiteral("many-%1.wav").arg(i)));
    QCOMPARE(requests.Pending(), TStudioRequests::kMaxPending);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("too many files.*one-more.wav"));
    requests.Open(root_.filePath(QStringLiteral("one-more.wav")));
    QCOMPARE(requests.Pending(), TStudioRequests::kMaxPending);
    if (server.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", server);
}

int main(int argc, char** argv) {
    if (argc > 1 && std::strncmp(argv[1], "--child-", 8) == 0) return ChildMain(argc, argv);
    QApplication app(argc, argv);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SingleInstanceTest.moc"
