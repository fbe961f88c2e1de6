// The track window's commands: its transport, Mute, Save and Save As, the format conversion,
// the start and length fields, pan and volume, the keys, the effects dialog, and closing.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "track/view/PositionPanel.h"
#include "track/view/TrackWindowHost.h"
#include "track/view/WaveSurface.h"
#include "track/view/WaveView.h"
#include "ui/widgets/FormVelM.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

// The menu item's entry in the track's menu (its submenus included), or null.
const TMenuItem* FindItem(const std::vector<TMenuItem>& items, const std::string& caption,
                          bool prefix) {
    for (const TMenuItem& item : items) {
        const bool match = prefix
                               ? item.caption.rfind(caption, 0) == 0 && item.caption != "Undo All"
                               : item.caption == caption;
        if (match) return &item;
        if (const TMenuItem* inner = FindItem(item.items, caption, prefix)) return inner;
    }
    return nullptr;
}

// Answers the close query's questions with the window's boxes.
class TCloseQuestions : public TCloseQueryHost {
  public:
    TCloseQuestions(std::function<bool(const std::string&)> okCancel,
                    std::function<TYesNoCancel(const std::string&)> yesNoCancel,
                    std::function<bool()> save)
        : okCancel_(std::move(okCancel)), yesNoCancel_(std::move(yesNoCancel)),
          save_(std::move(save)) {}
    bool ConfirmOkCancel(const std::string& question) override { return okCancel_(question); }
    TYesNoCancel AskYesNoCancel(const std::string& question) override {
        return yesNoCancel_(question);
    }
    bool SaveTrack() override { return save_(); }

  private:
    std::function<bool(const std::string&)> okCancel_;
    std::function<TYesNoCancel(const std::string&)> yesNoCancel_;
    std::function<bool()> save_;
};

} // namespace

// ---- the transport

void TFormTrack::PlayBtnClick() {
    if (muted_) {
        SetMuted(false);
        host_.RefreshTransport();
    }
    track_->Play();
}

void TFormTrack::StopBtnClick() {
    stopBtn_->setEnabled(false);
    track_->Stop();
    host_.SetTransportIdle();
}

void TFormTrack::RewindBtnClick() {
    track_->Cue(track_->PreviousBoundary());
    UpdateButtons();
    host_.RefreshTransport();
}

void TFormTrack::ForwardBtnClick() {
    const int32_t next = track_->NextBoundary();
    track_->Cue(track_->PlayPosition < next ? next : track_->StartOffset + track_->DataLength);
    UpdateButtons();
    host_.RefreshTransport();
}

void TFormTrack::RecordBtnClick() {
    track_->StartRecording();
}

void TFormTrack::MuteBtnClick() {
    SetMuted(!muted_);
    host_.RefreshTransport();
}

// ---- saving

bool TFormTrack::SaveTrack() {
    if (SaveNeedsSaveAs(track_->ShortFileName())) return SaveTrackAs();
    return track_->SaveTrackAs(std::string());
}

bool TFormTrack::SaveTrackAs() {
    // A track never saved has only its temporary working file: its short name tells so.
    const std::string file = track_->WaveFileName();
    const TSaveAsStart start =
        SaveAsStart(file.empty() ? track_->ShortFileName() : file, Caption(), host_.SongFolder());
    const std::optional<std::string> chosen = saveDialog_(this, start.folder, start.fileName);
    if (!chosen) return false;
    const std::string caption = host_.NormaliseTrackName(*chosen);
    host_.CloseWindowShowing(caption, *this);
    // The caption names the file the song records for this track: it changes only once the
    // track really lives there, so a failed save cannot leave the song naming a file that
    // does not exist.
    const bool saved = track_->SaveTrackAs(*chosen);
    if (saved) SetCaption(caption);
    host_.EnableSongSave();
    fileName_->setText(QString::fromStdString(Caption()));
    UpdateButtons();
    return saved;
}

void TFormTrack::SaveBtnClick() {
    SaveTrack();
    if (effectsDialog_) {
        track_->EffectState = esReady; // a saved effect can no longer be taken back
        effectsDialog_->Refresh();
    }
    SaveLayout();
    UpdateButtons();
}

void TFormTrack::SaveAsBtnClick() {
    SaveTrackAs();
}

void TFormTrack::OkBtnClick() {
    SaveLayout();
    if (track_->Modified()) SaveTrack();
    SetMinimized(true);
}

void TFormTrack::WaveBtnClick() {
    track_->ConvertFormat();
    ShowProperties();
    waveBtn_->setEnabled(false);
}

// ---- the Properties page

