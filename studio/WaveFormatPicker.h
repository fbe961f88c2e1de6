// The wave-format row of the option dialogs: a read-only WaveDesc that shows the working
// format's description (hint "Click up arrow to change"; a double-click opens the chooser) and,
// in a button panel of its own, the big OpenBtn "Open|Open wave format dialog" with the up
// arrow, which opens the format chooser on the working format. A chosen format replaces the
// working copy; a cancelled chooser leaves it. UI thread only.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "audio/WaveFormat.h"

class QLineEdit;
class QWidget;
class TVelBtnBmp;
class TVelBtnBmpPnl;

class TWaveFormatPicker : public QObject {
    Q_OBJECT
  public:
    // The chooser: the chosen format, or nullopt when the user cancels. Tests hand in their
    // own; empty restores ChooseWaveFormat (track/view/FormatChooser.h).
    using FormatDialog = std::function<std::optional<WAVEFORMATEX>(
        QWidget* parent, const QString& title, const WAVEFORMATEX& current)>;

    // The widgets are made as children of `parent` (the dialog's client area); the chooser is
    // owned by `dialog` and titled `title`.
    TWaveFormatPicker(QWidget* parent, QWidget* dialog, QString title, const WAVEFORMATEX& format);

    QLineEdit* WaveDesc() const { return waveDesc_; }
    TVelBtnBmpPnl* Panel() const { return panel_; }
    TVelBtnBmp* OpenBtn() const { return openBtn_; }
    const WAVEFORMATEX& Format() const { return format_; }
    const QString& Title() const { return title_; }

    void SetFormatDialog(FormatDialog dialog);

  public slots:
    // OpenBtn and the double-click: the chooser, then WaveDesc shows the working format.
    void OpenBtnClick();

  signals:
    // After the chooser closed, whether or not it changed the format.
    void FormatChosen();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* dialog_;
    QString title_;
    WAVEFORMATEX format_;
    FormatDialog formatDialog_;
    QLineEdit* waveDesc_ = nullptr;
    TVelBtnBmpPnl* panel_ = nullptr;
    TVelBtnBmp* openBtn_ = nullptr;
};
