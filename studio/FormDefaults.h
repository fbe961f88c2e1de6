// The defaults for new tracks, "Defaults" (help 5010): in the group "New Track" the wave format
// (WaveDesc, OpenBtn) and the length (Length, a time field "MM:SS.fffff"), with the file size
// a track of that length and format takes (LengthInBytes), recomputed on every change. The
// rules are studio/core/DefaultsOptions.h's.
//
// For the main window, Options|Defaults... is one call:
//     RunDefaultsOptions(this, Settings(), MainPanel());
// It shows the dialog modally on settings.trackFormat and settings.trackLength and, after OK,
// stores the format and the length (blanks as "0") and reports the change. Nothing changes on
// Cancel. Tests act on the dialog from `beforeShow`. UI thread only.
#pragma once

#include <functional>
#include <string>

#include "studio/WaveFormatPicker.h"
#include "studio/core/DefaultsOptions.h"
#include "ui/widgets/FormVelB.h"

class QLabel;
class QGroupBox;
class TVelTimeEdit;

class TFormDefaults : public TFormVelB {
    Q_OBJECT
  public:
    static constexpr int kHelpContext = 5010;
    static constexpr const char* kChooserTitle = "Choose a Default Wave Format for New Tracks";

    // The working copy of the new tracks' format, and their length as the field starts with.
    TFormDefaults(QWidget* parent, const WAVEFORMATEX& trackFormat, const std::string& lengthText);

    const WAVEFORMATEX& WorkingFormat() const { return picker_->Format(); }
    // The length as the field shows it.
    std::string LengthText() const;

    void SetFormatDialog(TWaveFormatPicker::FormatDialog dialog);

    QGroupBox* NewTrackBox() const { return box_; }
    QLineEdit* WaveDesc() const { return picker_->WaveDesc(); }
    TVelBtnBmp* OpenBtn() const { return picker_->OpenBtn(); }
    TVelBtnBmpPnl* OpenPanel() const { return picker_->Panel(); }
    TVelTimeEdit* Length() const { return length_; }
    QLabel* LengthInBytes() const { return lengthInBytes_; }

  private:
    void ShowSize();

    TWaveFormatPicker* picker_ = nullptr;
    QGroupBox* box_ = nullptr;
    TVelTimeEdit* length_ = nullptr;
    QLabel* lengthInBytes_ = nullptr;
};

// Options|Defaults..., the whole command. True when the dialog closed with OK (the settings
// then changed and the change reported in `messages`).
bool RunDefaultsOptions(QWidget* parent, TStudioSettings& settings, TMessageSink& messages,
                        const std::function<void(TFormDefaults&)>& beforeShow = {});
