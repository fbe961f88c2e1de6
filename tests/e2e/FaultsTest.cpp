// The faults a user meets, in the real windows on a real X server: a song whose wave files are
// missing or damaged, a song file full of garbage, a settings folder that cannot be written,
// a temporary folder that fills up in the middle of an effect, no sound server at start, and
// the sound server going away while a track plays. Each ends with what the user sees (the
// windows' states and messages) and with the program still working.
#include <QAbstractItemView>
#include <QCompleter>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "effects/dialog/FormMixer.h"
#include "platform/TempFiles.h"
#include "studio/core/SoundSetup.h"
#include "tests/common/FileSizeLimit.h"
#include "tests/e2e/Session.h"
#include "track/RecoveryRecord.h"
#include "track/VelTrack.h"
#include "track/view/WaveSurface.h"
#include "track/view/WaveView.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

using wavetest::Bytes;

// How many lines of a message panel's list hold `text`.
int LinesWith(const TVelMpnl* panel, const std::string& text) {
    const std::vector<std::string>& lines = panel->Log().Lines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.find(text) != std::string::npos;
    }));
}

void WriteText(const std::string& path, const std::string& text) {
    wavetest::Write(path, Bytes(text.begin(), text.end()));
}

// The longest time the user-interface thread went without handling its events while it
// was on: a timer that should fire every 10 ms notes each gap.
class StallProbe {
  public:
    StallProbe() {
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { longest_ = std::max(longest_, clock_.restart()); });
        clock_.start();
        timer_.start(10);
    }
    qint64 LongestMs() const { return longest_; }
    void Reset() {
        longest_ = 0;
        clock_.restart();
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// The program's settings folder made unwritable for this thread: its permission bits, and,
// when the test runs as root, the capability that lets root write anywhere taken out of the
// thread's effective set (the windows write their settings on this thread). All undone at the
// end of the scope.
class UnwritableFolder {
  public:
    explicit UnwritableFolder(const std::string& folder) : folder_(folder) {
        ::chmod(folder_.c_str(), 0555);
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) == 0) {
            __user_cap_data_struct less[2] = {saved_[0], saved_[1]};
            less[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
            dropped_ = ::syscall(SYS_capset, &header_, less) == 0;
        }
    }
    ~UnwritableFolder() {
        if (dropped_) ::syscall(SYS_capset, &header_, saved_);
        ::chmod(folder_.c_str(), 0700);
    }
    // Whether a file can be made in the folder after all (a file system that ignores the bits).
    bool StillWritable() const {
        const std::string probe = folder_ + "/probe";
        const int fd = ::open(probe.c_str(), O_CREAT | O_WRONLY, 0600);
        if (fd < 0) return false;
        ::close(fd);
        ::unlink(probe.c_str());
        return true;
    }

  private:
    std::string folder_;
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

// An environment variable set for a scope and put back after it.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        qputenv(name, value.c_str());
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_.c_str());
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// A sound server of the test's own (tests/pulse/server.sh), so that killing it leaves the
// shared one alone for the suites that run after this one.
class OwnServer {
  public:
    OwnServer() {
        QProcess start;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
        start.setProcessEnvironment(env);
        start.start(QStringLiteral("bash"),
                    {QStringLiteral(WAVESTACK_PULSE_SCRIPT), QStringLiteral("start")});
        if (!start.waitForFinished(20000) || start.exitCode() != 0) return;
        for (const QString& line : QString::fromLocal8Bit(start.readAllStandardOutput())
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            // export NAME='value'
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (!line.startsWith(QStringLiteral("export ")) || eq < 0) continue;
            const QString name = line.mid(7, eq - 7);
            QString value = line.mid(eq + 1);
            if (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')))
                value = value.mid(1, value.size() - 2);
            vars_[name.toStdString()] = value.toStdString();
        }
    }
    ~OwnServer() {
        Kill();
        if (Dir().empty()) return;
        QProcess stop;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WAVESTACK_PULSE_DIR"), QString::fromStdString(Dir()));
        stop.setProcessEnvironment(env);
        stop.start(QStringLiteral("bash"),
                   {QStringLiteral(WAVESTACK_PULSE_SCRIPT), QStringLiteral("stop")});
        stop.waitForFinished(20000);
    }
    bool Running() const { return !Dir().empty(); }
    std::string Var(const std::string& name) const {
        const auto at = vars_.find(name);
        return at == vars_.end() ? std::string() : at->second;
    }
    std::string Dir() const { return Var("WAVESTACK_PULSE_DIR"); }
    // The server gone at once, as when it crashes.
    void Kill() {
        if (killed_ || Dir().empty()) return;
        killed_ = true;
        const Bytes pid = wavetest::Read(Dir() + "/server.pid");
        const pid_t server =
            static_cast<pid_t>(std::atol(std::string(pid.begin(), pid.end()).c_str()));
        if (server > 0) ::kill(server, SIGKILL);
    }

  private:
    std::map<std::string, std::string> vars_;
    bool killed_ = false;
};

// File|Open chosen with the mouse and `path` typed into its dialog.
bool OpenWithTheMenu(TFormStudio& form, const std::string& path) {
    const auto typed = e2e::AnswerNextModal([&](QWidget* box) { e2e::EnterFileName(box, path); });
    return e2e::ChooseMenu(form.menuBar(), {"File", "Open..."}) &&
           QTest::qWaitFor([&] { return *typed; }, 10000);
}

// Answers every message box that comes up while it lives with the button `choice`, as a
// user clicking it; counts them.
class AnswerBoxes {
  public:
    explicit AnswerBoxes(QMessageBox::StandardButton choice) {
        QObject::connect(&timer_, &QTimer::timeout, [this, choice] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box == last_) return;
            last_ = box;
            ++answered_;
            e2e::ClickBoxButton(box, choice);
        });
        timer_.start(20);
    }
    int Answered() const { return answered_; }

  private:
    QTimer timer_;
    QPointer<QMessageBox> last_;
    int answered_ = 0;
};

