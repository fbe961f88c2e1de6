#include "track/view/WaveView.h"

#include <QCoreApplication>
#include <QMenu>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

#include "track/VelTrack.h"
#include "track/view/PositionPanel.h"
#include "track/view/WaveSurface.h"
#include "ui/widgets/VelColor.h"

namespace {

bool OnGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

void AddMenuItems(QMenu& menu, const std::vector<TMenuItem>& items) {
    for (const TMenuItem& item : items) {
        if (item.caption == "-") {
            menu.addSeparator();
            continue;
        }
        const QString caption = QString::fromStdString(item.caption);
        if (!item.items.empty()) {
            QMenu* sub = menu.addMenu(caption);
            sub->setEnabled(item.enabled);
            AddMenuItems(*sub, item.items);
            continue;
        }
        menu.addAction(caption)->setEnabled(item.enabled);
    }
}

} // namespace

TWaveView::TWaveView(QWidget* parent)
    : QWidget(parent), surface_(new TWaveSurface(pictures_, this)),
      panel_(new TPositionPanel(this)) {
    setObjectName(QStringLiteral("WaveView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(surface_, 1);
    column->addWidget(panel_, 0);
    setFocusProxy(surface_);

    connect(surface_, &TWaveSurface::Resized, this, [this](int width) {
        surfaceWidth_ = width;
        surfaceHeight_ = surface_->height();
        if (track_) UpdatePositionControls();
        ApplyMarkers();
    });
    connect(surface_, &TWaveSurface::LeftDown, this, &TWaveView::OnLeftDown);
    connect(surface_, &TWaveSurface::LeftMove, this, &TWaveView::OnLeftMove);
    connect(surface_, &TWaveSurface::LeftUp, this, &TWaveView::OnLeftUp);
    connect(surface_, &TWaveSurface::MenuRequested, this, &TWaveView::ShowPopupMenu);

    nudgeTimer_.setInterval(kNudgeInterval);
    connect(&nudgeTimer_, &QTimer::timeout, this, &TWaveView::NudgeTick);
    for (TVelNudgeBtn* button :
         {panel_->FSRewindBtn(), panel_->FSForwardBtn(), panel_->FPRewindBtn(),
          panel_->FPForwardBtn(), panel_->FERewindBtn(), panel_->FEForwardBtn()}) {
        connect(button, &TVelNudgeBtn::Pressed, this, [this, button] { StartNudge(button); });
        connect(button, &TVelNudgeBtn::Released, this, &TWaveView::StopNudge);
    }
    connect(panel_->FSTime(), &TVelTimeEdit::Left, this,
            [this] { LeaveStartOrEnd(panel_->FSTime(), true); });
    connect(panel_->FETime(), &TVelTimeEdit::Left, this,
            [this] { LeaveStartOrEnd(panel_->FETime(), false); });
    connect(panel_->PlayTime()->Edit(), &TVelTimeEdit::Left, this, &TWaveView::LeavePlayBox);
    UpdatePositionControls();
}

TWaveView::~TWaveView() = default;

void TWaveView::SetTrack(TVelTrack* track) {
    track_ = track;
    ApplyMarkers();
    UpdatePositionControls();
}

// ---- colours

void TWaveView::SetSelectedColor(int value) {
    selectedColor_ = value;
    ApplyMarkers();
}

void TWaveView::SetUnSelectedColor(int value) {
    unSelectedColor_ = value;
}

void TWaveView::SetWaveColor(int value) {
    waveColor_ = value;
}

void TWaveView::SetLineColor(int value) {
    lineColor_ = value;
    ApplyMarkers();
}

void TWaveView::SetWorkColor(int value) {
    workColor_ = value;
    ApplyMarkers();
}

// ---- threads

void TWaveView::OnUiThread(std::function<void()> call) {
    if (OnGuiThread()) return call();
    // The view is the context: a call still queued when it is destroyed is dropped.
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TWaveView::RepaintSurface() {
    if (OnGuiThread()) return surface_->update();
    // A picture's columns arrive far faster than the screen shows them, and each repaint
    // holds the pictures the worker draws into: at most one repaint per interval, and one
    // more at its end when columns came meanwhile, so the last of them always shows.
    repaintWanted_ = true;
    if (repaintQueued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this, [this] { RunQueuedRepaint(); }, Qt::QueuedConnection);
}

void TWaveView::RunQueuedRepaint() {
    repaintWanted_ = false;
    surface_->update();
    QTimer::singleShot(kRepaintInterval, this, [this] {
        repaintQueued_ = false;
        if (repaintWanted_.exchange(false) && !repaintQueued_.exchange(true)) RunQueuedRepaint();
    });
}

// ---- the track's positions

TViewPositions TWaveView::Positions() const {
    return {track_->PlayPosition, track_->SelStart, track_->SelEnd, track_->HasSelection,
            track_->RecordingMarker()};
}

void TWaveView::SetPositions(const TViewPositions& positions) {
    track_->PlayPosition = positions.playPosition;
    track_->SelStart = positions.selStart;
    track_->SelEnd = positions.selEnd;
    if (positions.hasSelection != track_->HasSelection)
        track_->SetHasSelection(positions.hasSelection);
}

TMouseFacts TWaveView::MouseFacts() const {
    return {track_->TrackState(), track_->EffectState != esNoDialog, surfaceWidth_,
            track_->StartOffset, track_->DataLength};
}

// ---- markers

void TWaveView::ApplyMarkers() {
    std::vector<TSurfaceMark> marks;
    if (track_) {
        const int height = surface_->height();
        const TViewPositions positions = Positions();
        const int32_t offset = track_->StartOffset;
        const TMarkerLayout layout = MarkerLayout(positions, offset, track_->DataLength,
                                                  surfaceWidth_, height, workBarColumn_);
        const auto add = [&](const TMarkerRect& r, int colorValue) {
            if (!r.visible) return;
            marks.push_back({QRect(r.left, r.top, r.width, r.height < 0 ? height : r.height),
                             ColorFromValue(colorValue)});
        };
        add(layout.workBar, workColor_);
        add(layout.play, lineColor_);
        add(layout.selStart, selectedColor_);
        add(layout.selEnd, selectedColor_);
        add(layout.topBand, selectedColor_);
        add(layout.bottomBand, selectedColor_);
        if (track_->DataLength != 0)
            panel_->PlayTime()->SetTimeText(
                QString::fromStdString(track_->PositionText(positions.playPosition)));
        for (auto [edit, position] : {std::pair{panel_->FSTime(), positions.selStart + offset},
                                      std::pair{panel_->FETime(), positions.selEnd + offset}}) {
            // The user's entry stays while the box has the focus.
            if (!edit->hasFocus())
                edit->SetTimeText(QString::fromStdString(track_->PositionText(position)));
        }
    }
    surface_->SetMarks(std::move(marks));
}

void TWaveView::RedrawMarkers() {
    OnUiThread([this] { ApplyMarkers(); });
}

void TWaveView::ShowWorkBar(int column) {
    workBarColumn_ = column;
    RedrawMarkers();
}

// ---- position controls

void TWaveView::UpdatePositionControls() {
    TPositionPanel& p = *panel_;
    TPositionFacts facts; // no track: as an empty one, everything disabled
    if (track_)
        facts = {track_->TrackState(), track_->HasSelection, track_->SelStart,  track_->SelEnd,
                 track_->PlayPosition, track_->StartOffset,  track_->DataLength};
    const TPositionControls on = PositionControls(facts);
    p.PlayTime()->SetEditable(!on.playTimeAsText);
    p.FSRewindBtn()->setEnabled(on.startRewind);
    p.FSTime()->setEnabled(on.startTime);
    p.FSForwardBtn()->setEnabled(on.startForward);
    p.FPRewindBtn()->setEnabled(on.playRewind);
    p.PlayTime()->setEnabled(on.playTime);
    p.FPForwardBtn()->setEnabled(on.playForward);
    p.FERewindBtn()->setEnabled(on.endRewind);
    p.FETime()->setEnabled(on.endTime);
    p.FEForwardBtn()->setEnabled(on.endForward);
}

// ---- nudges

void TWaveView::StartNudge(TVelNudgeBtn* button) {
    if (!track_ || track_->TrackState() != tsReady) return;
    nudged_ = button;
    nudgeTicks_ = 0;
    nudgeTimer_.start();
}

void TWaveView::StopNudge() {
    if (!nudged_) return;
    const bool playPosition = nudged_ == panel_->FPRewindBtn() || nudged_ == panel_->FPForwardBtn();
    nudgeTimer_.stop();
    nudged_ = nullptr;
    if (!track_) return;
    // Only the play position's nudges cue: the selection's leave the sound buffer alone.
    if (playPosition && track_->TrackState() == tsReady) {
        track_->Cue(track_->PlayPosition);
        emit Cued(track_->PlayPosition);
    }
    UpdatePositionControls();
}

void TWaveView::NudgeTick() {
    if (!nudged_ || !track_) return;
    ++nudgeTicks_;
    const TPositionPanel& p = *panel_;
    const std::pair<TVelNudgeBtn*, TNudgeButton> buttons[] = {
        {p.FSRewindBtn(), TNudgeButton::StartRewind},
        {p.FSForwardBtn(), TNudgeButton::StartForward},
        {p.FPRewindBtn(), TNudgeButton::PlayRewind},
        {p.FPForwardBtn(), TNudgeButton::PlayForward},
        {p.FERewindBtn(), TNudgeButton::EndRewind},
        {p.FEForwardBtn(), TNudgeButton::EndForward}};
    for (const auto& [button, which] : buttons) {
        if (button != nudged_) continue;
        TViewPositions positions = Positions();
        ApplyNudge(which, nudgeTicks_, track_->StartOffset, track_->DataLength, positions);
        SetPositions(positions);
    }
    ApplyMarkers();
}

// ---- time boxes

void TWaveView::LeaveStartOrEnd(TVelTimeEdit* edit, bool start) {
    if (!track_ || track_->TrackState() != tsReady) return;
    const int32_t first = track_->StartOffset;
    const int32_t entered = std::clamp(track_->TextPosition(edit->TimeText().toStdString()), first,
                                       first + track_->DataLength);
    const std::string text = track_->PositionText(entered);
    const bool accepted = start ? track_->LeaveStartField(text) : track_->LeaveEndField(text);
    if (!accepted)
        QTimer::singleShot(0, edit, [edit] {
            edit->setFocus(Qt::OtherFocusReason);
            edit->selectAll();
        });
    ApplyMarkers();
    UpdatePositionControls();
}

void TWaveView::LeavePlayBox() {
    if (!track_ || track_->TrackState() != tsReady) return;
    track_->LeavePlayField(panel_->PlayTime()->Edit()->TimeText().toStdString());
    ApplyMarkers();
    UpdatePositionControls();
}

// ---- mouse

void TWaveView::OnLeftDown(int x) {
    if (!track_) return;
    TViewPositions positions = Positions();
    const TMouseOutcome outcome = mouse_.Press(true, x, MouseFacts(), positions);
    SetPositions(positions);
    if (outcome.redrawMarkers) ApplyMarkers();
}

void TWaveView::OnLeftMove(int x) {
    if (!track_) return;
    TViewPositions positions = Positions();
    const TMouseOutcome outcome = mouse_.Move(x, MouseFacts(), positions);
    if (!outcome.redrawMarkers) return;
    SetPositions(positions);
    ApplyMarkers();
}

void TWaveView::OnLeftUp(int) {
    if (!track_) return;
    const TMouseOutcome outcome = mouse_.Release(true, MouseFacts());
    if (!outcome.cueNow) return;
    track_->Cue(track_->PlayPosition);
    emit Cued(track_->PlayPosition);
    UpdatePositionControls();
}

// ---- pop-up menu

QMenu* TWaveView::ShowPopupMenu(QPoint where) {
    if (!track_) return nullptr;
    delete menu_;
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("WavePopupMenu"));
    AddMenuItems(*menu_, track_->PopupMenu());
    connect(menu_, &QMenu::triggered, this, [this](QAction* action) {
        if (track_) track_->ChooseMenuItem(action->text().toStdString());
        UpdatePositionControls();
    });
    menu_->popup(where);
    return menu_;
}

// ---- pictures (worker)

bool TWaveView::BeginPictures(int& width, int& height) {
    width = surfaceWidth_;
    height = surfaceHeight_;
    pictures_.Begin(QSize(width, height), ColorFromValue(unSelectedColor_));
    RepaintSurface();
    return width > 0 && height > 0;
}

bool TWaveView::LoadPictureFile(const std::string& path) {
    if (!pictures_.Load(QString::fromStdString(path))) return false;
    RepaintSurface();
    return true;
}

bool TWaveView::DrawStandbyPicture(const std::string& path) {
    if (!pictures_.DrawStandBy(QString::fromStdString(path))) return false;
    RepaintSurface();
    return true;
}

bool TWaveView::DrawColumn(int column, int yTop, int yBottom) {
    if (!pictures_.DrawColumn(column, yTop, yBottom, ColorFromValue(unSelectedColor_),
                              ColorFromValue(waveColor_)))
        return false;
    RepaintSurface();
    return true;
}

bool TWaveView::CommitPicture() {
    const bool committed = pictures_.Commit();
    RepaintSurface();
    return committed;
}

void TWaveView::DrawOverlayColumn(int column, int yTop, int yBottom) {
    pictures_.OverlayColumn(QSize(surfaceWidth_, surfaceHeight_), column, yTop, yBottom,
                            ColorFromValue(unSelectedColor_), ColorFromValue(waveColor_));
    RepaintSurface();
}

void TWaveView::ClearOverlay() {
    pictures_.ClearOverlay();
    RepaintSurface();
}

bool TWaveView::SavePicture(const std::string& path) {
    return pictures_.Save(QString::fromStdString(path));
}

bool TWaveView::SaveEmptyPicture(const std::string& path) {
    return TWavePictures::SaveEmpty(QString::fromStdString(path),
                                    QSize(surfaceWidth_, surfaceHeight_),
                                    ColorFromValue(unSelectedColor_));
}
