// The track window's construction, its pages, and how it follows its track: the owner calls
// of the track and the buttons, icon and Properties page that every state change refreshes.
#include "track/view/FormTrack.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QSlider>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include "audio/WaveFormat.h"
#include "track/VelTrack.h"
#include "track/view/FormatChooser.h"
#include "track/view/PositionPanel.h"
#include "track/view/QtClipboardStore.h"
#include "track/view/TrackWindowHost.h"
#include "track/view/WaveSurface.h"
#include "track/view/WaveView.h"
#include "ui/widgets/FormVelM.h"
#include "ui/widgets/LevelMeterWidget.h"
#include "ui/widgets/Pictures.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

constexpr int kDesignWidth = 600;  // [px]
constexpr int kDesignHeight = 280; // [px]

constexpr int kMargin = 8; // [px] around the controls of a page

template <class TButton>
TButton* PanelButton(QWidget* parent, const char* name, const char* caption, const char* picture) {
    auto* button = new TButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(QString::fromLatin1(caption));
    button->SetPicture(QString::fromLatin1(picture));
    button->SetBtnSize(bsSmall); // follows the panel's size
    return button;
}

// A page's own button: its label in words, as wide as the label needs.
TVelBtnBmp* PageButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new TVelBtnBmp(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(QString::fromLatin1(caption));
    button->setMinimumWidth(80);
    return button;
}

QLineEdit* ReadOnlyField(QWidget* parent, const char* name, const char* hint) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setReadOnly(true);
    field->setToolTip(QString::fromLatin1(hint));
    field->setStatusTip(field->toolTip());
    return field;
}

TVelTimeEdit* TimeField(QWidget* parent, const char* name, const char* hint) {
    auto* field = new TVelTimeEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setToolTip(QString::fromLatin1(hint));
    field->setStatusTip(field->toolTip());
    return field;
}

QLabel* Label(QWidget* parent, const char* text, Qt::Alignment align = Qt::AlignLeft) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

TVelTrackBar* PercentBar(QWidget* parent, const char* name, const char* hint) {
    auto* bar = new TVelTrackBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->SetMin(-100);
    bar->SetMax(100);
    bar->SetFrequency(5);
    bar->SetPosition(0);
    bar->SetTrackHint(QString::fromLatin1(hint));
    return bar;
}

