// The main window's construction: its panel and menus, the settings read at creation and
// written at close, the sound device made when it is first shown, the clock, and the host
// operations the track windows call.
#include "studio/StudioWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QThread>
#include <QVBoxLayout>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "effects/dialog/FormMixer.h"
#include "platform/ConfigPaths.h"
#include "platform/ProfileFile.h"
#include "studio/FormOrganize.h"
#include "studio/core/SoundSetup.h"
#include "studio/core/StudioClock.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/LevelMeterWidget.h"
#include "ui/widgets/Pictures.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

constexpr int kDesignWidth = 650;  // [px]
constexpr int kDesignHeight = 542; // [px]

template <class TButton>
TButton* PanelButton(QWidget* parent, const char* name, const char* caption, const char* picture) {
    auto* button = new TButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(QString::fromLatin1(caption));
    button->SetPicture(QString::fromLatin1(picture));
    button->SetBtnSize(bsSmall); // follows the panel's size
    return button;
}

QAction* Item(QMenu* menu, const char* caption, const char* hint) {
    QAction* action = new QAction(QString::fromLatin1(caption), menu);
    action->setStatusTip(QString::fromLatin1(hint));
    action->setToolTip(action->statusTip());
    return action;
}

// A menu caption as menu paths name it: no "&", "." or blank, upper case.
QString PathElement(QString text) {
    text.remove(QLatin1Char('&')).remove(QLatin1Char('.')).remove(QLatin1Char(' '));
    return text.toUpper();
}

// Whether the settings can be written: the folder is made when missing, and every write of
// the settings replaces the file by a new one made beside it, so a file must be creatable there.
bool SettingsFolderWritable(const std::string& settingsFile) {
    if (!EnsureParentFolder(settingsFile)) return false;
    std::string probe =
        settingsFile.substr(0, settingsFile.find_last_of('/') + 1) + ".probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

// The effects dialog's "Organize Presets": the organize dialog, which lives here above it.
std::optional<std::vector<std::string>> OrganizePresets(QWidget* parent, const QString& caption,
                                                        int helpContext,
                                                        const std::vector<std::string>& names) {
    TFormOrganize dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.SetHelpContext(helpContext);
    for (const std::string& name : names)
        dialog.Add(QString::fromStdString(name));
    dialog.Finish();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> order;
    for (const QString& name : dialog.Names())
        order.push_back(name.toStdString());
    return order;
}

} // namespace

TFormStudio::TFormStudio(QWidget* parent)
    : TFormVelM(parent), settingsFile_(std::make_unique<TProfileFile>(SettingsFilePath())),
      gate_(
          [this](std::function<void()> call) {
              QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
          },
          [this] { return QThread::currentThread() == thread(); }) {
    setObjectName(QStringLiteral("FormStudio"));
    setWindowTitle(QStringLiteral("Wavestack")); // until shown; then the song's name
    SetHelpContext(kHelpContext);
    AboutAction()->setStatusTip(QStringLiteral("About Wavestack"));
    AboutAction()->setToolTip(QStringLiteral("About Wavestack"));
    resize(kDesignWidth, kDesignHeight);
    setAcceptDrops(true);

    settings_ = ReadStudioSettings(*settingsFile_);
    if (const QStringList arguments = QCoreApplication::arguments(); arguments.size() > 1)
        startFile_ = arguments.at(1).toStdString();
    sound_ = std::make_unique<TSoundSetup>(*MPanel());
    BuildPanel();
    BuildMenus();
    UpdateRecentFiles();

    SetYesNoCancelBox({});
    SetOpenDialog({});
    SetSaveSongDialog({});
    SetCombineDialog({});
    SetOrganizeDialog({});
    TFormTrack::SetEffectsDialogFactory(
        [](TFormVelM& main, TFormTrack& window, TVelTrack& track) -> TTrackEffectsDialog* {
            return new TFormMixer(main, window, track);
        });
    TFormMixer::SetOrganizeDialog(OrganizePresets);
    connect(MdiArea(), &QMdiArea::subWindowActivated, this, [this] { RefreshControls(); });

    clock_ = std::make_unique<TStudioClock>(*MPanel());
    clock_->SetUiGate(&gate_);
    bigTimer_.setInterval(kClockInterval);
    connect(&bigTimer_, &QTimer::timeout, this, [this] { clock_->Tick(); });
    StartClock();
    RefreshControls();
}

