#include "studio/FormSound.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/widgets/VelBtnBmpPnl.h"

namespace {

constexpr int kMargin = 8;        // [px] inside the groups
constexpr int kDesignWidth = 340; // [px]

QComboBox* DropDownList(QWidget* parent, const char* name) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setEditable(false); // a drop-down list: its index is what the layout keeps
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return list;
}

void Fill(QComboBox& list, const std::vector<std::string>& items, int selected) {
    list.clear();
    for (const std::string& item : items)
        list.addItem(QString::fromStdString(item));
    list.setCurrentIndex(selected);
}

} // namespace

TFormSound::TFormSound(QWidget* parent, const WAVEFORMATEX& outputFormat) : TFormVelB(parent) {
    setWindowTitle(QStringLiteral("Sound Options"));
    SetHelpContext(kHelpContext);

    inBox_ = new QGroupBox(QStringLiteral("Input"), ClientArea());
    inBox_->setObjectName(QStringLiteral("InBox"));
    inList_ = DropDownList(inBox_, "InList");
    auto* inLayout = new QVBoxLayout(inBox_);
    inLayout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    inLayout->addWidget(inList_);

    outBox_ = new QGroupBox(QStringLiteral("Output"), ClientArea());
    outBox_->setObjectName(QStringLiteral("OutBox"));
    outList_ = DropDownList(outBox_, "OutList");
    picker_ =
        new TWaveFormatPicker(outBox_, this, QString::fromLatin1(kChooserTitle), outputFormat);
    auto* outLayout = new QGridLayout(outBox_);
    outLayout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    outLayout->addWidget(outList_, 0, 0, 1, 2);
    outLayout->addWidget(picker_->WaveDesc(), 1, 0, Qt::AlignVCenter);
    outLayout->addWidget(picker_->Panel(), 1, 1);
    outLayout->setColumnStretch(0, 1);

    latencyBox_ = new QGroupBox(QStringLiteral("Latency"), ClientArea());
    latencyBox_->setObjectName(QStringLiteral("LatencyBox"));
    latencyCheck_ = new QCheckBox(QStringLiteral("Latency compensation"), latencyBox_);
    latencyCheck_->setObjectName(QStringLiteral("LatencyCheck"));
    latencyCheck_->setChecked(true);
    offsetEdit_ = new QSpinBox(latencyBox_);
    offsetEdit_->setObjectName(QStringLiteral("OffsetEdit"));
    offsetEdit_->setRange(-kMaxLatencyOffsetMs, kMaxLatencyOffsetMs);
    offsetEdit_->setSuffix(QStringLiteral(" ms"));
    auto* offsetLabel = new QLabel(QStringLiteral("Manual offset"), latencyBox_);
    offsetLabel->setBuddy(offsetEdit_);
    auto* latencyLayout = new QGridLayout(latencyBox_);
    latencyLayout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    latencyLayout->addWidget(latencyCheck_, 0, 0, 1, 2);
    latencyLayout->addWidget(offsetLabel, 1, 0);
    latencyLayout->addWidget(offsetEdit_, 1, 1);
    latencyLayout->setColumnStretch(0, 1);

    auto* column = new QVBoxLayout(ClientArea());
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->addWidget(inBox_);
    column->addWidget(outBox_);
    column->addWidget(latencyBox_);
    column->addStretch(1);
    resize(kDesignWidth, sizeHint().height());
}

void TFormSound::SetInputChoices(const TInputChoices& choices) {
    Fill(*inList_, choices.items, choices.selected);
    inBox_->setEnabled(choices.enabled);
}

void TFormSound::SetOutputChoices(const TOutputChoices& choices) {
    outputs_ = choices.devices;
    std::vector<std::string> descriptions;
    for (const TSoundDevice& device : outputs_)
        descriptions.push_back(device.description);
    Fill(*outList_, descriptions, choices.selected);
}

void TFormSound::SetLatency(bool compensate, int32_t offsetMs) {
    latencyCheck_->setChecked(compensate);
    offsetEdit_->setValue(offsetMs);
}

TSoundChoice TFormSound::Choice() const {
    TSoundChoice choice;
    choice.latencyCompensation = latencyCheck_->isChecked();
    choice.latencyOffsetMs = offsetEdit_->value();
    choice.outputFormat = picker_->Format();
    choice.inputItem = inList_->currentIndex();
    choice.inputText = inList_->currentText().toStdString();
    const int output = outList_->currentIndex();
    if (output >= 0 && output < static_cast<int>(outputs_.size()))
        choice.output = outputs_[static_cast<std::size_t>(output)];
    return choice;
}

void TFormSound::SetFormatDialog(TWaveFormatPicker::FormatDialog dialog) {
    picker_->SetFormatDialog(std::move(dialog));
}

bool RunSoundOptions(QWidget* parent, TSoundOptionsHost& host, const TSoundDeviceSources& sources,
                     const std::function<void(TFormSound&)>& beforeShow) {
    TStudioSettings& settings = host.Settings();
    TFormSound dialog(parent, settings.outputFormat);
    const std::optional<TInputChoices> inputs =
        InputChoices(sources.input, settings.recorder, host.MainPanel());
    if (!inputs) return false;
    dialog.SetInputChoices(*inputs);
    dialog.SetOutputChoices(OutputChoices(sources.outputs(), settings.device));
    dialog.SetLatency(settings.latencyCompensation, settings.latencyOffsetMs);
    if (beforeShow) beforeShow(dialog);
    // Showing restores the selections saved at the last OK over the ones just made.
    if (dialog.exec() != QDialog::Accepted) return false;
    ApplySoundOptions(dialog.Choice(), host);
    return true;
}
