// The main window's track windows: the control refresh over them, New Track, Arrange and
// Organize, the combine's window actions, the recent files and dropped files.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

#include "studio/FormOrganize.h"
#include "studio/StudioWindow.h"
#include "studio/core/ArrangeGeometry.h"
#include "studio/core/OrganizeRows.h"
#include "studio/core/SongWindows.h"
#include "studio/core/SoundSetup.h"
#include "studio/core/StudioControls.h"
#include "studio/core/TrackCaptions.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

std::optional<std::vector<std::string>> DefaultNamesDialog(QWidget* parent, const char* caption,
                                                           int helpContext, bool confirmOnly,
                                                           const std::vector<std::string>& names) {
    TFormOrganize dialog(parent);
    dialog.setWindowTitle(QString::fromLatin1(caption));
    dialog.SetHelpContext(helpContext);
    for (const std::string& name : names)
        dialog.Add(QString::fromStdString(name));
    dialog.Finish();
    if (confirmOnly) {
        dialog.SetMoveButtonsVisible(false);
        dialog.EnableOk();
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> order;
    for (const QString& name : dialog.Names())
        order.push_back(name.toStdString());
    return order;
}

long double Seconds(const TVelTrack& track, int32_t bytes) {
    const uint32_t rate = track.Format().nAvgBytesPerSec;
    return rate ? static_cast<long double>(bytes) / rate : 0;
}

} // namespace

void TFormStudio::SetCombineDialog(NamesDialog dialog) {
    combineDialog_ =
        dialog ? std::move(dialog) : [](QWidget* parent, const std::vector<std::string>& names) {
            return DefaultNamesDialog(parent, "Combine Tracks into a New Track", 3070, true, names);
        };
}

void TFormStudio::SetOrganizeDialog(NamesDialog dialog) {
    organizeDialog_ =
        dialog ? std::move(dialog) : [](QWidget* parent, const std::vector<std::string>& names) {
            return DefaultNamesDialog(parent, "Organize Tracks", 2040, false, names);
        };
}

// ---- the control refresh

bool TFormStudio::SongModifiedNow() const {
    std::vector<TSongChild> children;
    for (TFormTrack* window : TrackWindows())
        if (TVelTrack* track = window->Track())
            children.push_back(SongChildOf(*track, window->Muted(), window->Minimized(),
                                           track->Pan(), window->VolumeValue(),
                                           window->StartsAtText()));
    return ::SongModifiedNow(savedTracks_, children);
}

void TFormStudio::RefreshControls() {
    TStudioFacts facts;
    facts.mode = mode_;
    if (mode_ != TStudioMode::Closing && mode_ != TStudioMode::Combining) {
        TFormVelMc* current = CurrentChild();
        for (int i = 0; i < ChildCount(); ++i) {
            TFormVelMc* child = Child(i);
            if (child == current) facts.current = i;
            auto* window = qobject_cast<TFormTrack*>(child);
            if (!window || !window->Track()) {
                facts.children.push_back({});
                continue;
            }
            facts.children.push_back(TrackWindowFacts(window->Track(), window->Muted(),
                                                      window->Minimized(),
                                                      window->RecordBtn()->isEnabled()));
        }
        facts.songModified = SongModifiedNow();
    }
    const TStudioControls controls = ::RefreshControls(facts);
    const auto apply = [](const std::optional<bool>& on, auto* control) {
        if (on) control->setEnabled(*on);
    };
    // Opening needs the sound device: without it (not made yet, or its creation failed) Open
    // stays disabled whatever the tracks say, unless there is no device at all, when tracks
    // are still opened and edited.
    if (controls.open)
        openBtn_->setEnabled(*controls.open && (sound_->Device() || sound_->NoDevices()));
    apply(controls.fileMenu, FileMenu()->menuAction());
    apply(controls.optionsMenu, optionsMenu_->menuAction());
    if (controls.closeCommand) SetCloseEnabled(*controls.closeCommand);
    apply(controls.stop, stopBtn_);
    apply(controls.rewind, rewindBtn_);
    // Without a device nothing can play: Play all would leave the clock starting it again and
    // again for nothing.
    if (controls.play) playBtn_->setEnabled(*controls.play && sound_->Device());
    apply(controls.sync, syncBtn_);
    apply(controls.record, recordBtn_);
    apply(controls.combine, combineBtn_);
    apply(controls.save, saveBtn_);
    if (controls.arrangeNow) {
        mode_ = NextStudioMode(mode_, TStudioEvent::AllTracksReady);
        ArrangeTracks();
    }
}

// ---- New Track

std::vector<std::string> TFormStudio::ChildCaptions() {
    std::vector<std::string> captions;
    for (int i = 0; i < ChildCount(); ++i)
        captions.push_back(Child(i)->windowTitle().toStdString());
    return captions;
}

TFormTrack* TFormStudio::FindOrCreateTrackChild(const std::string& caption, bool& created) {
    TFormVelMc* child = nullptr;
    created = FindOrCreateChild(
                  QString::fromStdString(caption),
                  [this](TFormVelM& owner) -> TFormVelMc* {
                      auto* window = new TFormTrack(owner, *this);
                      if (trackWindowHook_) trackWindowHook_(*window);
                      return window;
                  },
                  &child) == TFindOrCreate::Created;
    return qobject_cast<TFormTrack*>(child);
}