void TFormTrack::LengthEdited() {
    lengthInBytes_->setText(QString::fromStdString(
        LengthTextSizeLabel(length_->TimeText().toStdString(), track_->Format())));
}

void TFormTrack::LengthLeft() {
    if (!length_->isEnabled() || track_->TrackState() != tsReady) return;
    const TTrackProperties now = TrackProperties(Caption(), track_->Format(), track_->DataLength);
    const TLengthChange change =
        LengthChange(length_->TimeText().toStdString(), now.lengthText, track_->ShortFileName());
    if (change.kind == TLengthChangeKind::None) return;
    if (!AskOkCancel(change.question)) {
        length_->SetTimeText(QString::fromStdString(now.lengthText));
        lengthInBytes_->setText(QString::fromStdString(now.sizeLabel));
        return;
    }
    length_->setEnabled(false); // until the change has ended
    track_->ChangeTotal(change.newText);
}

void TFormTrack::StartsAtEdited() {
    const std::string text = BlanksToZeros(startsAt_->TimeText().toStdString());
    startsAtText_ = text;
    track_->SetStartOffsetText(text);
    UpdateButtons();
    host_.RefreshTransport();
}

// ---- pan and volume

void TFormTrack::PanOrVolumeMoved() {
    pan_ = panBar_->Position();
    volume_ = volumeBar_->Position();
    track_->SetPanValue(pan_);
    track_->SetVolumeValue(volume_);
    host_.RefreshTransport();
    ApplyDefaultsButton();
}

void TFormTrack::ApplyDefaultsButton() {
    defaultBtn_->setEnabled(DefaultsEnabled(pan_, volume_));
}

void TFormTrack::DefaultBtnClick() {
    SetPanPosition(0);
    SetVolumePosition(0);
    host_.RefreshTransport();
}

// ---- keys

bool TFormTrack::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (widget && (widget == this || isAncestorOf(widget))) {
            if (HandleKeypad(key)) return true;
            if (watched == view_->Surface() && HandleWaveKeys(key)) return true;
        }
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == fileName_ && saveAsBtn_->isEnabled()) {
            SaveAsBtnClick();
            return true;
        }
        if (watched == waveDesc_ && waveBtn_->isEnabled()) {
            WaveBtnClick();
            return true;
        }
    } else if (event->type() == QEvent::Move && watched == SubWindow()) {
        PlaceEffectsDialog();
    }
    return TFormVelMc::eventFilter(watched, event);
}

bool TFormTrack::HandleKeypad(QKeyEvent* event) {
    if (!(event->modifiers() & Qt::KeypadModifier)) return false;
    TKeypadKey key;
    switch (event->key()) {
    case Qt::Key_4:
        key = TKeypadKey::Four;
        break;
    case Qt::Key_6:
        key = TKeypadKey::Six;
        break;
    case Qt::Key_0:
        key = TKeypadKey::Zero;
        break;
    case Qt::Key_Plus:
        key = TKeypadKey::Plus;
        break;
    default:
        return false;
    }
    const TKeypadCommand command = KeypadCommand(key);
    bool enabled = false;
    switch (command.target) {
    case TKeypadTarget::WindowRewind:
        if ((enabled = rewindBtn_->isEnabled())) RewindBtnClick();
        break;
    case TKeypadTarget::StudioPlayAll:
        if ((enabled = host_.PlayAllEnabled())) host_.PlayAll();
        break;
    case TKeypadTarget::StudioStopAll:
        if ((enabled = host_.StopAllEnabled())) host_.StopAll();
        break;
    case TKeypadTarget::StudioRecord:
        if ((enabled = host_.RecordEnabled())) host_.Record();
        break;
    }
    if (!enabled) host_.MainPanel().AddMessage(kKeypadMessageKind, command.disabledMessage);
    return true;
}

bool TFormTrack::ChooseMenuItemIfEnabled(const std::string& caption) {
    const std::vector<TMenuItem> menu = track_->PopupMenu();
    const bool undo = caption == "Undo";
    const TMenuItem* item = FindItem(menu, caption, undo);
    if (!item || !item->enabled) return false;
    track_->ChooseMenuItem(item->caption);
    return true;
}

