// The row of position controls under a track's waveform: for the selection start, the play
// position and the selection end, a rewind nudge button, a time box and a forward nudge
// button. The panel only holds and lays out the controls; TWaveView wires them to the track.
// UI thread only.
#pragma once

#include <QLineEdit>
#include <QString>

#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"

class QLabel;
class QStackedLayout;

// A bitmap button that acts while it is held: Pressed when the left button (or Space) goes
// down on the enabled button, Released when it comes up again or the button is disabled
// while held, so that a repeat started on Pressed always ends.
class TVelNudgeBtn : public TVelBtnBmp {
    Q_OBJECT
  public:
    explicit TVelNudgeBtn(QWidget* parent = nullptr);
    bool Held() const { return held_; }

  signals:
    void Pressed();
    void Released();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void Press();
    void Release();
    bool held_ = false;
};

// A masked time box "MM:SS.fffff". Every digit is optional and a blank reads as "0", so the
// shown text is always a complete time text. Left fires when the user moves the focus to
// another control of the window (not when the window itself loses the focus or a menu
// opens).
class TVelTimeEdit : public QLineEdit {
    Q_OBJECT
  public:
    // Qt's mask language: "0" is an optional digit, the literals stay in the text, and the
    // blank character after ";" is "0".
    static constexpr const char* kTimeMask = "00:00.00000;0";
    static constexpr int kWidth = 80; // [px]

    explicit TVelTimeEdit(QWidget* parent = nullptr);
    // The time text as shown: blanks read as "0".
    QString TimeText() const { return displayText(); }
    void SetTimeText(const QString& text);

  signals:
    void Left();

  protected:
    void focusOutEvent(QFocusEvent* event) override;
};

// The play-time box: the time box in a frame, or, outside the Ready state, the same text as
// a plain label so that it can follow the play position without flicker.
class TPlayTimeBox : public QFrame {
    Q_OBJECT
  public:
    explicit TPlayTimeBox(QWidget* parent = nullptr);
    TVelTimeEdit* Edit() const { return edit_; }
    QLabel* PlainText() const { return plain_; }
    // Both the edit field and the plain text show `text`; the edit field keeps the user's
    // entry while it has the focus.
    void SetTimeText(const QString& text);
    // true: the edit field, false: the plain text.
    void SetEditable(bool on);
    bool Editable() const;

  private:
    QStackedLayout* stack_;
    TVelTimeEdit* edit_;
    QLabel* plain_;
};

class TPositionPanel : public TVelBtnBmpPnl {
    Q_OBJECT
  public:
    explicit TPositionPanel(QWidget* parent = nullptr);

    TVelNudgeBtn* FSRewindBtn() const { return fsRewind_; }
    TVelTimeEdit* FSTime() const { return fsTime_; }
    TVelNudgeBtn* FSForwardBtn() const { return fsForward_; }
    TVelNudgeBtn* FPRewindBtn() const { return fpRewind_; }
    TPlayTimeBox* PlayTime() const { return playTime_; }
    TVelNudgeBtn* FPForwardBtn() const { return fpForward_; }
    TVelNudgeBtn* FERewindBtn() const { return feRewind_; }
    TVelTimeEdit* FETime() const { return feTime_; }
    TVelNudgeBtn* FEForwardBtn() const { return feForward_; }

  private:
    void AddControl(QWidget* control);

    TVelNudgeBtn* fsRewind_;
    TVelTimeEdit* fsTime_;
    TVelNudgeBtn* fsForward_;
    TVelNudgeBtn* fpRewind_;
    TPlayTimeBox* playTime_;
    TVelNudgeBtn* fpForward_;
    TVelNudgeBtn* feRewind_;
    TVelTimeEdit* feTime_;
    TVelNudgeBtn* feForward_;
};
