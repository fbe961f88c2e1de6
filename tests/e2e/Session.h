// A user's session with the real program inside the test process, on a real X server (run
// under xvfb-run) and the private sound server of tests/pulse/server.sh: its own settings and
// temporary folders, the main window made and shown as the program makes it, the boxes a
// user answers found on the screen and answered with keys and clicks, screenshots of each
// step, and the process's resources to compare before and after.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/VelTrackUtils.h"
#include "studio/StudioWindow.h"
#include "studio/core/SoundSetup.h"
#include "tests/common/WaveBytes.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/LevelMeterWidget.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace e2e {

// What the process holds: resident memory and open file descriptors.
struct Resources {
    long residentKiB = 0;
    int openFiles = 0;

    static Resources Now() {
        Resources r;
        std::ifstream statm("/proc/self/statm");
        long size = 0, resident = 0;
        if (statm >> size >> resident) r.residentKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
        if (DIR* d = opendir("/proc/self/fd")) {
            while (const dirent* e = readdir(d))
                if (e->d_name[0] != '.') ++r.openFiles;
            closedir(d);
            --r.openFiles; // the listing's own descriptor
        }
        return r;
    }
};

// The names in a folder, "." and ".." left out.
inline std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const QString& name :
         QDir(QString::fromStdString(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        names.push_back(name.toStdString());
    return names;
}

// Answers the next modal box that comes up within `ms`: `user` gets it once it is on the
// screen. Call before the action that opens it; the returned flag says whether it came.
inline std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget*)> user, int ms = 10000) {
    auto answered = std::make_shared<bool>(false);
    auto timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, user, answered, waited, ms] {
        *waited += 20;
        QWidget* box = QApplication::activeModalWidget();
        if (box && box->isVisible()) {
            timer->stop();
            timer->deleteLater();
            *answered = true;
            user(box);
            return;
        }
        if (*waited >= ms) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
    return answered;
}

// A file dialog answered as a user does: the name typed into its name field, then a click on
// its Save or Open button (Return would first go to the name completer's list, which opens
// while a path is typed). A dialog still up 5 s later is cancelled, so that a test fails
// instead of hanging.
inline void TypeFileName(QWidget* box, const std::string& path) {
    auto* dialog = qobject_cast<QFileDialog*>(box);
    QLineEdit* field =
        dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
    if (!field) {
        if (auto* d = qobject_cast<QDialog*>(box)) d->reject();
        return;
    }
    QTimer::singleShot(5000, dialog, [dialog] {
        if (dialog->isVisible()) dialog->reject();
    });
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromStdString(path));
    if (QCompleter* completer = field->completer(); completer && completer->popup())
        completer->popup()->hide();
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QAbstractButton* accept = nullptr;
    if (buttons)
        for (QAbstractButton* b : buttons->buttons())
            if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) accept = b;
    if (accept && accept->isEnabled())
        QTest::mouseClick(accept, Qt::LeftButton);
    else
        QTest::keyClick(field, Qt::Key_Return);
}

// A file dialog answered as a user does: the whole path typed into its name field, the list
// of suggestions the typing opened closed with Escape (while it is up, the field leaves
// Return to it), then Return. A dialog still up a second later (its folder's listing may
// reset the field as it arrives) is answered again; one that never closes is cancelled, so
// that the test fails instead of waiting for ever.
inline void EnterFileName(QWidget* box, const std::string& path) {
    auto* dialog = qobject_cast<QFileDialog*>(box);
    auto* field = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
    if (!field) {
        if (auto* other = qobject_cast<QDialog*>(box)) other->reject();
        return;
    }
    const QString name = QString::fromStdString(path);
    const QPointer<QFileDialog> alive(dialog);
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (field->text() != name) {
            QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(4, field->height() / 2));
            field->selectAll();
            QTest::keyClicks(field, name);
        }
        if (QCompleter* completer = field->completer();
            completer && completer->popup()->isVisible())
            QTest::keyClick(completer->popup(), Qt::Key_Escape);
        QTest::keyClick(field, Qt::Key_Return);
        if (QTest::qWaitFor([&alive] { return !alive || !alive->isVisible(); }, 1000)) return;
    }
    if (alive) dialog->reject();
}

// A message box answered by clicking the button of `role` (Yes, No, Ok, Cancel, ...).
inline void ClickBoxButton(QWidget* box, QMessageBox::StandardButton which) {
    auto* message = qobject_cast<QMessageBox*>(box);
    QAbstractButton* button = message ? message->button(which) : nullptr;
    if (!button) {
        if (auto* d = qobject_cast<QDialog*>(box)) d->reject();
        return;
    }
    QTest::mouseClick(button, Qt::LeftButton);
}

// A menu item chosen with the mouse: the menu bar's title, then each item of the path
// ("File|New|Track"). False when an item is missing or disabled.
inline bool ChooseMenu(QMenuBar* bar, const QStringList& path) {
    const auto plain = [](QString text) { return text.remove('&').section('\t', 0, 0).trimmed(); };
    QAction* top = nullptr;
    for (QAction* a : bar->actions())
        if (plain(a->text()) == path.front()) top = a;
    if (!top || !top->isEnabled() || !top->menu()) return false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
    QMenu* menu = top->menu();
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000)) return false;
    for (qsizetype i = 1; i < path.size(); ++i) {
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (plain(a->text()) == path[i]) item = a;
        if (!item || !item->isEnabled()) {
            menu->close();
            return false;
        }
        const QPoint at = menu->actionGeometry(item).center();
        QTest::mouseMove(menu, at);
        if (item->menu()) {
            QMenu* sub = item->menu();
            QTest::mouseClick(menu, Qt::LeftButton, {}, at);
            if (!QTest::qWaitFor([sub] { return sub->isVisible(); }, 2000)) return false;
            menu = sub;
        } else {
            QTest::mouseClick(menu, Qt::LeftButton, {}, at);
        }
    }
    return true;
}