// The user's keys on a track's waveform, which has the focus as after a click on it.
void KeysOnWave(TFormTrack* window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QWidget* surface = window->View()->Surface();
    surface->setFocus();
    QTest::keyClick(surface, key, modifiers);
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT
  private slots:
    void MissingAndDamagedWaveFilesOfASong();
    void ASongFileOfGarbageAndImpossibleValues();
    void ASettingsFolderThatCannotBeWritten();
    void TheTemporaryFolderFillsUpDuringAnEffect();
    void NoSoundServerAtStart();
    void TheSoundServerGoesAwayWhileATrackPlays();
    void AKilledSessionIsOfferedBackAtTheNextStart();
};

namespace {

// Waits until no window's track is loading, busy or between jobs (Empty ones included).
bool AllSettled(TFormStudio& form, int ms = 20000) {
    return QTest::qWaitFor(
        [&] {
            for (TFormTrack* w : form.TrackWindows()) {
                TVelTrack* t = w->Track();
                if (!t || t->InWork() || (t->TrackState() != tsReady && t->TrackState() != tsEmpty))
                    return false;
            }
            return form.CloseEnabled();
        },
        ms);
}

} // namespace

// A song of four tracks opened from the command line: one wave file is missing, one is not a
// wave file at all, one has lost the end of its data. The missing and the damaged ones open
// Empty with their reasons in their own message panels and stay in sight after the song is
// arranged; the others load and play together.
void FaultsTest::MissingAndDamagedWaveFilesOfASong() {
    if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    e2e::Session session("missing-and-damaged");
    const std::string good = session.Path("good.wav");
    const std::string missing = session.Path("missing.wav");
    const std::string damaged = session.Path("damaged.wav");
    const std::string cut = session.Path("cut.wav");
    wavetest::WriteTone(good, 3);
    Bytes garbage = {'R', 'I', 'F', 'F', 0x10, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    for (int i = 0; i < 5000; ++i)
        garbage.push_back(static_cast<uint8_t>((i * 7919 + 13) % 256));
    wavetest::Write(damaged, garbage);
    Bytes whole = wavetest::Wave(44100, 16, 1, wavetest::Tone(44100, 16, 1, 2, 440));
    whole.resize(46 + 44100); // the header still says two seconds; half a second is there
    wavetest::Write(cut, whole);
    const std::string song = session.Path("Broken.Sng");
    WriteText(song, "[TRACKS]\nTRACK1=good.wav\nTRACK2=missing.wav\nTRACK3=damaged.wav\n"
                    "TRACK4=cut.wav\nNUMTRACKS=4\n");

    TFormStudio& form = session.Start(song);
    QVERIFY(session.DeviceReady());
    QVERIFY(QTest::qWaitFor([&] { return form.TrackWindows().size() == 4; }, 10000));
    QVERIFY(AllSettled(form));
    QTest::qWait(200); // the arrange follows the last Ready
    session.Shot("opened");
    TFormTrack* goodWindow = session.Window(good);
    TFormTrack* missingWindow = session.Window(missing);
    TFormTrack* damagedWindow = session.Window(damaged);
    TFormTrack* cutWindow = session.Window(cut);
    QVERIFY(goodWindow && missingWindow && damagedWindow && cutWindow);
    QCOMPARE(missingWindow->Track()->TrackState(), tsEmpty);
    QCOMPARE(damagedWindow->Track()->TrackState(), tsEmpty);
    QCOMPARE(LinesWith(missingWindow->MPanel(), "MMIOOpen. " + missing + " not found"), 1);
    QCOMPARE(LinesWith(damagedWindow->MPanel(), "MMIORead - bad wave format chunk."), 1);
    // Each reason came up once in a box as well.
    QCOMPARE(session.Errors(), (std::vector<std::string>{"MMIOOpen. " + missing + " not found",
                                                         "MMIORead - bad wave format chunk."}));
    QCOMPARE(goodWindow->Track()->TrackState(), tsReady);
    QCOMPARE(cutWindow->Track()->TrackState(), tsReady);
    QCOMPARE(cutWindow->Track()->DataLength, 44100); // what the file really holds
    // Every window of the chart can be seen and reached: none is charted into no width.
    const int areaWidth = form.MdiArea()->viewport()->width();
    for (TFormTrack* w : form.TrackWindows()) {
        const QRect at = w->SubWindow()->geometry();
        QVERIFY2(at.width() >= 100 && at.left() >= 0 && at.right() < areaWidth,
                 qPrintable(QString::fromStdString(w->Caption())));
    }

    // Play all: the two that loaded play, the Empty ones stay as they are.
    QVERIFY(form.PlayBtn()->isEnabled());
    QTest::mouseClick(form.PlayBtn(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return goodWindow->Track()->PlayPosition > 8820; }, 5000));
    QCOMPARE(goodWindow->Track()->TrackState(), tsPlaying);
    QVERIFY(cutWindow->Track()->PlayPosition > 0);
    session.Shot("playing");
    QCOMPARE(missingWindow->Track()->TrackState(), tsEmpty);
    QVERIFY(form.StopBtn()->isEnabled());
    QTest::mouseClick(form.StopBtn(), Qt::LeftButton);
    QVERIFY(AllSettled(form, 5000));
    QCOMPARE(session.Errors().size(), std::size_t(2));
}