bool TFormTrack::HandleWaveKeys(QKeyEvent* event) {
    const auto clickIfEnabled = [](TVelBtnBmp* button) {
        if (button->isEnabled()) button->PerformClick();
        return true;
    };
    if (event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Space:
            return clickIfEnabled(stopBtn_->isEnabled() ? stopBtn_ : playBtn_);
        case Qt::Key_Home:
            return clickIfEnabled(rewindBtn_);
        case Qt::Key_End:
            return clickIfEnabled(forwardBtn_);
        default:
            break;
        }
    }
    static const std::pair<QKeySequence::StandardKey, const char*> kEdits[] = {
        {QKeySequence::Undo, "Undo"},     {QKeySequence::Cut, "Cut"},
        {QKeySequence::Copy, "Copy"},     {QKeySequence::Paste, "Paste"},
        {QKeySequence::Delete, "Delete"}, {QKeySequence::SelectAll, "Select All"},
    };
    for (const auto& [sequence, caption] : kEdits) {
        if (!event->matches(sequence)) continue;
        ChooseMenuItemIfEnabled(caption);
        return true;
    }
    return false;
}

// ---- the effects dialog

void TFormTrack::MixBtnClick() {
    if (effectsDialog_ || !EffectsFactory() || !Owner()) return;
    TTrackEffectsDialog* dialog = EffectsFactory()(*Owner(), *this, *track_);
    if (!dialog) return;
    dialog->setWindowTitle(QString::fromStdString(EffectsCaption(Caption())));
    effectsDialog_ = dialog;
    connect(dialog, &QObject::destroyed, this, [this] { EffectsDialogGone(); });
    track_->EffectState = esReady;
    Owner()->AddChild(dialog);
    if (QMdiSubWindow* window = dialog->SubWindow()) window->show();
    host_.RefreshTransport();
    UpdateButtons();
    QMdiSubWindow* window = dialog->SubWindow();
    if (window && !(window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        PlaceEffectsDialog();
}

void TFormTrack::EffectsDialogGone() {
    effectsDialog_ = nullptr;
    if (!track_) return;
    track_->EffectState = esNoDialog;
    UpdateButtons();
}

void TFormTrack::PlaceEffectsDialog() {
    if (!effectsDialog_) return;
    QMdiSubWindow* dialogWindow = effectsDialog_->SubWindow();
    QMdiSubWindow* window = SubWindow();
    if (!dialogWindow || !window) return;
    const TMainClientFacts client = host_.ClientFacts();
    TEffectsPlacementFacts facts;
    facts.anyChildMaximised = client.anyChildMaximised;
    facts.clientHeight = client.clientHeight;
    facts.messagePanelHeight = client.messagePanelHeight;
    facts.buttonPanelHeight = client.buttonPanelHeight;
    const QRect frame = window->geometry();
    facts.trackWindow = {frame.left(), frame.top(), frame.width(), frame.height()};
    const std::optional<TDialogPos> place = EffectsDialogPlace(facts);
    if (!place) return;
    dialogWindow->move(place->x, place->y);
    if (!dialogWindow->isVisible()) dialogWindow->show();
}

// ---- activation, minimising and closing

void TFormTrack::WindowStateFollowed() {
    QMdiSubWindow* window = SubWindow();
    const bool minimized = window && window->isMinimized();
    if (minimized == minimized_) return;
    minimized_ = minimized;
    host_.RefreshTransport();
}

bool TFormTrack::CloseQuery() {
    if (!track_) return true;
    TCloseQueryFacts facts;
    facts.caption = Caption();
    facts.state = track_->TrackState();
    facts.songClosing = host_.SongClosing();
    facts.modified = facts.state == tsReady && track_->Modified();
    facts.shortName = track_->ShortFileName();
    facts.mainCaption = host_.MainCaption();
    TCloseQuestions questions([this](const std::string& text) { return AskOkCancel(text); },
                              [this](const std::string& text) {
                                  return yesNoCancelBox_(this, QString::fromStdString(text));
                              },
                              [this] { return SaveTrack(); });
    return ::CloseQuery(facts, questions);
}

void TFormTrack::closeEvent(QCloseEvent* event) {
    TFormVelMc::closeEvent(event);
    if (event->isAccepted()) CloseTrack();
}

void TFormTrack::CloseWithoutQuestions() {
    SetCaption(kClosingCaption);
    TFormVelMc::CancelBtnClick(); // a close the Close command's state does not hold back
}

void TFormTrack::CloseTrack() {
    if (!track_ || closing_) return;
    track_->Stop();
    if (effectsDialog_) {
        TTrackEffectsDialog* dialog = effectsDialog_;
        disconnect(dialog, &QObject::destroyed, this, nullptr);
        effectsDialog_ = nullptr;
        QMdiSubWindow* window = dialog->SubWindow();
        if (window && !window->close()) window->deleteLater(); // refused: it goes all the same
    }
    closing_ = true;
    track_->SetState(tsClosing);
    host_.RefreshTransport();
    view_->SetTrack(nullptr);
    track_.reset(); // its working and undo files go with it
    host_.RefreshTransport();
}
