// The system's own custom-drawn controls: TVelControl (background colour and control
// options), TVELMouseControl (the raised and sunken frame and the click), TVelBmp (a
// picture), and the bitmap buttons TVelBtnBmp ("label|hint" caption, big or small size),
// TVELBtn2Bmp (two pictures) and TVElBtnBmpD (default and cancel flags). UI thread only.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "ui/core/ButtonRules.h"

class QPainter;

// A custom-drawn control. Color: -1 none, else the client area inset by 2 pixels is filled
// with it. coOptions: coAlwaysColor paints pictures in colour even when the mouse is away.
class TVelControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int coOptions READ CoOptions WRITE SetCoOptions)
    Q_PROPERTY(int color READ Color WRITE SetColor)
  public:
    explicit TVelControl(QWidget* parent = nullptr);

    int Color() const { return color_; }
    void SetColor(int value);
    int CoOptions() const { return coOptions_; }
    void SetCoOptions(int options);

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Fills the area inset by 2 pixels with Color, when there is one.
    void PaintBackground(QPainter& painter) const;

  private:
    int color_ = -1;
    int coOptions_ = 0;
};

// A control that follows the mouse and clicks. The frame shows only on an enabled control
// that has a receiver of Click() or moAlwaysOutline: raised under the mouse, sunken while
// the left button is held. Disabled controls never click.
class TVELMouseControl : public TVelControl {
    Q_OBJECT
  public:
    explicit TVELMouseControl(QWidget* parent = nullptr);

    int MoOptions() const { return moOptions_; }
    void SetMoOptions(int options);
    bool MouseOver() const { return frame_.Inside(); }
    TFrameLook FrameLook() const { return frame_.Look(); }

    // Clicks as a mouse click would (the base dialog's Enter and Escape); nothing when
    // disabled.
    void PerformClick();

  signals:
    void Click();

  protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Draws the raised or sunken frame (highlight top and left, shadow bottom and right).
    void PaintFrame(QPainter& painter) const;
    bool Active() const; // enabled, with a click receiver or moAlwaysOutline

  private:
    int moOptions_ = 0;
    TMouseFrame frame_;
    bool keyHeld_ = false;
};

// A control that shows a picture of ui/widgets/Pictures.h in colour, grey or embossed.
class TVelBmp : public TVELMouseControl {
    Q_OBJECT
  public:
    explicit TVelBmp(QWidget* parent = nullptr);

    void SetPicture(const QString& name);
    QString Picture() const { return picture_.name; }

  protected:
    // One picture with its three versions, made once per size and pixel ratio and kept.
    struct TPictureCache {
        QString name;
        int side = 0;
        qreal ratio = 0;
        QImage colour, grey, embossed;
        bool Empty() const { return name.isEmpty(); }
    };
    void paintEvent(QPaintEvent* event) override;
    // The version the current state asks for, `side` logical pixels square.
    const QImage& PictureFor(TPictureCache& cache, int side);
    // The picture being shown; TVELBtn2Bmp chooses between two.
    virtual TPictureCache& ShownPicture() { return picture_; }
    // Draws `image` (a version from PictureFor) into `target`; an embossed one twice.
    void DrawPicture(QPainter& painter, const QImage& image, const QRect& target) const;
    // The shadow half of an embossed picture and the colour of a disabled label.
    QColor ShadowColor() const;

    TPictureCache picture_;
};

// A bitmap button. Caption "label|hint": the hint is the tooltip and status tip while the
// caption is not empty. Big buttons with a label show it under the picture; a label without
// a picture is shown centred. Reached with Tab; Space clicks.
class TVelBtnBmp : public TVelBmp {
    Q_OBJECT
  public:
    explicit TVelBtnBmp(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    QString Label() const { return label_; }
    QString Hint() const { return hint_; }

    TBtnSize BtnSize() const { return btnSize_; }
    // bsBig and bsSmall give the button its fixed size; bsNone leaves the size alone.
    void SetBtnSize(TBtnSize size);

  protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override;

  private:
    QString caption_, label_, hint_;
    TBtnSize btnSize_ = bsNone;
};

// A bitmap button with a second picture; UseBmp2 chooses which is shown.
class TVELBtn2Bmp : public TVelBtnBmp {
    Q_OBJECT
  public:
    explicit TVELBtn2Bmp(QWidget* parent = nullptr);

    void SetPicture2(const QString& name);
    QString Picture2() const { return picture2_.name; }
    bool UseBmp2() const { return useBmp2_; }
    void SetUseBmp2(bool use);

  protected:
    TPictureCache& ShownPicture() override { return useBmp2_ ? picture2_ : picture_; }

  private:
    TPictureCache picture2_;
    bool useBmp2_ = false;
};

// A bitmap button that a base dialog clicks on Enter (Default) or Escape (Cancel).
class TVElBtnBmpD : public TVelBtnBmp {
    Q_OBJECT
  public:
    explicit TVElBtnBmpD(QWidget* parent = nullptr);

    bool Default() const { return default_; }
    void SetDefault(bool on);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool on);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool default_ = false;
    bool cancel_ = false;
};
