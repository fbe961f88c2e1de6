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
    OnUiThread([this] { surface_->update(); });
}

// ---- geometry

int TWaveView::Column(int32_t position) const {
    if (!track_ || track_->DataLength == 0) return 0;
    const int64_t span = surfaceWidth_ - 2;
    return static_cast<int>((int64_t{position} - track_->StartOffset) * span / track_->DataLength);
}

int32_t TWaveView::Position(int column) const {
    if (!track_) return 0;
    const int64_t span = std::max(1, surfaceWidth_ - 2);
    int32_t position =
        static_cast<int32_t>(int64_t{column} * track_->DataLength / span) + track_->StartOffset;
    if (position >= 0 && position % 2 != 0) --position;
    return position;
}

// ---- markers

void TWaveView::ApplyMarkers() {
    std::vector<TSurfaceMark> marks;
    const int height = surface_->height();
    if (track_) {
        const int32_t offset = track_->StartOffset;
        const QColor selected = ColorFromValue(selectedColor_);
        const int32_t workBar = workBar_;
        if (workBar >= 0)
            marks.push_back(
                {QRect(Column(workBar + offset), 0, 1, height), ColorFromValue(workColor_)});
        if (track_->DataLength != 0) {
            const int32_t play = track_->PlayPosition;
            panel_->PlayTime()->SetTimeText(QString::fromStdString(track_->PositionText(play)));
            marks.push_back({QRect(Column(play), 0, 2, height), ColorFromValue(lineColor_)});
        }
        if (track_->HasSelection) {
            const int start = Column(track_->SelStart + offset);
            const int end = Column(track_->SelEnd + offset);
            marks.push_back({QRect(start, 0, 1, height), selected});
            marks.push_back({QRect(end, 0, 1, height), selected});
            const int bandWidth = end - (start + 1);
            if (bandWidth > 0) {
                marks.push_back({QRect(start + 1, 0, bandWidth, 2), selected});
                marks.push_back({QRect(start + 1, height - 2, bandWidth, 2), selected});
            }
        }
        for (auto [edit, position] : {std::pair{panel_->FSTime(), track_->SelStart + offset},
                                      std::pair{panel_->FETime(), track_->SelEnd + offset}}) {
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

void TWaveView::WorkBarAt(int32_t dataPosition) {
    workBar_ = dataPosition;
    RedrawMarkers();
}

void TWaveView::WorkBarDone() {
    workBar_ = -1;
    RedrawMarkers();
}

// ---- position controls

void TWaveView::UpdatePositionControls() {
    const bool ready = track_ && track_->TrackState() == tsReady;
    TPositionPanel& p = *panel_;
    for (QWidget* control :
         {static_cast<QWidget*>(p.FSRewindBtn()), static_cast<QWidget*>(p.FSTime()),
          static_cast<QWidget*>(p.FSForwardBtn()), static_cast<QWidget*>(p.FPRewindBtn()),
          static_cast<QWidget*>(p.PlayTime()), static_cast<QWidget*>(p.FPForwardBtn()),
          static_cast<QWidget*>(p.FERewindBtn()), static_cast<QWidget*>(p.FETime()),
          static_cast<QWidget*>(p.FEForwardBtn())})
        control->setEnabled(false);
    p.PlayTime()->SetEditable(ready);
    if (!ready) return;
    const TVelTrack& t = *track_;
    if (t.HasSelection) {
        p.FSRewindBtn()->setEnabled(t.SelStart > 0);
        p.FSForwardBtn()->setEnabled(t.SelStart < t.SelEnd);
        p.FERewindBtn()->setEnabled(t.SelStart < t.SelEnd);
        p.FEForwardBtn()->setEnabled(t.SelEnd < t.DataLength);
        p.FSTime()->setEnabled(true);
        p.FETime()->setEnabled(true);
    }
    const int32_t play = t.PlayPosition;
    p.FPForwardBtn()->setEnabled(play < t.StartOffset + t.DataLength);
    p.FPRewindBtn()->setEnabled(play > t.StartOffset);
    p.PlayTime()->setEnabled(true);
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
    if (track_ && playPosition && track_->TrackState() == tsReady)
        track_->Cue(track_->PlayPosition);
    UpdatePositionControls();
}

void TWaveView::NudgeTick() {
    if (!nudged_ || !track_) return;
    ++nudgeTicks_;
    const int32_t step = (nudgeTicks_ / 10) * 100 + 2;
    TVelTrack& t = *track_;
    const TPositionPanel& p = *panel_;
    if (nudged_ == p.FSRewindBtn()) t.SelStart = std::max(0, t.SelStart - step);
    if (nudged_ == p.FSForwardBtn()) t.SelStart = std::min(t.SelEnd, t.SelStart + step);
    if (nudged_ == p.FERewindBtn()) t.SelEnd = std::max(t.SelStart, t.SelEnd - step);
    if (nudged_ == p.FEForwardBtn()) t.SelEnd = std::min(t.DataLength, t.SelEnd + step);
    if (nudged_ == p.FPRewindBtn()) t.PlayPosition = std::max(t.StartOffset, t.PlayPosition - step);
    if (nudged_ == p.FPForwardBtn())
        t.PlayPosition = std::min(t.StartOffset + t.DataLength, t.PlayPosition + step);
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
    dragging_ = false;
    if (!track_ || track_->TrackState() != tsReady) return;
    dragging_ = true;
    TVelTrack& t = *track_;
    if (!t.HasSelection || t.EffectState != esNoDialog) {
        dragArmed_ = true;
    } else {
        t.SelStart = 0;
        t.SelEnd = 0;
        t.SetHasSelection(false);
    }
    t.PlayPosition = Position(x);
    ApplyMarkers();
}

void TWaveView::OnLeftMove(int x) {
    if (!dragging_ || !track_ || track_->TrackState() != tsReady) return;
    TVelTrack& t = *track_;
    if (t.EffectState != esNoDialog) return;
    const int playColumn = Column(t.PlayPosition);
    if (dragArmed_ && x > playColumn - 5 && x < playColumn + 5) return;
    dragArmed_ = false;
    const int column = std::clamp(x, 0, surfaceWidth_ - 2);
    int32_t a = t.PlayPosition - t.StartOffset;
    int32_t b = Position(column) - t.StartOffset;
    if (a > b) std::swap(a, b);
    t.SelStart = a;
    t.SelEnd = b;
    t.SetHasSelection(true);
    ApplyMarkers();
}

void TWaveView::OnLeftUp(int) {
    dragArmed_ = false;
    if (!dragging_) return;
    dragging_ = false;
    if (!track_ || track_->TrackState() != tsReady) return;
    track_->Cue(track_->PlayPosition);
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

bool TWaveView::PaintWave(TVelTrack& track, int32_t, int32_t) {
    pictures_.Begin(QSize(surfaceWidth_, surfaceHeight_), ColorFromValue(unSelectedColor_));
    RepaintSurface();
    if (!track.Cancelled()) return true;
    track.AddMessage(kMsgAppend, " ... Action Cancelled");
    return false;
}

bool TWaveView::SavePicture(const std::string& path) {
    return pictures_.Save(QString::fromStdString(path));
}

bool TWaveView::SaveEmptyPicture(const std::string& path) {
    return TWavePictures::SaveEmpty(QString::fromStdString(path),
                                    QSize(surfaceWidth_, surfaceHeight_),
                                    ColorFromValue(unSelectedColor_));
}