TFormStudio::~TFormStudio() {
    // The children outlive this part of the window: their going must not call back here.
    disconnect(MdiArea(), nullptr, this, nullptr);
    mode_ = TStudioMode::Closing;
    StopClock();
    // The track windows go before the device they play through.
    for (TFormTrack* window : TrackWindows())
        delete window->SubWindow();
}

void TFormStudio::BuildPanel() {
    // The output meter at the right end of the menu bar: in view whatever the width of the
    // button row, and taking no room from the tracks.
    auto* meterBox = new QWidget(menuBar());
    auto* meterRow = new QHBoxLayout(meterBox);
    meterRow->setContentsMargins(4, 0, 6, 0);
    outputMeter_ = new TLevelMeterWidget(meterBox);
    outputMeter_->setObjectName(QStringLiteral("OutputMeter"));
    outputMeter_->setToolTip(QStringLiteral(
        "Output: the loudest playing track as it reaches the output; click to clear the clip "
        "mark"));
    outputMeter_->setFixedWidth(160);
    meterRow->addWidget(outputMeter_, 0, Qt::AlignVCenter);
    menuBar()->setCornerWidget(meterBox, Qt::TopRightCorner);
    TVelBtnBmpPnl* panel = Panel();
    openBtn_ = PanelButton<TVelBtnBmp>(panel, "OpenBtn", "Open", "open");
    saveBtn_ = PanelButton<TVelBtnBmp>(panel, "SaveBtn", "Save", "save");
    rewindBtn_ =
        PanelButton<TVelBtnBmp>(panel, "RewindBtn", "Rewind|Rewind all tracks to 0", "rewind");
    stopBtn_ = PanelButton<TVelBtnBmp>(panel, "StopBtn", "Stop|Stop all tracks", "stop");
    playBtn_ = PanelButton<TVelBtnBmp>(panel, "PlayBtn", "Play|Play all tracks", "play");
    syncBtn_ = PanelButton<TVelBtnBmp>(panel, "SyncBtn",
                                       "Sync|Synchronize all tracks to current track", "sync");
    recordBtn_ = PanelButton<TVelBtnBmp>(panel, "RecordBtn", "Record", "record");
    combineBtn_ = PanelButton<TVelBtnBmp>(panel, "CombineBtn",
                                          "Combine|Combine Tracks in a new Track", "combine");
    dampenBtn_ = PanelButton<TVELBtn2Bmp>(panel, "DampenBtn", "Damp|Play Tracks Quietly", "damp");
    dampenBtn_->SetPicture2(QStringLiteral("undamp"));
    panel->AddSeparator();
    for (TVelBtnBmp* button : {openBtn_, saveBtn_, rewindBtn_, stopBtn_, playBtn_, syncBtn_,
                               recordBtn_, combineBtn_, static_cast<TVelBtnBmp*>(dampenBtn_)})
        panel->AddButton(button);
    for (TVelBtnBmp* button :
         {saveBtn_, rewindBtn_, stopBtn_, playBtn_, syncBtn_, recordBtn_, combineBtn_})
        button->setEnabled(false);
    connect(openBtn_, &TVelBtnBmp::Click, this, &TFormStudio::OpenClick);
    connect(saveBtn_, &TVelBtnBmp::Click, this, [this] { SaveSong(); });
    connect(rewindBtn_, &TVelBtnBmp::Click, this, &TFormStudio::RewindAllClick);
    connect(stopBtn_, &TVelBtnBmp::Click, this, &TFormStudio::StopAllClick);
    connect(playBtn_, &TVelBtnBmp::Click, this, &TFormStudio::PlayAllClick);
    connect(syncBtn_, &TVelBtnBmp::Click, this, &TFormStudio::SyncClick);
    connect(recordBtn_, &TVelBtnBmp::Click, this, &TFormStudio::RecordClick);
    connect(combineBtn_, &TVelBtnBmp::Click, this, &TFormStudio::CombineClick);
    connect(dampenBtn_, &TVelBtnBmp::Click, this, &TFormStudio::DampenClick);
}