// A song file full of garbage opened with File|Open: binary lines, keys without values, a
// file listed twice, numbers out of range and not numbers at all. What can be read opens, as
// the values' nearest sense says; the rest is left out without a word to the user.
void FaultsTest::ASongFileOfGarbageAndImpossibleValues() {
    if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    e2e::Session session("garbage-song");
    const std::string tone = session.Path("tone.wav");
    const std::string other = session.Path("other.wav");
    wavetest::WriteTone(tone, 2);
    wavetest::WriteTone(other, 1);
    std::string text;
    for (int i = 0; i < 300; ++i)
        text.push_back(static_cast<char>((i * 7919 + 13) % 256 ?: 1));
    text += "\n[TRACKS]\nNUMTRACKS=2147483647\nTRACK1=tone.wav\nTRACK2=\nTRACK02=zero.wav\n"
            "no equals sign here\n=no key\nTRACK3=" +
            tone +
            "\nTRACK5=other.wav\nTRACK99999999999=over.wav\n"
            "[TRACK1]\nMUTE=yes\nMINIMIZED=7\nPAN=500\nVOLUME=-0x7FFFFFFF\nOFFSET=\n"
            "[TRACK5]\nMUTE=1\nPAN=abc\nVOLUME=-101\nOFFSET=00:01.00000\n[\n]]]\n";
    const std::string song = session.Path("Garbage.Sng");
    WriteText(song, text);

    TFormStudio& form = session.Start();
    QVERIFY(session.DeviceReady());
    QVERIFY(OpenWithTheMenu(form, song));
    QVERIFY(QTest::qWaitFor([&] { return form.TrackWindows().size() == 2; }, 10000));
    QVERIFY(AllSettled(form));
    QTest::qWait(200); // the arrange follows the last Ready
    session.Shot("opened");
    QCOMPARE(form.windowTitle(), QStringLiteral("Garbage"));
    TFormTrack* first = session.Window(tone);
    TFormTrack* second = session.Window(other);
    QVERIFY(first && second);
    QCOMPARE(first->PanValue(), 100);
    QCOMPARE(first->VolumeValue(), -100);
    QVERIFY(first->Minimized());
    QVERIFY(first->SubWindow()->isMinimized());
    QVERIFY(!first->Muted());
    QCOMPARE(first->Track()->StartOffset, 0);
    QCOMPARE(second->PanValue(), 0);
    QCOMPARE(second->VolumeValue(), -100);
    QVERIFY(second->Muted());
    QCOMPARE(second->Track()->StartOffset, 88200);
    QVERIFY(session.Errors().empty());
    // The song plays: the muted track stays at rest, the other runs.
    QVERIFY(form.PlayBtn()->isEnabled());
    QTest::mouseClick(form.PlayBtn(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return first->Track()->PlayPosition > 8820; }, 5000));
    QCOMPARE(second->Track()->TrackState(), tsReady);
    QTest::mouseClick(form.StopBtn(), Qt::LeftButton);
    QVERIFY(AllSettled(form, 5000));
}

