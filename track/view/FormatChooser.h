// The wave-format chooser: a small dialog offering the PCM formats a track can be converted
// to and recorded in (the usual sample rates, 8 or 16 bits, mono or stereo), opened on the
// current format. Used by the track window's format conversion and the option dialogs.
// UI thread only.
#pragma once

#include <QString>

#include <optional>

#include "audio/WaveFormat.h"
#include "ui/widgets/FormVelB.h"

class QComboBox;
class QLabel;

class TFormFormatChooser : public TFormVelB {
    Q_OBJECT
  public:
    // A page of its own: the chooser opens from the track window, Defaults and Sound Options.
    static constexpr int kHelpContext = 3055;
    static constexpr uint32_t kRates[] = {8000,  11025, 16000, 22050, 32000,
                                          44100, 48000, 88200, 96000};

    TFormFormatChooser(QWidget* parent, const QString& title, const WAVEFORMATEX& current);

    // The chosen format as a consistent PCM record: block alignment and byte rate follow from
    // the rate, the bits and the channels.
    WAVEFORMATEX Format() const;

    QComboBox* RateBox() const { return rateBox_; }
    QComboBox* BitsBox() const { return bitsBox_; }
    QComboBox* ChannelsBox() const { return channelsBox_; }
    QLabel* Summary() const { return summary_; }

  private:
    void ShowCurrent(const WAVEFORMATEX& current);
    void ShowSummary();

    QComboBox* rateBox_ = nullptr;
    QComboBox* bitsBox_ = nullptr;
    QComboBox* channelsBox_ = nullptr;
    QLabel* summary_ = nullptr;
};

// Shows the chooser modally; the chosen format, or nullopt when the user cancels.
std::optional<WAVEFORMATEX> ChooseWaveFormat(QWidget* parent, const QString& title,
                                             const WAVEFORMATEX& current);
