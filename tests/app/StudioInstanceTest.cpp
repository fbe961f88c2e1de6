// A later start of the built `wavestack` with a running main window on the private sound
// server of tests/pulse/server.sh (skipped without it): the window here, followed the way the
// program follows its instance, comes out of its minimized state and opens the later start's
// file as a track, once, however the name was written; and the built program itself, started
// first, listens so that a later start ends at once with 0 while it runs on.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <string>

#include "app/gui/SingleInstance.h"
#include "app/gui/StudioRequests.h"
#include "studio/StudioWindow.h"
#include "studio/core/SongFile.h"
#include "studio/core/SoundSetup.h"
#include "tests/common/WaveBytes.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

constexpr int kProcessWait = 30000; // [ms] generous: the machine may be busy

// 16-bit mono at 44100 Hz, a quiet tone.
// Runs the built program in `workingDir` to its end while this test's event loop keeps
// running (the instance here must answer it); its exit code, or -1 when it did not end.
int RunLaterStart(const QString& workingDir, const QStringList& args) {
    QProcess process;
    process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(WAVESTACK_GUI), args);
    if (!process.waitForStarted()) return -1;
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < kProcessWait)
        QTest::qWait(20);
    if (process.state() != QProcess::NotRunning) return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class StudioInstanceTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void ALaterStartsFileOpensOnceInTheRunningWindow();
    void TheBuiltProgramListensWhileItRuns();

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString Path(const QString& name) const { return dir_->filePath(name); }
};

void StudioInstanceTest::init() {
    if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    // A settings folder of this case's own: no other instance, and never the user's, is found.
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("WAVESTACK_CONFIG_DIR", QFile::encodeName(Path("config")));
    qputenv("TMPDIR", QFile::encodeName(dir_->path()));
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("sub")));
    wavetest::WriteTone(Path("tone.wav").toStdString(), 1);
}

void StudioInstanceTest::ALaterStartsFileOpensOnceInTheRunningWindow() {
    TFormStudio window;
    std::vector<QString> errors;
    window.MPanel()->SetErrorBox([&](QWidget*, const QString& text) { errors.push_back(text); });
    window.SetTrackWindowHook([&](TFormTrack& track) {
        track.MPanel()->SetErrorBox([&](QWidget*, const QString& text) { errors.push_back(text); });
    });
    TSingleInstance instance(TSingleInstance::DefaultSocketPath());
    QCOMPARE(instance.Start({}, 0), TSingleInstance::TRole::Primary);
    TStudioRequests requests(window);
    requests.Follow(instance);
    window.resize(900, 600);
    window.show();
    QVERIFY(QTest::qWaitFor([&] { return window.Sound().Device() != nullptr; }, 10000));
    QTRY_VERIFY(window.OpenBtn()->isEnabled());
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());

    // Written relative to the later start's own folder.
    QCOMPARE(RunLaterStart(Path("sub"), {"../tone.wav"}), 0);
    const std::string caption = TrackCaption(Path("tone.wav").toStdString());
    QTRY_COMPARE_WITH_TIMEOUT(window.TrackWindows().size(), std::size_t(1), kProcessWait);
    QCOMPARE(window.TrackWindows().front()->Caption(), caption);
    QVERIFY(!window.isMinimized());

    // The same file by another name brings the open window forward, not a second one; a
    // new file beside it joins the song as File|Open would.
    wavetest::WriteTone(Path("second.wav").toStdString(), 1);
    QCOMPARE(RunLaterStart(dir_->path(), {"./sub/../tone.wav", "second.wav"}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(requests.Pending(), 0, kProcessWait);
    QTRY_COMPARE_WITH_TIMEOUT(window.TrackWindows().size(), std::size_t(2), kProcessWait);
    QTest::qWait(200);
    QCOMPARE(window.TrackWindows().size(), std::size_t(2));
    QTRY_VERIFY_WITH_TIMEOUT(window.CombineBtn()->isEnabled() && window.PlayBtn()->isEnabled(),
                             kProcessWait);
    QVERIFY2(errors.empty(), errors.empty() ? "" : qPrintable(errors.front()));
}

void StudioInstanceTest::TheBuiltProgramListensWhileItRuns() {
    QProcess first;
    first.setWorkingDirectory(dir_->path());
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(QStringLiteral(WAVESTACK_GUI), QStringList{});
    QVERIFY(first.waitForStarted());
    // It answers once it listens (this test plays a later start that only raises).
    const QString socket = TSingleInstance::DefaultSocketPath();
    QVERIFY(TSingleInstance::Deliver(socket, {{TInstanceRequestKind::Raise, std::string()}},
                                     kProcessWait));

    QCOMPARE(RunLaterStart(Path("sub"), {"../tone.wav"}), 0);
    QCOMPARE(RunLaterStart(dir_->path(), {}), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    QVERIFY(first.waitForFinished(kProcessWait));
}

QTEST_MAIN(StudioInstanceTest)
#include "StudioInstanceTest.moc"