std::optional<std::string> DefaultSaveDialog(QWidget* parent, const std::string& folder,
                                             const std::string& fileName) {
    QFileDialog dialog(parent, QString(), QString::fromStdString(folder),
                       QStringLiteral("Wave File (*.Wav *.wav *.WAV)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("Wav"));
    dialog.setFileMode(QFileDialog::AnyFile); // the folder must exist: the dialog sees to it
    dialog.selectFile(QString::fromStdString(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> DefaultOpenDialog(QWidget* parent, const std::string& title,
                                             const std::string& fileName) {
    const QString chosen = QFileDialog::getOpenFileName(
        parent, QString::fromStdString(title), QString::fromStdString(fileName),
        QStringLiteral("Wave Files (*.Wav *.wav *.WAV);;All Files (*)"));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

bool DefaultOkCancelBox(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, parent->windowTitle(), text,
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

TYesNoCancel DefaultYesNoCancelBox(QWidget* parent, const QString& text) {
    switch (QMessageBox::question(parent, parent->windowTitle(), text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
        return TYesNoCancel::Yes;
    case QMessageBox::No:
        return TYesNoCancel::No;
    default:
        return TYesNoCancel::Cancel;
    }
}

void DefaultErrorBox(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, parent->windowTitle(), text);
}

void DefaultInformationBox(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, parent->windowTitle(), text);
}

} // namespace

TFormTrack::TFormTrack(TFormVelM& mainWindow, TTrackWindowHost& host)
    : TFormVelMc(mainWindow), host_(host),
      gate_(
          [this](std::function<void()> call) {
              QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
          },
          [this] { return QThread::currentThread() == thread(); }) {
    setObjectName(QStringLiteral("FormTrack"));
    SetOkCancelBox({});
    SetYesNoCancelBox({});
    SetSaveDialog({});
    SetOpenDialog({});
    SetFormatDialog({});
    SetErrorBox({});
    SetInformationBox({});
    SetHelpContext(kTrackHelp);
    clipboard_ = std::make_unique<TQtClipboardStore>(&gate_);

    BuildButtons();
    pages_ = new QTabWidget(ClientArea());
    pages_->setObjectName(QStringLiteral("PageControl"));
    auto* column = new QVBoxLayout(ClientArea());
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(pages_);
    BuildTrackPage();
    BuildPropertiesPage();
    BuildPanVolumePage();
    connect(pages_, &QTabWidget::currentChanged, this, &TFormTrack::PageChanged);

    track_ = std::make_unique<TVelTrack>(*this, *MPanel(), *view_, *clipboard_, host_.FileLock());
    track_->EnableRecovery(); // a killed program's unsaved changes can be taken up again
    view_->SetTrack(track_.get());
    connect(view_, &TWaveView::Cued, this, [this] {
        UpdateButtons();
        host_.RefreshTransport();
    });

    // Minimisable, never maximised: a maximised track window would hide the song.
    if (QMdiSubWindow* window = SubWindow()) {
        window->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint);
        window->installEventFilter(this);
        connect(window, &QMdiSubWindow::windowStateChanged, this,
                [this] { WindowStateFollowed(); });
        // Room for its rows of controls and a waveform until a saved layout or Arrange says
        // otherwise.
        window->resize(kDesignWidth, kDesignHeight);
    }
    connect(mainWindow.MdiArea(), &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* window) {
                if (window && window == SubWindow() && activation_.Activate())
                    host_.RefreshTransport();
            });
    qApp->installEventFilter(this); // the keypad keys come before the controls
    ApplyIcon(TTrackIcon::MWave);
    UpdateButtons();
}

TFormTrack::~TFormTrack() {
    qApp->removeEventFilter(this);
    if (track_) {
        closing_ = true;
        track_.reset(); // waits for the worker through BeforeWaitingForWorker
    }
}

TTrackEffectsDialog::Factory& TFormTrack::EffectsFactory() {
    static TTrackEffectsDialog::Factory factory;
    return factory;
}

void TFormTrack::SetEffectsDialogFactory(TTrackEffectsDialog::Factory factory) {
    EffectsFactory() = std::move(factory);
}

std::string TFormTrack::Caption() const {
    return windowTitle().toStdString();
}

void TFormTrack::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

// ---- building

void TFormTrack::BuildButtons() {
    TVelBtnBmpPnl* panel = N_Panel();
    OkBtn()->SetCaption(QStringLiteral("Ok|Ok - Save Track"));
    CancelBtn()->SetCaption(QStringLiteral("Cancel|Cancel -Remove track from Song"));
    saveBtn_ = PanelButton<TVelBtnBmp>(panel, "SaveBtn", "Save", "save");
    rewindBtn_ = PanelButton<TVelBtnBmp>(panel, "RewindBtn", "Rewind", "rewind");
    stopBtn_ = PanelButton<TVelBtnBmp>(panel, "StopBtn", "Stop", "stop");
    playBtn_ = PanelButton<TVelBtnBmp>(panel, "PlayBtn", "Play", "play");
    forwardBtn_ =
        PanelButton<TVelBtnBmp>(panel, "ForwardBtn", "FForward|Fast Forward", "fastforward");
    recordBtn_ = PanelButton<TVelBtnBmp>(panel, "RecordBtn", "Record", "record");
    recordBtn_->setEnabled(false);
    mixBtn_ = PanelButton<TVelBtnBmp>(panel, "MixBtn", "Effects", "effects");
    muteBtn_ = PanelButton<TVELBtn2Bmp>(panel, "MuteBtn", "Mute", "mute");
    muteBtn_->SetPicture2(QStringLiteral("unmute"));
    panel->AddSeparator();
    for (TVelBtnBmp* button : {saveBtn_, rewindBtn_, stopBtn_, playBtn_, forwardBtn_, recordBtn_,
                               mixBtn_, static_cast<TVelBtnBmp*>(muteBtn_)})
        panel->AddButton(button);
    connect(saveBtn_, &TVelBtnBmp::Click, this, &TFormTrack::SaveBtnClick);
    connect(rewindBtn_, &TVelBtnBmp::Click, this, &TFormTrack::RewindBtnClick);
    connect(stopBtn_, &TVelBtnBmp::Click, this, &TFormTrack::StopBtnClick);
    connect(playBtn_, &TVelBtnBmp::Click, this, &TFormTrack::PlayBtnClick);
    connect(forwardBtn_, &TVelBtnBmp::Click, this, &TFormTrack::ForwardBtnClick);
    connect(recordBtn_, &TVelBtnBmp::Click, this, &TFormTrack::RecordBtnClick);
    connect(mixBtn_, &TVelBtnBmp::Click, this, &TFormTrack::MixBtnClick);
    connect(muteBtn_, &TVelBtnBmp::Click, this, &TFormTrack::MuteBtnClick);
}

void TFormTrack::BuildTrackPage() {
    trackSheet_ = new QWidget(pages_);
    trackSheet_->setObjectName(QStringLiteral("TrackSheet"));
    view_ = new TWaveView(trackSheet_);
    view_->setObjectName(QStringLiteral("Track"));
    view_->SetSelectedColor(kWhite);
    auto* layout = new QVBoxLayout(trackSheet_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_);
    meter_ = new TLevelMeterWidget(trackSheet_);
    meter_->setToolTip(QStringLiteral(
        "Level: what the track plays, or what its input hears while it records; click to clear "
        "the clip mark"));
    layout->addWidget(meter_);
    pages_->addTab(trackSheet_, QStringLiteral("Track"));
    view_->Surface()->installEventFilter(this); // the standard keys while it has the focus
}

void TFormTrack::BuildPropertiesPage() {
    propertySheet_ = new QWidget(pages_);
    propertySheet_->setObjectName(QStringLiteral("PropertySheet"));
    fileName_ = ReadOnlyField(propertySheet_, "FileName", "Click Save to change");
    saveAsBtn_ = PageButton(propertySheet_, "SaveAsBtn", "Save As|Save As Dialog ");
    waveDesc_ = ReadOnlyField(propertySheet_, "WaveDesc", "Click Open to Change");
    waveBtn_ = PageButton(propertySheet_, "WaveBtn", "Open|Open wave format dialog");
    startsAt_ =
        TimeField(propertySheet_, "StartsAt", "Starts at  (Minutes.Seconds.Fractional Seconds)");
    length_ =
        TimeField(propertySheet_, "Length", "Play Length  (Minutes.Seconds.Fractional Seconds)");
    lengthInBytes_ = new QLabel(propertySheet_);
    lengthInBytes_->setObjectName(QStringLiteral("LengthInBytes"));
    fileName_->installEventFilter(this); // a double click is Save As
    waveDesc_->installEventFilter(this); // and here the format button

    auto* grid = new QGridLayout(propertySheet_);
    grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    grid->addWidget(Label(propertySheet_, "File"), 0, 0);
    grid->addWidget(fileName_, 0, 1, 1, 2);
    grid->addWidget(saveAsBtn_, 0, 3);
    grid->addWidget(Label(propertySheet_, "Format"), 1, 0);
    grid->addWidget(waveDesc_, 1, 1, 1, 2);
    grid->addWidget(waveBtn_, 1, 3);
    QLabel* startsLabel = Label(propertySheet_, "Starts At");
    startsLabel->setBuddy(startsAt_);
    grid->addWidget(startsLabel, 2, 0);
    grid->addWidget(startsAt_, 2, 1);
    QLabel* lengthLabel = Label(propertySheet_, "Length");
    lengthLabel->setBuddy(length_);
    grid->addWidget(lengthLabel, 3, 0);
    grid->addWidget(length_, 3, 1);
    grid->addWidget(lengthInBytes_, 3, 2, 1, 2);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(4, 1);
    pages_->addTab(propertySheet_, QStringLiteral("Properties"));

    connect(saveAsBtn_, &TVelBtnBmp::Click, this, &TFormTrack::SaveAsBtnClick);
    connect(waveBtn_, &TVelBtnBmp::Click, this, &TFormTrack::WaveBtnClick);
    connect(length_, &QLineEdit::textEdited, this, [this] { LengthEdited(); });
    connect(length_, &TVelTimeEdit::Left, this, [this] { LengthLeft(); });
    connect(startsAt_, &QLineEdit::textEdited, this, [this] { StartsAtEdited(); });
}

void TFormTrack::BuildPanVolumePage() {
    panVolumeSheet_ = new QWidget(pages_);
    panVolumeSheet_->setObjectName(QStringLiteral("DirectSound"));
    panBar_ = PercentBar(panVolumeSheet_, "PanBar", "Pan");
    volumeBar_ = PercentBar(panVolumeSheet_, "VolumeBar", "Volume");
    defaultBtn_ = PageButton(panVolumeSheet_, "DefaultBtn", "Defaults|Reset to Defaults");
    defaultBtn_->setEnabled(false);

    auto* grid = new QGridLayout(panVolumeSheet_);
    grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    grid->addWidget(Label(panVolumeSheet_, "Pan", Qt::AlignHCenter), 0, 1);
    grid->addWidget(Label(panVolumeSheet_, "Left (-100%)", Qt::AlignRight), 1, 0);
    grid->addWidget(panBar_, 1, 1);
    grid->addWidget(Label(panVolumeSheet_, "Right (100%)"), 1, 2);
    grid->addWidget(Label(panVolumeSheet_, "Volume", Qt::AlignHCenter), 2, 1);
    grid->addWidget(Label(panVolumeSheet_, "Silence (-100%)", Qt::AlignRight), 3, 0);
    grid->addWidget(volumeBar_, 3, 1);
    grid->addWidget(Label(panVolumeSheet_, "Loudest ( 100%)"), 3, 2);
    grid->addWidget(defaultBtn_, 4, 1, Qt::AlignHCenter);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(5, 1);
    pages_->addTab(panVolumeSheet_, QStringLiteral("Pan/Volume"));

    for (TVelTrackBar* bar : {panBar_, volumeBar_})
        connect(bar, &TVelTrackBar::Change, this, [this, bar](QObject* sender) {
            if (sender == bar->Bar()) PanOrVolumeMoved();
        });
    connect(defaultBtn_, &TVelBtnBmp::Click, this, &TFormTrack::DefaultBtnClick);
}

void TFormTrack::PageChanged(int index) {
    static constexpr int kContexts[] = {kTrackHelp, kPropertiesHelp, kPanVolumeHelp};
    if (index >= 0 && index < 3) SetHelpContext(kContexts[index]);
}

// ---- operations of the main window

void TFormTrack::InitialiseTrack(TSoundOutputDevice* device, const std::string& fileName,
                                 const WAVEFORMATEX& outputFormat, const WAVEFORMATEX& newFormat,
                                 const std::string& newLengthText, const std::string& startText) {
    track_->SetSoundDevice(device, outputFormat);
    track_->SetInputDevice(host_.RecorderNumber());
    SetDampen(host_.Dampen());
    MPanel()->AddMessage(kMsgStatus, "Initializing " + fileName);
    if (!fileName.empty()) {
        track_->FileName = fileName; // no job runs yet: nobody else reads the name
    } else {
        track_->NewTrack(newFormat, newLengthText);
    }
    SetStartsAt(startText.empty() ? startsAtText_ : startText);
    track_->Reopen();
    UpdateButtons();
}

void TFormTrack::InitialiseRecoveredTrack(TSoundOutputDevice* device,
                                          const WAVEFORMATEX& outputFormat,
                                          const TRecoveryRecord& record) {
    track_->SetSoundDevice(device, outputFormat);
    track_->SetInputDevice(host_.RecorderNumber());
    SetDampen(host_.Dampen());
    MPanel()->AddMessage(
        kMsgStatus,
        "Recovering " + (record.UserFileName.empty() ? record.WorkingState : record.UserFileName));
    if (track_->RecoverFrom(record)) {
        startsAtText_ = track_->StartOffsetText;
        startsAt_->SetTimeText(QString::fromStdString(startsAtText_));
    }
    UpdateButtons();
}

void TFormTrack::SetStartsAt(const std::string& timeText) {
    startsAtText_ = timeText;
    startsAt_->SetTimeText(QString::fromStdString(timeText));
    track_->SetStartOffsetText(timeText);
}

void TFormTrack::SetPanPosition(int pan) {
    pan_ = pan;
    panBar_->SetPosition(pan);
    track_->SetPanValue(pan);
    ApplyDefaultsButton();
}

void TFormTrack::SetVolumePosition(int volume) {
    volume_ = volume;
    volumeBar_->SetPosition(volume);
    track_->SetVolumeValue(volume);
    ApplyDefaultsButton();
}

void TFormTrack::SetMuted(bool muted) {
    const std::optional<TMuteLook> look = MuteChange(muted_, muted);
    if (!look) return;
    muted_ = muted;
    muteBtn_->SetUseBmp2(look->secondPicture);
    muteBtn_->SetCaption(QString::fromStdString(look->caption));
    ApplyIcon(look->icon);
}

void TFormTrack::SetMinimized(bool minimized) {
    minimized_ = minimized;
    QMdiSubWindow* window = SubWindow();
    if (!window) return;
    // Off means the normal state: a first window shown maximized ends up normal too.
    if (minimized)
        window->showMinimized();
    else if (window->isMinimized() || window->isMaximized())
        window->showNormal();
}

void TFormTrack::SetDampen(bool on) {
    track_->SetDampen(on);
    volumeBar_->setEnabled(!on);
}

// ---- following the track

void TFormTrack::TrackStateChanged(TVelTrack& /*track*/) {
    if (QThread::currentThread() == thread()) {
        RefreshFromTrack();
        return;
    }
    // Each refresh reads the track as it is then, so changes that arrive together need one.
    if (stateChangeQueued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            stateChangeQueued_ = false;
            RefreshFromTrack();
        },
        Qt::QueuedConnection);
}

TPeak TFormTrack::TickMeter(int elapsedMs) {
    const TPeak peak = track_ ? track_->LevelMeter().Take() : TPeak{};
    // A meter at rest that gets nothing stays as it is: sixteen idle windows cost no repaint.
    if (meter_ && (peak != TPeak{} || !meter_->Ballistics().AtRest()))
        meter_->Tick(peak, elapsedMs);
    return peak;
}

void TFormTrack::RefreshFromTrack() {
    if (!track_) return;
    UpdateButtons();
    view_->UpdatePositionControls();
    host_.RefreshTransport();
    ShowProperties();
}

void TFormTrack::UpdateButtons() {
    if (!track_ || closing_) return;
    TTrackWindowFacts facts;
    facts.state = track_->TrackState();
    facts.effectsDialogOpen = track_->EffectState != esNoDialog;
    facts.hasSelection = track_->HasSelection;
    facts.muted = muted_;
    // The worker changes the lengths while it works; they only matter once it is done.
    if (facts.state == tsReady) {
        facts.playPosition = track_->PlayPosition;
        facts.startOffset = track_->StartOffset;
        facts.dataLength = track_->DataLength;
        facts.modified = track_->Modified();
    }
    const TTrackWindowControls c = TrackWindowControls(facts);
    OkBtn()->setEnabled(c.ok);
    CancelBtn()->setEnabled(c.cancel);
    saveBtn_->setEnabled(c.save);
    rewindBtn_->setEnabled(c.rewind);
    stopBtn_->setEnabled(c.stop);
    playBtn_->setEnabled(c.play);
    forwardBtn_->setEnabled(c.forward);
    recordBtn_->setEnabled(c.record);
    mixBtn_->setEnabled(c.effects);
    muteBtn_->setEnabled(c.mute);
    saveAsBtn_->setEnabled(c.saveAs);
    waveBtn_->setEnabled(c.waveBtn);
    length_->setEnabled(c.length);
    startsAt_->setEnabled(c.startsAt);
    if (c.propertiesBusyPointer)
        propertySheet_->setCursor(Qt::BusyCursor);
    else
        propertySheet_->unsetCursor();
    ApplyIcon(c.icon);
    saveEnabled_ = c.save;
    if (effectsDialog_) effectsDialog_->Refresh();
    SetCloseEnabled(c.closeCommand);
}

void TFormTrack::ApplyIcon(TTrackIcon icon) {
    if (icon == TTrackIcon::Keep) return;
    const std::string name = TrackIconName(icon);
    if (name == iconName_) return;
    iconName_ = name;
    QString picture = QString::fromStdString(name).toLower();
    setWindowIcon(PictureIcon(picture));
    if (QMdiSubWindow* window = SubWindow()) window->setWindowIcon(windowIcon());
}

void TFormTrack::ShowProperties() {
    const TTrackState state = track_->TrackState();
    if (state != tsReady && state != tsEmpty) return; // the worker may be changing the data
    const TTrackProperties shown = TrackProperties(Caption(), track_->Format(), track_->DataLength);
    fileName_->setText(QString::fromStdString(shown.fileName));
    waveDesc_->setText(QString::fromStdString(shown.waveDesc));
    if (!length_->hasFocus()) {
        length_->SetTimeText(QString::fromStdString(shown.lengthText));
        lengthInBytes_->setText(QString::fromStdString(shown.sizeLabel));
    }
}

// ---- the track's owner calls

bool TFormTrack::IsFileOpenAsTrack(const std::string& path) {
    return host_.IsFileOpenAsTrack(path);
}

void TFormTrack::ShowUndoWarning(const std::string& text) {
    gate_.Call([this, text] { informationBox_(this, QString::fromStdString(text)); });
}

void TFormTrack::SetHourglass(bool on) {
    hourglass_ = on;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (hourglass_)
                view_->setCursor(Qt::BusyCursor);
            else
                view_->unsetCursor();
        },
        Qt::QueuedConnection);
}

