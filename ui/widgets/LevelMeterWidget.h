// A peak level meter: a thin bar from -60 dBFS on the left to full scale on the right (green,
// then yellow from -12 dB, red from -3 dB), the peak hold as a line, and the clip mark as a box
// at the right end that a click clears. The owner feeds it on the clock with the peaks it
// takes (TLevelMeter); the rules are TMeterBallistics'. UI thread only.
#pragma once

#include <QWidget>

#include "ui/core/LevelMeter.h"

class TLevelMeterWidget : public QWidget {
    Q_OBJECT
  public:
    explicit TLevelMeterWidget(QWidget* parent = nullptr);

    // One clock tick, `elapsedMs` after the last, with the peak taken then. Repaints only when
    // what it shows has moved.
    void Tick(TPeak peak, int elapsedMs);
    // Back to rest: no bar, no hold, the clip mark off.
    void Clear();
    const TMeterBallistics& Ballistics() const { return ballistics_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    int ScaleWidth() const; // the bar's room, left of the clip mark [pixels]
    int Pixels(float db) const;
    void UpdateIfMoved();

    TMeterBallistics ballistics_;
    int shownLevel_ = 0;
    int shownHold_ = 0;
    bool shownClip_ = false;
};