void TFormStudio::BuildMenus() {
    // File: New, Open, Save and a separator ahead of Exit.
    QMenu* file = FileMenu();
    QAction* exit = ExitAction();
    newMenu_ = new QMenu(QStringLiteral("&New"), file);
    QAction* newSong = Item(newMenu_, "&Song", "Start a new song");
    QAction* newTrack = Item(newMenu_, "&Track", "Add a new silent track to the song");
    newMenu_->addActions({newSong, newTrack});
    file->insertMenu(exit, newMenu_);
    QAction* open = Item(file, "&Open...", "Open a song or a track");
    file->insertAction(exit, open);
    saveMenu_ = new QMenu(QStringLiteral("&Save"), file);
    QAction* saveSong = Item(saveMenu_, "&Song", "Save the song");
    QAction* saveSongAs = Item(saveMenu_, "&Song &As...", "Save the song under a new name");
    QAction* saveTrack = Item(saveMenu_, "&Track", "Save the current track");
    QAction* saveTrackAs =
        Item(saveMenu_, "Track As...", "Save the current track under a new name");
    saveMenu_->addActions({saveSong, saveSongAs, saveTrack, saveTrackAs});
    file->insertMenu(exit, saveMenu_);
    file->insertSeparator(exit);
    connect(newSong, &QAction::triggered, this, &TFormStudio::NewSong);
    connect(newTrack, &QAction::triggered, this,
            [this] { NewTrack(settings_.trackFormat, settings_.trackLength, "00:00.00000"); });
    connect(open, &QAction::triggered, this, &TFormStudio::OpenClick);
    connect(saveSong, &QAction::triggered, this, [this] { SaveSong(); });
    connect(saveSongAs, &QAction::triggered, this, [this] { SaveSongAs(); });
    connect(saveTrack, &QAction::triggered, this, &TFormStudio::SaveTrackClick);
    connect(saveTrackAs, &QAction::triggered, this, &TFormStudio::SaveTrackAsClick);
    connect(file, &QMenu::aboutToShow, this, &TFormStudio::UpdateFileMenu);

    // Options, the second top-level menu.
    optionsMenu_ = new QMenu(QStringLiteral("&Options"), this);
    optionsMenu_->setToolTipsVisible(true);
    QAction* sound = Item(optionsMenu_, "&Sound...", "Choose the sound devices");
    QAction* defaults =
        Item(optionsMenu_, "&Defaults...", "Choose the format and length of new tracks");
    optionsMenu_->addActions({sound, defaults});
    connect(sound, &QAction::triggered, this, &TFormStudio::SoundOptionsClick);
    connect(defaults, &QAction::triggered, this, &TFormStudio::DefaultsClick);
    menuBar()->insertMenu(WindowMenu()->menuAction(), optionsMenu_);

    // Window: Arrange Tracks, Organize Tracks... and a separator ahead of Cascade; the same
    // three make the context menu.
    QMenu* window = WindowMenu();
    QAction* cascade = window->actions().value(0);
    QAction* arrange = Item(window, "Arrange Tracks", "Lay the tracks out along the song's time");
    QAction* organize = Item(window, "Organize Tracks...", "Put the tracks in a new order");
    window->insertAction(cascade, arrange);
    window->insertAction(cascade, organize);
    QAction* separator = window->insertSeparator(cascade);
    connect(arrange, &QAction::triggered, this, &TFormStudio::ArrangeTracks);
    connect(organize, &QAction::triggered, this, &TFormStudio::OrganizeTracks);
    connect(window, &QMenu::aboutToShow, this, &TFormStudio::UpdateWindowMenu);
    popupMenu_ = new QMenu(this);
    popupMenu_->addActions({arrange, organize, separator});
}

QAction* TFormStudio::MenuItem(const std::string& path) const {
    QList<QAction*> level = menuBar()->actions();
    QAction* found = nullptr;
    for (const QString& element : QString::fromStdString(path).split(QLatin1Char('|'))) {
        found = nullptr;
        const QString wanted = PathElement(element);
        for (QAction* action : level)
            if (!action->isSeparator() && PathElement(action->text()) == wanted) {
                found = action;
                break;
            }
        if (!found) return nullptr; // a missing element ends the search
        level = found->menu() ? found->menu()->actions() : QList<QAction*>();
    }
    return found;
}