std::optional<std::string> TFormTrack::ChooseTransferFile(bool forSaving, const std::string& title,
                                                          const std::string& initialName) {
    if (forSaving) return saveDialog_(this, std::string(), initialName);
    return openDialog_(this, title, initialName);
}

void TFormTrack::ErrorBox(const std::string& text) {
    errorBox_(this, QString::fromStdString(text));
}

bool TFormTrack::ConfirmBox(const std::string& text) {
    return AskOkCancel(text);
}

std::optional<WAVEFORMATEX> TFormTrack::ChooseConversionFormat(const WAVEFORMATEX& current) {
    const QString title = QStringLiteral("Choose a Wave Format for Conversion");
    const auto answer = gate_.Ask<std::optional<WAVEFORMATEX>>(
        [this, title, current] { return formatDialog_(this, title, current); });
    return answer ? *answer : std::nullopt;
}

void TFormTrack::BeforeWaitingForWorker(TVelTrack& /*track*/) {
    gate_.Release();
    MPanel()->SetHoldWorkers(false);
}

void TFormTrack::AfterWaitingForWorker(TVelTrack& /*track*/) {
    gate_.Hold();
    MPanel()->SetHoldWorkers(true);
}

bool TFormTrack::AskOkCancel(const std::string& text) {
    return okCancelBox_(this, QString::fromStdString(text));
}

void TFormTrack::SetOkCancelBox(OkCancelBox box) {
    okCancelBox_ = box ? std::move(box) : DefaultOkCancelBox;
}

void TFormTrack::SetYesNoCancelBox(YesNoCancelBox box) {
    yesNoCancelBox_ = box ? std::move(box) : DefaultYesNoCancelBox;
}

void TFormTrack::SetSaveDialog(SaveDialog dialog) {
    saveDialog_ = dialog ? std::move(dialog) : DefaultSaveDialog;
}

void TFormTrack::SetOpenDialog(OpenDialog dialog) {
    openDialog_ = dialog ? std::move(dialog) : DefaultOpenDialog;
}

void TFormTrack::SetFormatDialog(FormatDialog dialog) {
    formatDialog_ = dialog ? std::move(dialog) : ChooseWaveFormat;
}

void TFormTrack::SetErrorBox(MessageBox box) {
    errorBox_ = box ? std::move(box) : DefaultErrorBox;
}

void TFormTrack::SetInformationBox(MessageBox box) {
    informationBox_ = box ? std::move(box) : DefaultInformationBox;
}
