#include "studio/FormDefaults.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "track/view/PositionPanel.h"
#include "ui/widgets/VelBtnBmpPnl.h"

namespace {

constexpr int kMargin = 8;        // [px] inside the group
constexpr int kDesignWidth = 360; // [px]

} // namespace

TFormDefaults::TFormDefaults(QWidget* parent, const WAVEFORMATEX& trackFormat,
                             const std::string& lengthText)
    : TFormVelB(parent) {
    setWindowTitle(QStringLiteral("Defaults"));
    SetHelpContext(kHelpContext);

    box_ = new QGroupBox(QStringLiteral("New Track"), ClientArea());
    box_->setObjectName(QStringLiteral("NewTrackBox"));
    picker_ = new TWaveFormatPicker(box_, this, QString::fromLatin1(kChooserTitle), trackFormat);
    length_ = new TVelTimeEdit(box_);
    length_->setObjectName(QStringLiteral("Length"));
    length_->setToolTip(QStringLiteral("Play Length  (Minutes.Seconds.Fractional Seconds)"));
    length_->setStatusTip(length_->toolTip());
    lengthInBytes_ = new QLabel(box_);
    lengthInBytes_->setObjectName(QStringLiteral("LengthInBytes"));

    auto* formatLabel = new QLabel(QStringLiteral("Wave Format"), box_);
    auto* lengthLabel = new QLabel(QStringLiteral("Length"), box_);
    lengthLabel->setBuddy(length_);
    auto* grid = new QGridLayout(box_);
    grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    grid->addWidget(formatLabel, 0, 0);
    grid->addWidget(picker_->WaveDesc(), 0, 1, 1, 2, Qt::AlignVCenter);
    grid->addWidget(picker_->Panel(), 0, 3);
    grid->addWidget(lengthLabel, 1, 0);
    grid->addWidget(length_, 1, 1);
    grid->addWidget(lengthInBytes_, 1, 2, 1, 2);
    grid->setColumnStretch(2, 1);

    auto* column = new QVBoxLayout(ClientArea());
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->addWidget(box_);
    column->addStretch(1);

    connect(picker_, &TWaveFormatPicker::FormatChosen, this, &TFormDefaults::ShowSize);
    connect(length_, &QLineEdit::textChanged, this, &TFormDefaults::ShowSize);
    length_->SetTimeText(QString::fromStdString(lengthText));
    ShowSize();
    resize(kDesignWidth, sizeHint().height());
}

std::string TFormDefaults::LengthText() const {
    return length_->TimeText().toStdString();
}

void TFormDefaults::SetFormatDialog(TWaveFormatPicker::FormatDialog dialog) {
    picker_->SetFormatDialog(std::move(dialog));
}

void TFormDefaults::ShowSize() {
    lengthInBytes_->setText(
        QString::fromStdString(DefaultsSizeLabel(LengthText(), picker_->Format())));
}

bool RunDefaultsOptions(QWidget* parent, TStudioSettings& settings, TMessageSink& messages,
                        const std::function<void(TFormDefaults&)>& beforeShow) {
    TFormDefaults dialog(parent, settings.trackFormat, settings.trackLength);
    if (beforeShow) beforeShow(dialog);
    if (dialog.exec() != QDialog::Accepted) return false;
    ApplyDefaults(settings, dialog.WorkingFormat(), dialog.LengthText(), messages);
    return true;
}
