#include "ui/widgets/VelTrackBar.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPolygon>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>

#include <algorithm>

#include "ui/widgets/VelColor.h"
#include "ui/widgets/VelMpnl.h"

namespace {

QRect ToQRect(const TRect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

QSlider::TickPosition TickPositionOf(TTickMark marks) {
    switch (marks) {
    case tmTopLeft:
        return QSlider::TicksAbove;
    case tmBoth:
        return QSlider::TicksBothSides;
    case tmBottomRight:
        break;
    }
    return QSlider::TicksBelow;
}

// The message panel of the nearest base dialog holding `widget`, or none.
TVelMpnl* OwnerPanel(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget())
        if (w->property("velBaseDialog").toBool())
            return w->findChild<TVelMpnl*>(QStringLiteral("MPanel"));
    return nullptr;
}

} // namespace

TVelTrackBar::TVelTrackBar(QWidget* parent)
    : TVelControl(parent), bar_(new QSlider(this)), box_(new QLineEdit(this)),
      label_(new QLabel(this)) {
    bar_->setRange(min_, max_);
    bar_->setPageStep(1);
    bar_->setTickInterval(frequency_);
    bar_->setTickPosition(TickPositionOf(tickMarks_));
    connect(bar_, &QSlider::valueChanged, this, &TVelTrackBar::BarMoved);

    box_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box_->installEventFilter(this);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label_->setTextFormat(Qt::PlainText);
    label_->resize(0, 0);

    setFocusProxy(bar_);
    RebuildFormat();
    SizeBox();
    ShowValue();
    resize(sizeHint());
}

QSize TVelTrackBar::sizeHint() const {
    return QSize(200, SliderBarThickness(false, tickMarks_ == tmBoth) + 20);
}

int TVelTrackBar::Position() const {
    return SliderInvert(inverted_, max_, min_, bar_->value());
}

void TVelTrackBar::SetPosition(int value) {
    bar_->setValue(SliderInvert(inverted_, max_, min_, value)); // Change when it moves
    ShowValue();
}

void TVelTrackBar::BarMoved() {
    emit Change(bar_);
    ShowValue();
}

void TVelTrackBar::SetMax(int value) {
    max_ = value;
    bar_->setMaximum(value);
    RebuildFormat();
    SizeBox();
    ShowValue();
}

void TVelTrackBar::SetMin(int value) {
    min_ = value;
    bar_->setMinimum(value);
    RebuildFormat();
    SizeBox();
    ShowValue();
}

void TVelTrackBar::SetFrequency(int value) {
    frequency_ = value;
    bar_->setTickInterval(value);
}

void TVelTrackBar::SetInverted(bool on) {
    inverted_ = on;
    ShowValue();
}

void TVelTrackBar::SetTickMarks(int marks) {
    if (marks < tmBottomRight || marks > tmBoth) return;
    tickMarks_ = static_cast<TTickMark>(marks);
    bar_->setTickPosition(TickPositionOf(tickMarks_));
    LayOut();
}

void TVelTrackBar::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TVelTrackBar::SetEditCaption(const QString& caption) {
    editCaption_ = caption;
    label_->setText(QStringLiteral(" ") + caption);
    LayOut();
}

void TVelTrackBar::SetAlignMent(int align) {
    if (align < tbNone || align > tbCenter) return;
    alignMent_ = static_cast<TTrackBarAlign>(align);
    update();
}

void TVelTrackBar::SetDecimals(int decimals) {
    decimals_ = decimals;
    RebuildFormat();
    SizeBox();
    ShowValue();
}

void TVelTrackBar::SetTrackHint(const QString& hint) {
    trackHint_ = hint;
    bar_->setToolTip(hint);
    box_->setToolTip(hint);
    bar_->setStatusTip(hint);
    box_->setStatusTip(hint);
}

void TVelTrackBar::SetFocus() {
    bar_->setFocus();
}

void TVelTrackBar::RebuildFormat() {
    format_ = BuildSliderFormat(decimals_, max_, min_, format_.format);
    if (format_.mask.empty()) {
        box_->setValidator(nullptr);
        return;
    }
    // The masked box: an optional sign where the range has one, the digit places before the
    // point, the point and the decimals; the point is optional while typing.
    const QString pattern = QStringLiteral("%1\\d{0,%2}(\\.\\d{0,%3})?")
                                .arg(format_.signAllowed ? QStringLiteral("-?") : QString())
                                .arg(format_.integerDigits)
                                .arg(format_.decimals);
    box_->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), box_));
}

