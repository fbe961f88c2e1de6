// The peak level meter widget.
#include "ui/widgets/LevelMeterWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kHeight = 10;
constexpr int kGap = 2;             // between the bar and the clip mark [pixels]
constexpr float kYellowDb = -12.0f; // the bar turns yellow from here
constexpr float kRedDb = -3.0f;     // and red from here

} // namespace

TLevelMeterWidget::TLevelMeterWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("LevelMeter"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip(QStringLiteral("Peak level; click to clear the clip mark"));
}

QSize TLevelMeterWidget::sizeHint() const {
    return {160, kHeight};
}

QSize TLevelMeterWidget::minimumSizeHint() const {
    return {40, kHeight};
}

int TLevelMeterWidget::ScaleWidth() const {
    return std::max(width() - height() - kGap, 0);
}

int TLevelMeterWidget::Pixels(float db) const {
    const float floor = TMeterBallistics::kFloorDb;
    const float share = std::clamp((db - floor) / -floor, 0.0f, 1.0f);
    return static_cast<int>(std::lround(share * static_cast<float>(ScaleWidth())));
}

void TLevelMeterWidget::Tick(TPeak peak, int elapsedMs) {
    ballistics_.Tick(peak, elapsedMs);
    UpdateIfMoved();
}

void TLevelMeterWidget::Clear() {
    ballistics_.Clear();
    UpdateIfMoved();
}

void TLevelMeterWidget::UpdateIfMoved() {
    const int level = Pixels(ballistics_.LevelDb());
    const int hold = Pixels(ballistics_.HoldDb());
    const bool clip = ballistics_.Clipped();
    if (level == shownLevel_ && hold == shownHold_ && clip == shownClip_) return;
    shownLevel_ = level;
    shownHold_ = hold;
    shownClip_ = clip;
    update();
}

void TLevelMeterWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        ballistics_.ClearClip();
        UpdateIfMoved();
    }
    QWidget::mousePressEvent(event);
}

void TLevelMeterWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int h = height();
    const int scale = ScaleWidth();
    painter.fillRect(QRect(0, 0, scale, h), QColor(32, 32, 32));
    const int level = Pixels(ballistics_.LevelDb());
    const int yellow = Pixels(kYellowDb), red = Pixels(kRedDb);
    const auto band = [&](int from, int to, const QColor& color) {
        if (to > from) painter.fillRect(QRect(from, 1, to - from, h - 2), color);
    };
    band(0, std::min(level, yellow), QColor(40, 200, 60));
    band(yellow, std::min(level, red), QColor(230, 210, 40));
    band(red, level, QColor(230, 40, 30));
    const int hold = Pixels(ballistics_.HoldDb());
    if (hold > 0)
        painter.fillRect(QRect(std::min(hold, scale) - 2, 0, 2, h), QColor(240, 240, 240));
    const QRect clip(width() - h, 0, h, h);
    painter.fillRect(clip, ballistics_.Clipped() ? QColor(255, 30, 20) : QColor(70, 20, 20));
}