// The settings folder cannot be written: the program starts, reads what is there, says once
// that settings cannot be saved, and the user works on as usual; writing the settings later
// (the Open folder, the layout and settings at Exit) fails without another word and leaves
// nothing behind in the folder.
void FaultsTest::ASettingsFolderThatCannotBeWritten() {
    if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    e2e::Session session("settings-unwritable");
    const std::string tone = session.Path("tone.wav");
    wavetest::WriteTone(tone, 1);
    std::filesystem::create_directories(session.ConfigDir());
    const std::string settings = session.ConfigDir() + "/wavestack.TXT";
    WriteText(settings, "[RECENT]\nFILE1=" + tone + "\n");
    const Bytes before = wavetest::Read(settings);
    const std::string said =
        "Settings cannot be saved: the folder " + session.ConfigDir() + "/ is not writable";
    {
        UnwritableFolder locked(session.ConfigDir());
        if (locked.StillWritable()) QSKIP("this file system writes into a read-only folder");
        TFormStudio& form = session.Start();
        QVERIFY(session.DeviceReady());
        QVERIFY(QTest::qWaitFor([&] { return LinesWith(form.MPanel(), said) == 1; }, 5000));
        session.Shot("started");

        QVERIFY(OpenWithTheMenu(form, tone));
        QVERIFY(QTest::qWaitFor([&] { return session.Window(tone) != nullptr; }, 10000));
        QVERIFY(AllSettled(session.Form()));
        QVERIFY(e2e::ChooseMenu(form.menuBar(), {"File", "New", "Track"}));
        QVERIFY(QTest::qWaitFor([&] { return form.TrackWindows().size() == 2; }, 10000));
        QVERIFY(AllSettled(session.Form()));
        session.Shot("working");
        QCOMPARE(LinesWith(form.MPanel(), said), 1);
        QVERIFY(session.Errors().empty());

        // File|Exit: the unsaved new track and the song are let go.
        AnswerBoxes no(QMessageBox::No);
        QVERIFY(e2e::ChooseMenu(form.menuBar(), {"File", "Exit"}));
        QVERIFY(QTest::qWaitFor([&] { return !form.isVisible(); }, 10000));
        QVERIFY(no.Answered() >= 1);
        session.Quit();
    }
    QCOMPARE(wavetest::Read(settings), before);
    int names = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(session.ConfigDir()))
        ++names;
    QCOMPARE(names, 1);
}