void TVelTrackBar::ShowValue() {
    box_->setText(QString::fromStdString(SliderText(format_, Position())));
}

void TVelTrackBar::SizeBox() {
    const QFontMetrics metrics = box_->fontMetrics();
    const int ruleWidth = SliderBoxWidth(metrics.horizontalAdvance(QLatin1Char('.')),
                                         metrics.horizontalAdvance(QString::number(max_)),
                                         metrics.horizontalAdvance(QString::number(min_)));
    // The rule leaves 10 pixels for the platform edit's frame and margins and counts only
    // the digits of Max and Min; Qt's line edit may need more, and with decimals the box
    // shows one more digit ("0.2500" for 2500), so it is never narrower than its widest text.
    QStyleOptionFrame option;
    option.initFrom(box_);
    const int chrome =
        2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box_) + 2 * 2 + 2;
    const int widestText =
        std::max(metrics.horizontalAdvance(QString::fromStdString(SliderText(format_, max_))),
                 metrics.horizontalAdvance(QString::fromStdString(SliderText(format_, min_))));
    boxWidth_ = std::max(ruleWidth, widestText + chrome);
    LayOut();
}

TSliderLayout TVelTrackBar::CurrentLayout() const {
    const int boxHeight = box_->sizeHint().height();
    const int labelWidth =
        editCaption_.isEmpty() ? 0 : label_->fontMetrics().horizontalAdvance(label_->text());
    return LayOutSlider({width(), height()}, tickMarks_ == tmBoth, {boxWidth_, boxHeight},
                        {labelWidth, boxHeight});
}

void TVelTrackBar::LayOut() {
    const TSliderLayout layout = CurrentLayout();
    bar_->setOrientation(layout.vertical ? Qt::Vertical : Qt::Horizontal);
    // The platform's vertical bars have their minimum at the top; Qt's at the bottom. Keep
    // the platform's, so that an inverted bar shows its largest value at the top.
    bar_->setInvertedAppearance(layout.vertical);
    bar_->setInvertedControls(layout.vertical);
    bar_->setGeometry(ToQRect(layout.bar));
    box_->setGeometry(ToQRect(layout.box));
    label_->setGeometry(ToQRect(layout.label));
    update();
}

void TVelTrackBar::resizeEvent(QResizeEvent*) {
    LayOut();
}

void TVelTrackBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        box_->setFont(font());
        label_->setFont(font());
        SizeBox();
    }
    TVelControl::changeEvent(event);
}

void TVelTrackBar::paintEvent(QPaintEvent*) {
    const TSliderLayout layout = CurrentLayout();
    const TSize control{width(), height()};
    QPainter painter(this);
    const QColor fill = Color() >= 0 ? ColorFromValue(Color()) : palette().color(QPalette::Button);
    const std::vector<TPoint> shape = SliderDecoration(alignMent_, layout, control);
    if (!shape.empty()) {
        QPolygon polygon;
        for (const TPoint& p : shape)
            polygon << QPoint(p.x, p.y);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(palette().color(QPalette::Dark));
        painter.setBrush(fill);
        painter.drawPolygon(polygon);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    if (caption_.isEmpty()) return;
    painter.setFont(label_->font());
    const QFontMetrics metrics(label_->font());
    const TRect place =
        SliderCaptionRect(layout, control, {metrics.horizontalAdvance(caption_), metrics.height()});
    const QRect rect = ToQRect(place);
    if (Color() >= 0) painter.fillRect(rect, fill);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, caption_);
}

bool TVelTrackBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_ && event->type() == QEvent::FocusOut) {
        // Leaving the box for another control checks the entry; a window or pop-up taking
        // the focus for a moment does not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) BoxExit();
    }
    return TVelControl::eventFilter(watched, event);
}

void TVelTrackBar::BoxExit() {
    emit Change(box_);
    const TSliderEntry entry = ReadSliderEntry(format_, box_->text().toStdString(), max_, min_);
    if (!entry.value) {
        Refuse(QString::fromStdString(entry.refusal));
        return;
    }
    SetPosition(*entry.value);
}

void TVelTrackBar::Refuse(const QString& text) {
    if (TVelMpnl* panel = OwnerPanel(this)) panel->AddMessage(kMsgRefusal, text.toStdString());
    // Not from inside the focus change that is still being delivered.
    QTimer::singleShot(0, box_, [box = box_] { box->setFocus(Qt::OtherFocusReason); });
}