class Session {
  public:
    // `name` names the screenshot folder under the test's output folder.
    explicit Session(const std::string& name)
        : name_(name), oldConfig_(qgetenv("WAVESTACK_CONFIG_DIR")), oldTmp_(qgetenv("TMPDIR")) {
        QDir().mkpath(dir_.path() + "/tmp");
        qputenv("WAVESTACK_CONFIG_DIR", ConfigDir().c_str());
        qputenv("TMPDIR", TmpDir().c_str());
        shotDir_ = std::string(E2E_SHOT_DIR) + "/" + name;
        QDir(QString::fromStdString(shotDir_)).removeRecursively();
        QDir().mkpath(QString::fromStdString(shotDir_));
    }
    // The environment as it was: the next session makes its folder where this one did.
    ~Session() {
        Quit();
        Restore("WAVESTACK_CONFIG_DIR", oldConfig_);
        Restore("TMPDIR", oldTmp_);
    }

    // The main window as the program starts it; `startFile` as on its command line.
    TFormStudio& Start(const std::string& startFile = std::string()) {
        form_ = std::make_unique<TFormStudio>();
        form_->SetStartFile(startFile);
        form_->MPanel()->SetErrorBox(
            [this](QWidget*, const QString& text) { errors_.push_back(text.toStdString()); });
        form_->SetTrackWindowHook([this](TFormTrack& window) {
            window.MPanel()->SetErrorBox(
                [this](QWidget*, const QString& text) { errors_.push_back(text.toStdString()); });
        });
        form_->show();
        exposed_ = QTest::qWaitForWindowExposed(form_.get());
        // With no window manager on the X server nobody activates the window: the user's
        // first click would, and the keys go to it from then on.
        form_->activateWindow();
        active_ = QTest::qWaitForWindowActive(form_.get());
        return *form_;
    }
    // The window gone without its questions (a test's clean-up); File|Exit is the user's way.
    void Quit() {
        if (!form_) return;
        form_->SetYesNoCancelBox([](QWidget*, const QString&) { return int(QMessageBox::No); });
        for (TFormTrack* w : form_->TrackWindows()) {
            w->SetYesNoCancelBox([](QWidget*, const QString&) { return TYesNoCancel::No; });
            w->SetOkCancelBox([](QWidget*, const QString&) { return true; });
        }
        form_.reset();
    }
    TFormStudio& Form() { return *form_; }
    // Whether the window Start showed came on the screen, and has the keyboard.
    bool Exposed() const { return exposed_; }
    bool Active() const { return active_; }
    bool Running() const { return form_ != nullptr; }
    // The error boxes the windows raised, in order (they never block the test).
    std::vector<std::string>& Errors() { return errors_; }
    // All of them on one line each, for a failure message ("" when none).
    std::string ErrorText() const {
        std::string text;
        for (const std::string& e : errors_)
            text += e + "\n";
        return text;
    }

    std::string Folder() const { return dir_.path().toStdString(); }
    std::string Path(const std::string& name) const { return Folder() + "/" + name; }
    std::string ConfigDir() const { return Folder() + "/config"; }
    std::string TmpDir() const { return Folder() + "/tmp"; }
    std::string ShotDir() const { return shotDir_; }

    // The whole screen as the user sees it, saved as NN-<step>.png in the output folder.
    void Shot(const std::string& step) {
        QApplication::processEvents();
        QScreen* screen = QGuiApplication::primaryScreen();
        const QPixmap picture = screen ? screen->grabWindow(0) : QPixmap();
        char number[16];
        std::snprintf(number, sizeof number, "%02d-", ++shots_);
        picture.save(QString::fromStdString(shotDir_ + "/" + number + step + ".png"));
    }

    bool DeviceReady(int ms = 10000) {
        return QTest::qWaitFor([this] { return form_->Sound().Device() != nullptr; }, ms);
    }
    // Every track window Ready and its worker between jobs.
    bool AllReady(int ms = 20000) {
        return QTest::qWaitFor(
            [this] {
                for (TFormTrack* w : form_->TrackWindows())
                    if (!w->Track() || w->Track()->TrackState() != tsReady || w->Track()->InWork())
                        return false;
                return true;
            },
            ms);
    }
    TFormTrack* Window(const std::string& path) const {
        for (TFormTrack* w : form_->TrackWindows())
            if (w->Caption() == TrackCaption(path)) return w;
        return nullptr;
    }

  private:
    static void Restore(const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    std::string name_;
    QByteArray oldConfig_;
    QByteArray oldTmp_;
    QTemporaryDir dir_;
    std::string shotDir_;
    std::unique_ptr<TFormStudio> form_;
    std::vector<std::string> errors_;
    int shots_ = 0;
    bool exposed_ = false;
    bool active_ = false;
};

// Plays a wave file into "Test_Sink", which "Test_Mic" hears; the process ends with the file.
inline std::unique_ptr<QProcess> PlayIntoMicrophone(const std::string& wavePath) {
    auto player = std::make_unique<QProcess>();
    player->start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("testsink"),
                                             QString::fromStdString(wavePath)});
    player->waitForStarted(5000);
    return player;
}

} // namespace e2e
