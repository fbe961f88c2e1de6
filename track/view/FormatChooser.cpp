#include "track/view/FormatChooser.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>

#include <algorithm>
#include <iterator>
#include <vector>

#include "audio/VelTrackUtils.h"
#include "ui/widgets/VelButtons.h"

namespace {

constexpr int kMargin = 10; // [px] around the controls

QString RateText(uint32_t rate) {
    return QStringLiteral("%1 Hz").arg(rate);
}

} // namespace

TFormFormatChooser::TFormFormatChooser(QWidget* parent, const QString& title,
                                       const WAVEFORMATEX& current)
    : TFormVelB(parent) {
    setWindowTitle(title);
    SetHelpContext(kHelpContext);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    OkBtn()->SetCaption(QStringLiteral("Ok|Use this format"));
    CancelBtn()->SetCaption(QStringLiteral("Cancel|Keep the current format"));

    // The boxes have no object names on purpose: the settings object would keep their
    // indexes, and the chooser must open on the caller's format, not the last one chosen.
    rateBox_ = new QComboBox(ClientArea());
    rateBox_->setToolTip(QStringLiteral("Samples per second"));
    bitsBox_ = new QComboBox(ClientArea());
    bitsBox_->setToolTip(QStringLiteral("Bits per sample"));
    bitsBox_->addItem(QStringLiteral("8 bit"), 8);
    bitsBox_->addItem(QStringLiteral("16 bit"), 16);
    channelsBox_ = new QComboBox(ClientArea());
    channelsBox_->setToolTip(QStringLiteral("One channel or two"));
    channelsBox_->addItem(QStringLiteral("Mono"), 1);
    channelsBox_->addItem(QStringLiteral("Stereo"), 2);
    summary_ = new QLabel(ClientArea());
    summary_->setContentsMargins(0, kMargin / 2, 0, 0); // apart from the boxes it sums up

    auto* form = new QFormLayout(ClientArea());
    form->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    form->addRow(QStringLiteral("Sample &rate"), rateBox_);
    form->addRow(QStringLiteral("&Bits"), bitsBox_);
    form->addRow(QStringLiteral("&Channels"), channelsBox_);
    form->addRow(summary_);

    ShowCurrent(current);
    for (QComboBox* box : {rateBox_, bitsBox_, channelsBox_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { ShowSummary(); });
    rateBox_->setFocus();
}

void TFormFormatChooser::ShowCurrent(const WAVEFORMATEX& current) {
    // A rate outside the usual ones (a file from elsewhere) is offered too, in its order, so
    // that OK on an unchanged dialog keeps it.
    std::vector<uint32_t> rates(std::begin(kRates), std::end(kRates));
    if (current.nSamplesPerSec != 0 &&
        std::find(rates.begin(), rates.end(), current.nSamplesPerSec) == rates.end())
        rates.insert(std::upper_bound(rates.begin(), rates.end(), current.nSamplesPerSec),
                     current.nSamplesPerSec);
    for (uint32_t rate : rates)
        rateBox_->addItem(RateText(rate), rate);
    const int rateIndex = rateBox_->findData(current.nSamplesPerSec);
    rateBox_->setCurrentIndex(rateIndex >= 0 ? rateIndex : rateBox_->findData(44100));
    // The system reads every width but 16 as 8-bit and every channel count but 1 as stereo.
    bitsBox_->setCurrentIndex(Is16Bit(current) ? 1 : 0);
    channelsBox_->setCurrentIndex(current.nChannels == 1 ? 0 : 1);
    ShowSummary();
}

WAVEFORMATEX TFormFormatChooser::Format() const {
    return MakePcmFormat(rateBox_->currentData().toUInt(),
                         static_cast<uint16_t>(bitsBox_->currentData().toUInt()),
                         static_cast<uint16_t>(channelsBox_->currentData().toUInt()));
}

void TFormFormatChooser::ShowSummary() {
    const WAVEFORMATEX format = Format();
    summary_->setText(QStringLiteral("%1, %2 bytes a second")
                          .arg(QString::fromStdString(FormatDescription(format)),
                               QLocale(QLocale::English).toString(format.nAvgBytesPerSec)));
}

std::optional<WAVEFORMATEX> ChooseWaveFormat(QWidget* parent, const QString& title,
                                             const WAVEFORMATEX& current) {
    TFormFormatChooser chooser(parent, title, current);
    if (chooser.exec() != QDialog::Accepted) return std::nullopt;
    return chooser.Format();
}