TFormTrack* TFormStudio::NewTrack(const WAVEFORMATEX& format, const std::string& lengthText,
                                  const std::string& startText) {
    const std::optional<std::string> caption = NewTrackCaption(ChildCaptions());
    if (!caption) return nullptr;
    bool created = false;
    TFormTrack* window = FindOrCreateTrackChild(*caption, created);
    if (window)
        window->InitialiseTrack(sound_->Device(), std::string(), settings_.outputFormat, format,
                                lengthText, startText);
    return window;
}

// ---- Arrange and Organize

void TFormStudio::ArrangeTracks() {
    std::vector<TFormTrack*> shown;
    std::vector<TArrangeTrack> tracks;
    for (TFormTrack* window : TrackWindows()) {
        TVelTrack* track = window->Track();
        if (!track || !window->SubWindow() || window->SubWindow()->isMinimized()) continue;
        shown.push_back(window);
        tracks.push_back({Seconds(*track, track->StartOffset), Seconds(*track, track->DataLength)});
    }
    TArrangeArea area;
    area.mainWidth = width();
    // The MDI area already lies between the two panels and holds the windows.
    area.clientHeight = MdiArea()->viewport()->height();
    // A window charted narrower than its caption and buttons would vanish from sight (an Empty
    // track has no length to chart): it keeps that width, moved left to stay inside the chart.
    constexpr int kLeastWidth = 120; // [px]
    const int chartRight = std::max(0, area.mainWidth - 30);
    ::ArrangeTracks(tracks, area, [&](std::size_t index, const TArrangeRect& rect) {
        QMdiSubWindow* window = shown[index]->SubWindow();
        if (window->isMaximized()) window->showNormal();
        const int width = std::max(rect.width, kLeastWidth);
        const int left = rect.width >= kLeastWidth
                             ? rect.left
                             : std::max(0, std::min(rect.left, chartRight - width));
        window->setGeometry(left, rect.top, width, rect.height);
        return window->height();
    });
}

void TFormStudio::OrganizeTracks() {
    std::vector<std::string> names;
    for (TFormTrack* window : TrackWindows())
        names.push_back(window->Caption());
    const std::optional<std::vector<std::string>> rows = organizeDialog_(this, names);
    if (!rows) return;
    std::vector<std::string> captions;
    std::vector<bool> isTrack;
    QList<TFormVelMc*> children;
    for (int i = 0; i < ChildCount(); ++i) {
        children.push_back(Child(i));
        captions.push_back(Child(i)->windowTitle().toStdString());
        isTrack.push_back(qobject_cast<TFormTrack*>(Child(i)) != nullptr);
    }
    QList<TFormVelMc*> order;
    for (int index : OrganizedChildOrder(captions, isTrack, *rows))
        order.push_back(children[index]);
    ReorderChildren(order);
    ArrangeTracks();
    MPanel()->AddMessage(kMsgStatus, "Tracks Reorganized");
    RefreshControls();
}

// ---- Combine

void TFormStudio::CombineClick() {
    std::vector<std::string> names;
    for (TFormTrack* window : TrackWindows())
        if (!window->Muted()) names.push_back(window->Caption());
    if (!combineDialog_(this, names)) return;
    ConfirmCombineNow();
}

bool TFormStudio::MakeCombineTarget() {
    combineTarget_ = NewTrack(settings_.outputFormat, "00:00.00000", "00:00.00000");
    return combineTarget_ != nullptr;
}

void TFormStudio::SetCombineTargetStart(const std::string& timeText) {
    if (combineTarget_) combineTarget_->SetStartsAt(timeText);
}

void TFormStudio::SetCombineTargetCaption(const std::string& caption) {
    if (combineTarget_) combineTarget_->SetCaption(caption);
}

void TFormStudio::CloseCombineTarget() {
    if (combineTarget_) combineTarget_->CloseWithoutQuestions();
}

TVelTrack* TFormStudio::CombineTargetTrack() const {
    return combineTarget_ ? combineTarget_->Track() : nullptr;
}

std::vector<TVelTrack*> TFormStudio::UnmutedTracks() const {
    std::vector<TVelTrack*> tracks;
    for (TFormTrack* window : TrackWindows())
        if (!window->Muted() && window->Track()) tracks.push_back(window->Track());
    return tracks;
}

// ---- recent files and dropped files

void TFormStudio::UpdateRecentFiles() {
    QMenu* file = FileMenu();
    for (QAction* action : recentActions_) {
        file->removeAction(action);
        delete action;
    }
    recentActions_.clear();
    const std::vector<std::string> captions = settings_.recentFiles.MenuCaptions();
    if (captions.empty()) return;
    if (!recentSeparator_) recentSeparator_ = file->insertSeparator(ExitAction());
    for (const std::string& caption : captions) {
        QString text = QString::fromStdString(caption);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* action = new QAction(QStringLiteral("&") + text, file);
        file->insertAction(recentSeparator_, action);
        connect(action, &QAction::triggered, this,
                [this, caption] { OpenRecentFile(QString::fromStdString(caption)); });
        recentActions_.push_back(action);
    }
}

void TFormStudio::OpenRecentFile(const QString& caption) {
    const std::string path = settings_.recentFiles.PathOfCaption(caption.toStdString());
    if (!path.empty()) OpenByName(path);
}

void TFormStudio::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFormStudio::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) continue;
        const std::string path = url.toLocalFile().toStdString();
        OpenByName(path);
        if (settings_.recentFiles.Remember(path)) UpdateRecentFiles();
    }
    event->acceptProposedAction();
}
