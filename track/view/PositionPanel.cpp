#include "track/view/PositionPanel.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QStackedLayout>

namespace {

TVelNudgeBtn* MakeNudgeButton(QWidget* parent, const char* name, const char* caption,
                              const char* picture) {
    auto* button = new TVelNudgeBtn(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(QString::fromLatin1(caption));
    button->SetPicture(QString::fromLatin1(picture));
    button->SetBtnSize(bsSmall);
    return button;
}

TVelTimeEdit* MakeTimeEdit(QWidget* parent, const char* name, const char* hint) {
    auto* edit = new TVelTimeEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setToolTip(QString::fromLatin1(hint));
    edit->setStatusTip(edit->toolTip());
    return edit;
}

} // namespace

// ---- TVelNudgeBtn

TVelNudgeBtn::TVelNudgeBtn(QWidget* parent) : TVelBtnBmp(parent) {
    SetMoOptions(moAlwaysOutline); // no Click receiver, yet it must look pressable
}

void TVelNudgeBtn::Press() {
    if (held_ || !isEnabled()) return;
    held_ = true;
    emit Pressed();
}

void TVelNudgeBtn::Release() {
    if (!held_) return;
    held_ = false;
    emit Released();
}

void TVelNudgeBtn::mousePressEvent(QMouseEvent* event) {
    TVelBtnBmp::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) Press();
}

void TVelNudgeBtn::mouseReleaseEvent(QMouseEvent* event) {
    TVelBtnBmp::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) Release();
}

void TVelNudgeBtn::keyPressEvent(QKeyEvent* event) {
    TVelBtnBmp::keyPressEvent(event);
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) Press();
}

void TVelNudgeBtn::keyReleaseEvent(QKeyEvent* event) {
    TVelBtnBmp::keyReleaseEvent(event);
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) Release();
}

void TVelNudgeBtn::changeEvent(QEvent* event) {
    TVelBtnBmp::changeEvent(event);
    // A nudge that reaches its limit disables its own button while the mouse still holds it.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) Release();
}

// ---- TVelTimeEdit

TVelTimeEdit::TVelTimeEdit(QWidget* parent) : QLineEdit(parent) {
    setInputMask(QString::fromLatin1(kTimeMask));
    setFixedWidth(kWidth);
    SetTimeText(QStringLiteral("00:00.00000"));
}

void TVelTimeEdit::SetTimeText(const QString& text) {
    if (displayText() == text) return;
    setText(text);
}

void TVelTimeEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
    emit Left();
}

// ---- TPlayTimeBox

TPlayTimeBox::TPlayTimeBox(QWidget* parent)
    : QFrame(parent), stack_(new QStackedLayout(this)),
      edit_(MakeTimeEdit(this, "FPTime", "Play position (MM:SS.1/10,000ths)")),
      plain_(new QLabel(this)) {
    setObjectName(QStringLiteral("PlayTimeBox"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    stack_->setContentsMargins(1, 1, 1, 1);
    plain_->setObjectName(QStringLiteral("FPTimeText"));
    plain_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    plain_->setIndent(3);
    // A fixed size: every clock tick sets its text, and a label free to change its size asks
    // the whole window for a new layout each time.
    plain_->setFixedSize(TVelTimeEdit::kWidth, edit_->sizeHint().height());
    plain_->setToolTip(edit_->toolTip());
    plain_->setText(edit_->TimeText());
    stack_->addWidget(edit_);
    stack_->addWidget(plain_);
    setToolTip(edit_->toolTip());
    setFixedWidth(TVelTimeEdit::kWidth + 4);
}

void TPlayTimeBox::SetTimeText(const QString& text) {
    plain_->setText(text);
    if (!edit_->hasFocus()) edit_->SetTimeText(text);
}

void TPlayTimeBox::SetEditable(bool on) {
    if (on == Editable()) return;
    if (on) edit_->SetTimeText(plain_->text());
    stack_->setCurrentWidget(on ? static_cast<QWidget*>(edit_) : plain_);
}

bool TPlayTimeBox::Editable() const {
    return stack_->currentWidget() == edit_;
}

// ---- TPositionPanel

TPositionPanel::TPositionPanel(QWidget* parent)
    : TVelBtnBmpPnl(parent),
      fsRewind_(MakeNudgeButton(this, "FSRewindBtn", "Rewind|Rewind Start position by sample",
                                "rewindbtn")),
      fsTime_(MakeTimeEdit(this, "FSTime", "Start position (MM:SS.1/10,000ths)")),
      fsForward_(MakeNudgeButton(this, "FSForwardBtn",
                                 "FForward|Fast Forward Start position by sample", "forwardbtn")),
      fpRewind_(MakeNudgeButton(this, "FPRewindBtn", "Rewind|Rewind Play position by sample",
                                "rewindbtn")),
      playTime_(new TPlayTimeBox(this)),
      fpForward_(MakeNudgeButton(this, "FPForwardBtn",
                                 "FForward|Fast Forward Play position by sample", "forwardbtn")),
      feRewind_(MakeNudgeButton(this, "FERewindBtn", "Rewind|Rewind End position by sample",
                                "rewindbtn")),
      feTime_(MakeTimeEdit(this, "FETime", "End position (MM:SS.1/10,000ths)")),
      feForward_(MakeNudgeButton(this, "FEForwardBtn",
                                 "FForward|Fast Forward End position by sample", "forwardbtn")) {
    setObjectName(QStringLiteral("PositionPanel"));
    SetBtnSize(bsSmall);
    AddButton(fsRewind_);
    AddControl(fsTime_);
    AddButton(fsForward_);
    QWidget* startGap = AddSeparator();
    AddButton(fpRewind_);
    AddControl(playTime_);
    AddButton(fpForward_);
    QWidget* endGap = AddSeparator();
    AddButton(feRewind_);
    AddControl(feTime_);
    AddButton(feForward_);
    // Narrowed, the row keeps its three positions longest, the play position last of all.
    for (QWidget* nudge :
         {static_cast<QWidget*>(fsRewind_), static_cast<QWidget*>(fsForward_),
          static_cast<QWidget*>(fpRewind_), static_cast<QWidget*>(fpForward_),
          static_cast<QWidget*>(feRewind_), static_cast<QWidget*>(feForward_), startGap, endGap})
        SetKeep(nudge, 1);
    SetKeep(fsTime_, 2);
    SetKeep(feTime_, 2);
    SetKeep(playTime_, 3);
}

// The button panel's left group takes bitmap buttons only; the time boxes go into the same
// group, in order, between them.
void TPositionPanel::AddControl(QWidget* control) {
    auto* row = qobject_cast<QHBoxLayout*>(layout());
    QLayoutItem* first = row ? row->itemAt(0) : nullptr;
    auto* leftGroup = first ? qobject_cast<QHBoxLayout*>(first->layout()) : nullptr;
    if (leftGroup) leftGroup->addWidget(control, 0, Qt::AlignVCenter);
}