void TFormStudio::UpdateFileMenu() {
    TFormTrack* current = CurrentTrackWindow();
    MenuItem("File|Save|Track As")->setEnabled(current && current->SaveAsBtn()->isEnabled());
    MenuItem("File|Save|Track")->setEnabled(current && current->SaveBtn()->isEnabled());
    MenuItem("File|Save|Song")->setEnabled(saveBtn_->isEnabled());
}

void TFormStudio::UpdateWindowMenu() {
    MenuItem("Window|Arrange Tracks")->setEnabled(ChildCount() >= 1);
    MenuItem("Window|Organize Tracks")->setEnabled(ChildCount() >= 2);
}

void TFormStudio::contextMenuEvent(QContextMenuEvent* event) {
    UpdateWindowMenu();
    popupMenu_->popup(event->globalPos());
}

// ---- shown, closed

void TFormStudio::showEvent(QShowEvent* event) {
    // The base restores the layout first, under the design-time caption.
    TFormVelM::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    songPath_.clear();
    setWindowTitle(QStringLiteral("New Song"));
    // Once the window is up: the device's reports may ask the user, and a box must not hold
    // up the window's first paint.
    QMetaObject::invokeMethod(
        this,
        [this] {
            InitialiseSound();
            // Said once, now that the window is up: later writes of the settings fail quietly.
            if (!SettingsFolderWritable(settingsFile_->FileName()))
                MPanel()->AddMessage(kMsgWarning, "Settings cannot be saved: the folder " +
                                                      ConfigDir() + " is not writable");
            OfferRecovery();
            if (!startFile_.empty() && sound_->Device()) OpenByName(startFile_);
        },
        Qt::QueuedConnection);
}

void TFormStudio::InitialiseSound() {
    // Nothing that needs the device while it is made.
    QAction* newItem = MenuItem("File|New");
    QAction* openItem = MenuItem("File|Open");
    QAction* saveItem = MenuItem("File|Save");
    for (QAction* item : {newItem, openItem, saveItem})
        item->setEnabled(false);
    openBtn_->setEnabled(false);
    if (!sound_->Initialise(settings_.device, settings_.outputFormat)) {
        // With no device at all nothing can play, yet tracks can be opened and edited; a device
        // that exists but failed to start keeps them shut until the user chooses another.
        if (sound_->NoDevices()) {
            for (QAction* item : {newItem, openItem, saveItem})
                item->setEnabled(true);
            openBtn_->setEnabled(true);
            RefreshControls();
        }
        return;
    }
    settings_.device = sound_->DeviceName();
    for (QAction* item : {newItem, openItem, saveItem})
        item->setEnabled(true);
    openBtn_->setEnabled(true);
    RefreshControls();
}

void TFormStudio::ExitClick() {
    mode_ = NextStudioMode(mode_, TStudioEvent::BeginClosing);
    TFormVelM::ExitClick();
    if (isVisible())
        mode_ = NextStudioMode(mode_, TStudioEvent::ClosingEnded); // the close was refused
}

void TFormStudio::closeEvent(QCloseEvent* event) {
    mode_ = NextStudioMode(mode_, TStudioEvent::BeginClosing);
    if (!CloseEnabled() || !AllAgreeToClose()) {
        event->ignore();
        mode_ = NextStudioMode(mode_, TStudioEvent::ClosingEnded);
        RefreshControls();
        return;
    }
    CloseAllWindows();
    mode_ = NextStudioMode(mode_, TStudioEvent::BeginClosing);
    StopClock();
    WriteStudioSettings(*settingsFile_, settings_);
    TFormVelM::closeEvent(event);
}

void TFormStudio::AboutClick() {
    QDialog about(this);
    about.setWindowTitle(QStringLiteral("About Wavestack"));
    auto* layout = new QVBoxLayout(&about);
    auto* picture = new QLabel(&about);
    picture->setPixmap(
        QPixmap::fromImage(PictureImage(QStringLiteral("wavestack"), QSize(96, 96))));
    picture->setAlignment(Qt::AlignCenter);
    auto* text = new QLabel(&about);
    text->setAlignment(Qt::AlignCenter);
    QString words = QStringLiteral("Wavestack");
    if (!QCoreApplication::applicationVersion().isEmpty())
        words += QStringLiteral(" ") + QCoreApplication::applicationVersion();
    words += QStringLiteral("\nMultitrack wave recorder and editor");
    text->setText(words);
    layout->addWidget(picture);
    layout->addWidget(text);
    about.setMinimumSize(300, 200);
    about.exec();
}