// The temporary folder fills up while an effect writes the track's new state: the effect
// stops with the reason in the track's message panel and a box, the track keeps the audio it
// had, nothing half-written is left, and the dialog can apply again once there is room.
// (A file-size limit on the process stands in for the full disk: the writes past it fail the
// same way, with "File too large" where a full disk says "No space left on device".)
void FaultsTest::TheTemporaryFolderFillsUpDuringAnEffect() {
    if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    e2e::Session session("temporary-folder-full");
    const std::string path = session.Path("take.wav");
    wavetest::WriteTone(path, 3); // 264600 bytes of data
    TFormStudio& form = session.Start(path);
    QVERIFY(session.DeviceReady());
    QVERIFY(QTest::qWaitFor([&] { return session.Window(path) != nullptr; }, 10000));
    QVERIFY(AllSettled(form));
    TFormTrack* window = session.Window(path);
    TVelTrack& track = *window->Track();
    KeysOnWave(window, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(QTest::qWaitFor([&] { return track.HasSelection.load(); }, 2000));
    QCOMPARE(track.SelEnd - track.SelStart, track.DataLength);

    QVERIFY(window->MixBtn()->isEnabled());
    QTest::mouseClick(window->MixBtn(), Qt::LeftButton);
    auto* dialog = qobject_cast<TFormMixer*>(window->EffectsDialog());
    QVERIFY(dialog);
    QTabBar* tabs = dialog->PageControl()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(kPageFade).center());
    QCOMPARE(dialog->CurrentPage(), kPageFade);
    const std::vector<std::string> leftBefore = e2e::FilesIn(session.TmpDir());
    const int32_t length = track.DataLength;
    {
        const FileSizeLimit full(100000);
        QVERIFY(dialog->MixBtn()->isEnabled());
        QTest::mouseClick(dialog->MixBtn(), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor(
            [&] {
                return track.EffectState.load() != esRunning && track.TrackState() == tsReady &&
                       !track.InWork();
            },
            20000));
    }
    QTest::qWait(100); // the windows take up the track's news
    session.Shot("effect-refused");
    QCOMPARE(session.Errors().size(), std::size_t(1));
    const std::string& said = session.Errors().front();
    QVERIFY2(said.rfind("MMIOWrite. data ", 0) == 0 &&
                 said.find("(File too large)") != std::string::npos,
             said.c_str());
    QVERIFY(LinesWith(window->MPanel(), " Error at ") >= 1);
    QVERIFY(LinesWith(window->MPanel(), said) >= 1);
    QCOMPARE(track.FileName, path);
    QVERIFY(track.UndoFiles.empty());
    QCOMPARE(track.DataLength, length);
    QCOMPARE(track.EffectState.load(), uint8_t(esReady));
    QVERIFY(dialog->MixBtn()->isEnabled());
    QVERIFY(!dialog->UnMixBtn()->isEnabled());
    QCOMPARE(e2e::FilesIn(session.TmpDir()), leftBefore);

    // With room again the same Apply works, and its Undo brings the file's audio back.
    QTest::mouseClick(dialog->MixBtn(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return track.EffectState.load() == esApplied; }, 20000));
    QVERIFY(QTest::qWaitFor([&] { return dialog->UnMixBtn()->isEnabled(); }, 5000));
    QVERIFY(track.FileName != path);
    session.Shot("effect-applied");
    QTest::mouseClick(dialog->UnMixBtn(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor(
        [&] { return track.FileName == path && track.TrackState() == tsReady && !track.InWork(); },
        20000));
    QCOMPARE(session.Errors().size(), std::size_t(1));
}

