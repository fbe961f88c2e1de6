#include "studio/WaveFormatPicker.h"

#include <QEvent>
#include <QLineEdit>

#include <utility>

#include "audio/VelTrackUtils.h"
#include "track/view/FormatChooser.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"

TWaveFormatPicker::TWaveFormatPicker(QWidget* parent, QWidget* dialog, QString title,
                                     const WAVEFORMATEX& format)
    : QObject(parent), dialog_(dialog), title_(std::move(title)), format_(format),
      formatDialog_(ChooseWaveFormat) {
    waveDesc_ = new QLineEdit(parent);
    waveDesc_->setObjectName(QStringLiteral("WaveDesc"));
    waveDesc_->setReadOnly(true);
    waveDesc_->setToolTip(QStringLiteral("Click up arrow to change"));
    waveDesc_->setStatusTip(waveDesc_->toolTip());
    waveDesc_->setText(QString::fromStdString(FormatDescription(format_)));
    waveDesc_->installEventFilter(this); // a double click opens the chooser

    panel_ = new TVelBtnBmpPnl(parent);
    panel_->setObjectName(QStringLiteral("WavePanel"));
    openBtn_ = new TVelBtnBmp(panel_);
    openBtn_->setObjectName(QStringLiteral("OpenBtn"));
    openBtn_->SetCaption(QStringLiteral("Open|Open wave format dialog"));
    openBtn_->SetPicture(QStringLiteral("up")); // the arrow WaveDesc's hint points to
    openBtn_->SetBtnSize(bsBig);
    panel_->AddButton(openBtn_);
    panel_->SetBtnSize(bsBig);
    connect(openBtn_, &TVelBtnBmp::Click, this, &TWaveFormatPicker::OpenBtnClick);
}

void TWaveFormatPicker::SetFormatDialog(FormatDialog dialog) {
    formatDialog_ = dialog ? std::move(dialog) : FormatDialog(ChooseWaveFormat);
}

void TWaveFormatPicker::OpenBtnClick() {
    if (const std::optional<WAVEFORMATEX> chosen = formatDialog_(dialog_, title_, format_))
        format_ = *chosen;
    waveDesc_->setText(QString::fromStdString(FormatDescription(format_)));
    emit FormatChosen();
}

bool TWaveFormatPicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == waveDesc_ && event->type() == QEvent::MouseButtonDblClick) {
        OpenBtnClick();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
