// The system's slider: a track bar, a box holding the value as a number (optionally with an
// implied decimal point) and a unit label after it, with a caption the control draws itself.
// Vertical when narrower than high. UI thread only.
#pragma once

#include <QString>

#include "ui/core/SliderRules.h"
#include "ui/widgets/VelButtons.h"

class QLabel;
class QLineEdit;
class QSlider;

enum TTickMark : int { tmBottomRight = 0, tmTopLeft = 1, tmBoth = 2 };

class TVelTrackBar : public TVelControl {
    Q_OBJECT
    Q_PROPERTY(int max READ Max WRITE SetMax)
    Q_PROPERTY(int min READ Min WRITE SetMin)
    Q_PROPERTY(int frequency READ Frequency WRITE SetFrequency)
    Q_PROPERTY(bool inverted READ Inverted WRITE SetInverted)
    Q_PROPERTY(int position READ Position WRITE SetPosition)
    Q_PROPERTY(int tickMarks READ TickMarks WRITE SetTickMarks)
    Q_PROPERTY(QString caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString editCaption READ EditCaption WRITE SetEditCaption)
    Q_PROPERTY(int alignMent READ AlignMent WRITE SetAlignMent)
    Q_PROPERTY(int decimals READ Decimals WRITE SetDecimals)
    Q_PROPERTY(QString trackHint READ TrackHint WRITE SetTrackHint)
  public:
    explicit TVelTrackBar(QWidget* parent = nullptr);

    // Setting Max or Min passes the range to the bar, sizes the box and rebuilds the format.
    int Max() const { return max_; }
    void SetMax(int value);
    int Min() const { return min_; }
    void SetMin(int value);
    int Frequency() const { return frequency_; } // tick spacing [value units]
    void SetFrequency(int value);
    // The bar's ends swapped: Position = Max + Min - the bar's raw position.
    bool Inverted() const { return inverted_; }
    void SetInverted(bool on);
    // The value, through the inversion. Setting it moves the bar (Change with the bar as
    // sender when it really moves) and shows the value in the box.
    int Position() const;
    void SetPosition(int value);
    TTickMark TickMarks() const { return tickMarks_; }
    void SetTickMarks(int marks);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    // The unit: the label after the box shows " " + EditCaption.
    QString EditCaption() const { return editCaption_; }
    void SetEditCaption(const QString& caption);
    TTrackBarAlign AlignMent() const { return alignMent_; }
    void SetAlignMent(int align);
    // Digits after the implied point in the box.
    int Decimals() const { return decimals_; }
    void SetDecimals(int decimals);
    // Tooltip of the bar and the box, shown only while not empty.
    QString TrackHint() const { return trackHint_; }
    void SetTrackHint(const QString& hint);

    // Focuses the track bar.
    void SetFocus();

    QSlider* Bar() const { return bar_; }
    QLineEdit* Box() const { return box_; }
    QLabel* UnitLabel() const { return label_; }
    const TSliderFormat& Format() const { return format_; }

    QSize sizeHint() const override;

  signals:
    // The value changes or an entry is about to be checked: `sender` is the bar when it
    // moved (the box already shows the new value only after this), the box when the user
    // leaves it (the value is still the old one).
    void Change(QObject* sender);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void BarMoved();
    void BoxExit();
    void Refuse(const QString& text);
    void ShowValue();
    void RebuildFormat();
    void SizeBox();
    void LayOut();
    TSliderLayout CurrentLayout() const;

    QSlider* bar_;
    QLineEdit* box_;
    QLabel* label_;
    int max_ = 10;
    int min_ = 0;
    int frequency_ = 1;
    bool inverted_ = false;
    TTickMark tickMarks_ = tmBottomRight;
    QString caption_, editCaption_, trackHint_;
    TTrackBarAlign alignMent_ = tbNone;
    int decimals_ = 0;
    TSliderFormat format_;
    int boxWidth_ = 30; // [px]
};
