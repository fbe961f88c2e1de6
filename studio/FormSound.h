// The sound options dialog "Sound Options" (help 5000): the recording device in the group
// "Input" (InBox, InList), the output device and the output wave format in the group "Output"
// (OutBox, OutList, WaveDesc, OpenBtn), and how takes are placed in the group "Latency"
// (LatencyBox: the box "Latency compensation" LatencyCheck and the manual offset in
// milliseconds OffsetEdit). The rules are studio/core/SoundOptions.h's.
//
// For the main window, Options|Sound... is one call:
//     RunSoundOptions(this, host);  // host: the window's TSoundOptionsHost
// It lists the input devices (a failing query is reported and ends the command; none is
// reported and greys the Input group), lists the output devices, shows the dialog modally
// (the list selections saved at the last OK replace the computed ones), and after OK applies
// the choice through the host. Nothing changes on Cancel. Tests hand in their own device
// queries and act on the dialog from `beforeShow` (e.g. SetFormatDialog, a timer that clicks).
// UI thread only.
#pragma once

#include <functional>
#include <vector>

#include "studio/WaveFormatPicker.h"
#include "studio/core/SoundOptions.h"
#include "ui/widgets/FormVelB.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QSpinBox;

class TFormSound : public TFormVelB {
    Q_OBJECT
  public:
    static constexpr int kHelpContext = 5000;
    static constexpr const char* kChooserTitle = "Choose a Default Wave Format for output";

    // `outputFormat`: the main window's output format, the dialog's working copy.
    TFormSound(QWidget* parent, const WAVEFORMATEX& outputFormat);

    void SetInputChoices(const TInputChoices& choices);
    void SetOutputChoices(const TOutputChoices& choices);
    void SetLatency(bool compensate, int32_t offsetMs);
    // What the dialog shows now, as OK applies it.
    TSoundChoice Choice() const;

    void SetFormatDialog(TWaveFormatPicker::FormatDialog dialog);
    const WAVEFORMATEX& WorkingFormat() const { return picker_->Format(); }

    QGroupBox* InBox() const { return inBox_; }
    QComboBox* InList() const { return inList_; }
    QGroupBox* OutBox() const { return outBox_; }
    QComboBox* OutList() const { return outList_; }
    QLineEdit* WaveDesc() const { return picker_->WaveDesc(); }
    TVelBtnBmp* OpenBtn() const { return picker_->OpenBtn(); }
    TVelBtnBmpPnl* OpenPanel() const { return picker_->Panel(); }
    QGroupBox* LatencyBox() const { return latencyBox_; }
    QCheckBox* LatencyCheck() const { return latencyCheck_; }
    QSpinBox* OffsetEdit() const { return offsetEdit_; }

  private:
    TWaveFormatPicker* picker_ = nullptr;
    QGroupBox* inBox_ = nullptr;
    QComboBox* inList_ = nullptr;
    QGroupBox* outBox_ = nullptr;
    QComboBox* outList_ = nullptr;
    QGroupBox* latencyBox_ = nullptr;
    QCheckBox* latencyCheck_ = nullptr;
    QSpinBox* offsetEdit_ = nullptr;
    std::vector<TSoundDevice> outputs_;
};

// Where the device lists come from: the sound server by default.
struct TSoundDeviceSources {
    TInputQuery input;
    std::function<std::vector<TSoundDevice>()> outputs = EnumerateOutputDevices;
};

// Options|Sound..., the whole command. True when the dialog closed with OK (the choice then
// applied); false on Cancel and when a device query failed (the dialog not shown).
bool RunSoundOptions(QWidget* parent, TSoundOptionsHost& host,
                     const TSoundDeviceSources& sources = {},
                     const std::function<void(TFormSound&)>& beforeShow = {});