// ---- the clock

void TFormStudio::StartClock() {
    if (clock_->Running()) return;
    // Each tick hands one poll to this thread and waits for it: ticks never pile up.
    clock_->Start(
        [this] {
            gate_.Call([this] {
                Poll();
                TickMeters();
            });
        },
        [this] { QMetaObject::invokeMethod(&bigTimer_, "stop", Qt::QueuedConnection); });
    bigTimer_.start();
}

void TFormStudio::TickMeters() {
    // The meters move by the time that really passed: a late tick lets them fall further.
    const auto now = std::chrono::steady_clock::now();
    int elapsed = kClockInterval;
    if (lastMeterTick_ != std::chrono::steady_clock::time_point{})
        elapsed = static_cast<int>(std::clamp<int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now - lastMeterTick_).count(), 0,
            1000));
    lastMeterTick_ = now;
    TPeak loudest;
    for (TFormTrack* window : TrackWindows()) {
        const TPeak peak = window->TickMeter(elapsed);
        const TVelTrack* track = window->Track();
        // A take's input is not output.
        if (track && (track->TrackState() == tsPlaying || track->TrackState() == tsStopping))
            loudest = Louder(loudest, ScaledPeak(peak, track->OutputGain()));
    }
    if (outputMeter_ && (loudest != TPeak{} || !outputMeter_->Ballistics().AtRest()))
        outputMeter_->Tick(loudest, elapsed);
}

void TFormStudio::StopClock() {
    bigTimer_.stop();
    clock_->Stop(); // releases the gate first: a tick waiting for this thread lets go
    gate_.Hold();
}

// ---- the host operations of the track windows

void TFormStudio::SetTransportIdle() {
    mode_ = NextStudioMode(mode_, TStudioEvent::TrackStop);
}

bool TFormStudio::PlayAllEnabled() {
    return playBtn_->isEnabled();
}

bool TFormStudio::StopAllEnabled() {
    return stopBtn_->isEnabled();
}

bool TFormStudio::RecordEnabled() {
    return recordBtn_->isEnabled();
}

void TFormStudio::EnableSongSave() {
    saveBtn_->setEnabled(true);
}

std::string TFormStudio::NormaliseTrackName(const std::string& path) {
    return TrackCaption(std::filesystem::absolute(path).lexically_normal().string());
}

void TFormStudio::CloseWindowShowing(const std::string& caption, TFormTrack& except) {
    for (TFormTrack* window : TrackWindows())
        if (window != &except &&
            QString::fromStdString(window->Caption())
                    .compare(QString::fromStdString(caption), Qt::CaseInsensitive) == 0)
            window->CloseWithoutQuestions();
}

bool TFormStudio::IsFileOpenAsTrack(const std::string& path) {
    return FindChildByCaption(QString::fromStdString(NormaliseTrackName(path))) != nullptr;
}

std::string TFormStudio::SongFolder() {
    if (!songPath_.empty()) return std::filesystem::path(songPath_).parent_path().string() + "/";
    return QDir::homePath().toStdString() + "/"; // a song never saved has no folder yet
}

std::string TFormStudio::MainCaption() {
    return windowTitle().toStdString();
}

TMessageSink& TFormStudio::MainPanel() {
    return *MPanel();
}

TMainClientFacts TFormStudio::ClientFacts() {
    TMainClientFacts facts;
    for (QMdiSubWindow* window : MdiArea()->subWindowList())
        if (window->isMaximized()) facts.anyChildMaximised = true;
    // The MDI area already lies between the two panels.
    facts.clientHeight = MdiArea()->viewport()->height();
    return facts;
}

// ---- replaceable boxes

void TFormStudio::SetYesNoCancelBox(YesNoCancelBox box) {
    yesNoCancelBox_ = box ? std::move(box) : [](QWidget* parent, const QString& text) {
        return static_cast<int>(
            QMessageBox::question(parent, parent->windowTitle(), text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel));
    };
}

void TFormStudio::SetTrackWindowHook(std::function<void(TFormTrack&)> hook) {
    trackWindowHook_ = std::move(hook);
}