// No sound server answers at start: the user is told "No DirectSound devices" once, nothing
// can play, and yet tracks open, are made and are edited as usual.
void FaultsTest::NoSoundServerAtStart() {
    const ScopedEnv nowhere("PULSE_SERVER", "unix:/nonexistent/wavestack-no-server");
    e2e::Session session("no-sound-server");
    const std::string path = session.Path("tone.wav");
    wavetest::WriteTone(path, 2);
    TFormStudio& form = session.Start();
    QVERIFY(QTest::qWaitFor([&] { return LinesWith(form.MPanel(), "No DirectSound devices") == 1; },
                            10000));
    QCOMPARE(session.Errors(), std::vector<std::string>{"No DirectSound devices"});
    QVERIFY(form.Sound().Device() == nullptr);
    session.Shot("started");

    QVERIFY(form.OpenBtn()->isEnabled());
    QVERIFY(OpenWithTheMenu(form, path));
    QVERIFY(QTest::qWaitFor([&] { return session.Window(path) != nullptr; }, 10000));
    QVERIFY(AllSettled(form));
    TFormTrack* window = session.Window(path);
    TVelTrack& track = *window->Track();
    QCOMPARE(track.DataLength, 176400);
    KeysOnWave(window, Qt::Key_A, Qt::ControlModifier);
    KeysOnWave(window, Qt::Key_Delete);
    QVERIFY(QTest::qWaitFor([&] { return track.DataLength == 0 && !track.InWork(); }, 10000));
    QVERIFY(AllSettled(form));
    KeysOnWave(window, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(QTest::qWaitFor([&] { return track.DataLength == 176400 && !track.InWork(); }, 10000));
    QVERIFY(AllSettled(form));
    QVERIFY(e2e::ChooseMenu(form.menuBar(), {"File", "New", "Track"}));
    QVERIFY(QTest::qWaitFor([&] { return form.TrackWindows().size() == 2; }, 10000));
    QVERIFY(AllSettled(form));
    session.Shot("editing");
    // Nothing can play: Play all is not offered.
    QVERIFY(!form.PlayBtn()->isEnabled());
    QCOMPARE(form.Mode(), TStudioMode::Idle);
    QCOMPARE(session.Errors().size(), std::size_t(1));
}

// The sound server goes away while a track plays (a server of the test's own, killed): the
// playback stops by itself with a message, the window never stalls meanwhile, and the track
// can still be edited.
void FaultsTest::TheSoundServerGoesAwayWhileATrackPlays() {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        QSKIP("no sound server to start");
    OwnServer server;
    QVERIFY(server.Running());
    const ScopedEnv to("PULSE_SERVER", server.Var("PULSE_SERVER"));
    const ScopedEnv runtime("PULSE_RUNTIME_PATH", server.Var("PULSE_RUNTIME_PATH"));
    const ScopedEnv state("PULSE_STATE_PATH", server.Var("PULSE_STATE_PATH"));
    e2e::Session session("server-goes-away");
    const std::string path = session.Path("long.wav");
    wavetest::WriteTone(path, 20);
    TFormStudio& form = session.Start(path);
    QVERIFY(session.DeviceReady());
    QVERIFY(QTest::qWaitFor([&] { return session.Window(path) != nullptr; }, 10000));
    QVERIFY(AllSettled(form));
    TFormTrack* window = session.Window(path);
    TVelTrack& track = *window->Track();
    QTest::mouseClick(window->PlayBtn(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor(
        [&] { return track.TrackState() == tsPlaying && track.PlayPosition > 44100; }, 5000));
    session.Shot("playing");

    StallProbe probe;
    QElapsedTimer clock;
    clock.start();
    server.Kill();
    const bool stopped =
        QTest::qWaitFor([&] { return track.TrackState() == tsReady && !track.InWork(); }, 15000);
    const qint64 stopMs = clock.elapsed();
    session.Shot("stopped");
    qInfo() << "stopped" << stopped << "after" << stopMs << "ms; longest stall" << probe.LongestMs()
            << "ms; position" << track.PlayPosition;
    QVERIFY(stopped);
    QVERIFY(stopMs < 3000);
    QVERIFY2(probe.LongestMs() < 500, qPrintable(QString::number(probe.LongestMs())));
    const std::string lost = "The buffer memory has been lost and must be restored.";
    QCOMPARE(session.Errors(), std::vector<std::string>{"GetCurrentPosition fails " + lost});
    QCOMPARE(LinesWith(window->MPanel(), "GetCurrentPosition fails " + lost), 1);
    QVERIFY(track.PlayPosition > 44100 && track.PlayPosition < 882000);
    QVERIFY(QTest::qWaitFor([&] { return form.PlayBtn()->isEnabled(); }, 5000));

    // Editing goes on without the server: delete everything, then undo.
    const int32_t length = track.DataLength;
    KeysOnWave(window, Qt::Key_A, Qt::ControlModifier);
    KeysOnWave(window, Qt::Key_Delete);
    QVERIFY(QTest::qWaitFor([&] { return track.DataLength == 0 && !track.InWork(); }, 10000));
    QVERIFY(AllSettled(form));
    KeysOnWave(window, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(QTest::qWaitFor([&] { return track.DataLength == length && !track.InWork(); }, 10000));
    QVERIFY(AllSettled(form));
    session.Shot("edited");
    // Play again: refused at once with the reason, the track stays Ready.
    probe.Reset();
    QTest::mouseClick(window->PlayBtn(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return session.Errors().size() == 2; }, 5000));
    QCOMPARE(session.Errors().back(), "play fails " + lost);
    QVERIFY(AllSettled(form, 5000));
    QCOMPARE(track.TrackState(), tsReady);
    QVERIFY2(probe.LongestMs() < 500, qPrintable(QString::number(probe.LongestMs())));
}

namespace {

// A track of the windows' kind edited in another process, killed after `changes` edits.
bool EditAndKill(const std::string& wave, int changes) {
    QProcess child;
    child.start(QStringLiteral(RECOVERY_CHILD),
                {QStringLiteral("edits"), QString::fromStdString(wave)});
    QByteArray printed;
    const QByteArray line = QByteArray::number(changes) + "\n";
    while (!printed.contains(line) && child.waitForReadyRead(10000))
        printed += child.readAllStandardOutput();
    child.kill();
    child.waitForFinished();
    return printed.contains(line);
}

} // namespace

// The program was killed with two tracks changed and unsaved. At the next start it asks about
// each: Yes gives the first back in its window with its undo list, as it was; No deletes the
// other's states. The users' files are never touched, and nothing is left behind.
void FaultsTest::AKilledSessionIsOfferedBackAtTheNextStart() {
    if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    e2e::Session session("killed-session");
    const std::string kept = session.Path("kept.wav");
    const std::string dropped = session.Path("dropped.wav");
    wavetest::WriteTone(kept, 3);
    wavetest::WriteTone(dropped, 2);
    const Bytes keptBefore = wavetest::Read(kept);
    QVERIFY(EditAndKill(kept, 5));
    QVERIFY(EditAndKill(dropped, 3));
    const std::vector<TRecoveryOrphan> orphans = FindOrphanRecords(session.TmpDir());
    QCOMPARE(orphans.size(), std::size_t(2));
    const TRecoveryRecord& keptRecord =
        orphans[0].Record.UserFileName == kept ? orphans[0].Record : orphans[1].Record;
    const Bytes lastState = wavetest::Read(keptRecord.WorkingState);

    std::vector<std::string> questions;
    std::function<void(QWidget*)> answer = [&](QWidget* box) {
        auto* message = qobject_cast<QMessageBox*>(box);
        QVERIFY(message);
        questions.push_back(message->text().toStdString());
        session.Shot("question");
        const bool yes = questions.back().find("kept.wav") != std::string::npos;
        if (questions.size() == 1) e2e::AnswerNextModal(answer);
        e2e::ClickBoxButton(box, yes ? QMessageBox::Yes : QMessageBox::No);
    };
    e2e::AnswerNextModal(answer);
    TFormStudio& form = session.Start();
    QVERIFY(QTest::qWaitFor([&] { return questions.size() == 2; }, 10000));
    std::sort(questions.begin(), questions.end());
    QCOMPARE(questions, (std::vector<std::string>{"Recover unsaved changes to " + dropped + "?",
                                                  "Recover unsaved changes to " + kept + "?"}));
    QVERIFY(QTest::qWaitFor([&] { return form.TrackWindows().size() == 1; }, 10000));
    QVERIFY(session.AllReady());
    TFormTrack* window = session.Window(kept);
    QVERIFY(window);
    TVelTrack& track = *window->Track();
    QCOMPARE(track.UndoCaption(), std::string("Undo - Clearing (5)"));
    QVERIFY(track.Modified());
    QVERIFY(wavetest::Read(track.FileName) == lastState);
    QVERIFY(wavetest::Read(kept) == keptBefore);
    QVERIFY(session.ErrorText().empty());
    session.Shot("recovered");
    // What is left is the recovered track's own: its states, their pictures and its record.
    QVERIFY(FindOrphanRecords(session.TmpDir()).empty());
    for (const std::string& name : e2e::FilesIn(session.TmpDir())) {
        const std::string path = session.TmpDir() + "/" + name;
        const bool own = path == track.RecoveryRecordPath() ||
                         std::any_of(track.UndoFiles.begin(), track.UndoFiles.end(),
                                     [&](const std::string& state) {
                                         return path == state || path == PictureFileName(state);
                                     });
        QVERIFY2(own, name.c_str());
    }
    // The recovered track is a track like any other: it undoes, and closing it leaves nothing.
    track.Undo();
    QVERIFY(
        QTest::qWaitFor([&] { return !track.InWork() && track.TrackState() == tsReady; }, 10000));
    QCOMPARE(track.UndoCaption(), std::string("Undo - Distorting (4)"));
    session.Quit();
    QVERIFY2(e2e::FilesIn(session.TmpDir()).empty(),
             qPrintable(QString::fromStdString(session.TmpDir())));
}

QTEST_MAIN(FaultsTest)
#include "FaultsTest.moc"
