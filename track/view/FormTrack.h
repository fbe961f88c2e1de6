// The track window: a child window of the main window that shows one track of the song. It
// holds the track component and its waveform view, the transport of this one track, the
// track's file, format, start and length, and its pan and volume; turns every state change of
// the track into enabled buttons and a window icon; keeps the main window's transport in step
// through its host; keeps the track's effects dialog under itself; and asks the questions that
// protect unsaved work when it closes. Under the waveform a level meter shows what the track
// plays, or while it records, what its input hears; the main window's clock feeds it.
//
// Threads: every operation here runs on the user-interface thread. As the track's owner the
// window takes calls from the track's worker too: state changes and the pointer are queued to
// the user-interface thread; the undo warning and the format chooser wait through the window's
// gate, which the window releases before it waits for the worker itself.
//
// Choices of ours:
// - The keypad keys act before the window's controls, as the window's own keys, also while a
//   time field has the focus; the standard keys (Space, Home, End, Ctrl+Z, Ctrl+X/C/V,
//   Delete, Ctrl+A) act only while the waveform has the focus.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "audio/WaveFormat.h"
#include "track/TrackInterfaces.h"
#include "track/TrackWindowRules.h"
#include "track/view/TrackEffectsDialog.h"
#include "ui/core/LevelMeter.h"
#include "ui/core/UiCallGate.h"
#include "ui/widgets/FormVelMc.h"

class QLabel;
class QLineEdit;
class QTabWidget;
class TLevelMeterWidget;
class TQtClipboardStore;
struct TRecoveryRecord;
class TSoundOutputDevice;
class TTrackWindowHost;
class TVELBtn2Bmp;
class TVelBtnBmp;
class TVelTimeEdit;
class TVelTrack;
class TVelTrackBar;
class TWaveView;

class TFormTrack : public TFormVelMc, public TTrackOwner {
    Q_OBJECT
  public:
    static constexpr int kTrackHelp = 3000;
    static constexpr int kPropertiesHelp = 3050;
    static constexpr int kPanVolumeHelp = 3060;
    static constexpr int kWhite = 16777215; // the waveform's selection colour here

    // A new window in `mainWindow`'s MDI area, not shown and not listed yet; `host` is the
    // main window's side of the song and outlives the window.
    TFormTrack(TFormVelM& mainWindow, TTrackWindowHost& host);
    ~TFormTrack() override;

    // ---- operations of the main window ----
    // Joins the track to the shared devices and formats and starts loading `fileName`, or
    // makes a new silent track of `newFormat` and `newLengthText` when the name is empty.
    void InitialiseTrack(TSoundOutputDevice* device, const std::string& fileName,
                         const WAVEFORMATEX& outputFormat, const WAVEFORMATEX& newFormat,
                         const std::string& newLengthText, const std::string& startText);
    // Joins the track to the shared devices and takes up a killed program's track from its
    // recovery record (TVelTrack::RecoverFrom).
    void InitialiseRecoveredTrack(TSoundOutputDevice* device, const WAVEFORMATEX& outputFormat,
                                  const TRecoveryRecord& record);
    void SetStartsAt(const std::string& timeText);
    void SetPanPosition(int pan);       // -100..100
    void SetVolumePosition(int volume); // -100..100
    void SetMuted(bool muted);
    void SetMinimized(bool minimized);
    // The main window's dampen setting: the track follows it, and the volume slider is
    // disabled while it is on.
    void SetDampen(bool on);

    // What the song file records of the window.
    bool Muted() const { return muted_; }
    bool Minimized() const { return minimized_; }
    int PanValue() const { return pan_; }
    int VolumeValue() const { return volume_; }
    const std::string& StartsAtText() const { return startsAtText_; }

    TVelTrack* Track() const { return track_.get(); }
    TWaveView* View() const { return view_; }
    TTrackEffectsDialog* EffectsDialog() const { return effectsDialog_; }
    // The window's caption (the track's file name, or a new track's name).
    std::string Caption() const;
    void SetCaption(const std::string& caption);

    // Installed by the main window: how an effects dialog is made. Without one, Effects opens
    // nothing.
    static void SetEffectsDialogFactory(TTrackEffectsDialog::Factory factory);

    // Saves the track: Save As for a track never saved, else in its own file. False when the
    // user cancelled or the save failed.
    bool SaveTrack();
    // Asks for a name and saves the track under it; false when the user cancelled.
    bool SaveTrackAs();

    // Replaceable boxes and dialogs, so that tests answer them. Empty restores the default.
    using OkCancelBox = std::function<bool(QWidget* parent, const QString& text)>;
    using YesNoCancelBox = std::function<TYesNoCancel(QWidget* parent, const QString& text)>;
    using SaveDialog = std::function<std::optional<std::string>(
        QWidget* parent, const std::string& folder, const std::string& fileName)>;
    using OpenDialog = std::function<std::optional<std::string>(
        QWidget* parent, const std::string& title, const std::string& fileName)>;
    using FormatDialog = std::function<std::optional<WAVEFORMATEX>(
        QWidget* parent, const QString& title, const WAVEFORMATEX& current)>;
    using MessageBox = std::function<void(QWidget* parent, const QString& text)>;
    void SetOkCancelBox(OkCancelBox box);
    void SetYesNoCancelBox(YesNoCancelBox box);
    void SetSaveDialog(SaveDialog dialog);
    // Closes the window without any question (its caption becomes "Closing..."), as when
    // another window saves over its file.
    void CloseWithoutQuestions();
    void SetOpenDialog(OpenDialog dialog);
    void SetFormatDialog(FormatDialog dialog);
    void SetErrorBox(MessageBox box);
    void SetInformationBox(MessageBox box);

    // ---- components ----
    TVelBtnBmp* SaveBtn() const { return saveBtn_; }
    TVelBtnBmp* RewindBtn() const { return rewindBtn_; }
    TVelBtnBmp* StopBtn() const { return stopBtn_; }
    TVelBtnBmp* PlayBtn() const { return playBtn_; }
    TVelBtnBmp* ForwardBtn() const { return forwardBtn_; }
    TVelBtnBmp* RecordBtn() const { return recordBtn_; }
    TVelBtnBmp* MixBtn() const { return mixBtn_; }
    TVELBtn2Bmp* MuteBtn() const { return muteBtn_; }
    QTabWidget* PageControl() const { return pages_; }
    QLineEdit* FileNameEdit() const { return fileName_; }
    TVelBtnBmp* SaveAsBtn() const { return saveAsBtn_; }
    QLineEdit* WaveDesc() const { return waveDesc_; }
    TVelBtnBmp* WaveBtn() const { return waveBtn_; }
    TVelTimeEdit* StartsAt() const { return startsAt_; }
    TVelTimeEdit* Length() const { return length_; }
    QLabel* LengthInBytes() const { return lengthInBytes_; }
    TVelTrackBar* PanBar() const { return panBar_; }
    TVelTrackBar* VolumeBar() const { return volumeBar_; }
    TVelBtnBmp* DefaultBtn() const { return defaultBtn_; }
    TLevelMeterWidget* Meter() const { return meter_; }
    // The icon resource the window shows: "MWAVE", "GWAVE" or "RWAVE".
    std::string IconName() const { return iconName_; }

    // Brings the buttons and the Properties page up to the track's state now (the queued
    // state change does the same).
    void RefreshFromTrack();
    // One tick of the clock, `elapsedMs` after the last: the meter takes the peaks the track
    // posted since; answers them (the main window's meter uses a playing track's).
    TPeak TickMeter(int elapsedMs);

    // TFormVelMc
    bool CloseQuery() override;

    // TTrackOwner
    void TrackStateChanged(TVelTrack& track) override;
    bool IsFileOpenAsTrack(const std::string& path) override;
    void ShowUndoWarning(const std::string& text) override;
    void SetHourglass(bool on) override;
    std::optional<std::string> ChooseTransferFile(bool forSaving, const std::string& title,
                                                  const std::string& initialName) override;
    void ErrorBox(const std::string& text) override;
    bool ConfirmBox(const std::string& text) override;
    std::optional<WAVEFORMATEX> ChooseConversionFormat(const WAVEFORMATEX& current) override;
    void BeforeWaitingForWorker(TVelTrack& track) override;
    void AfterWaitingForWorker(TVelTrack& track) override;

  public slots:
    void OkBtnClick() override;
    void SaveBtnClick();
    void RewindBtnClick();
    void StopBtnClick();
    void PlayBtnClick();
    void ForwardBtnClick();
    void RecordBtnClick();
    void MixBtnClick();
    void MuteBtnClick();
    void SaveAsBtnClick();
    void WaveBtnClick();
    void DefaultBtnClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    static TTrackEffectsDialog::Factory& EffectsFactory();
    void BuildButtons();
    void BuildTrackPage();
    void BuildPropertiesPage();
    void BuildPanVolumePage();
    void UpdateButtons();
    void ApplyIcon(TTrackIcon icon);
    void ShowProperties();
    void LengthEdited();
    void LengthLeft();
    void StartsAtEdited();
    void PanOrVolumeMoved();
    void ApplyDefaultsButton();
    void PageChanged(int index);
    bool HandleKeypad(QKeyEvent* event);
    bool HandleWaveKeys(QKeyEvent* event);
    bool ChooseMenuItemIfEnabled(const std::string& caption);
    void PlaceEffectsDialog();
    void EffectsDialogGone();
    void CloseTrack();
    void WindowStateFollowed();
    bool AskOkCancel(const std::string& text);

    TTrackWindowHost& host_;
    TUiCallGate gate_;
    std::unique_ptr<TQtClipboardStore> clipboard_;
    TWaveView* view_ = nullptr;
    std::unique_ptr<TVelTrack> track_;
    // Cleared by the dialog's destroyed signal, which comes while it is half destroyed: a
    // plain pointer, never cast back then.
    TTrackEffectsDialog* effectsDialog_ = nullptr;
    std::atomic<bool> stateChangeQueued_{false};
    std::atomic<bool> hourglass_{false};

    TVelBtnBmp* saveBtn_ = nullptr;
    TVelBtnBmp* rewindBtn_ = nullptr;
    TVelBtnBmp* stopBtn_ = nullptr;
    TVelBtnBmp* playBtn_ = nullptr;
    TVelBtnBmp* forwardBtn_ = nullptr;
    TVelBtnBmp* recordBtn_ = nullptr;
    TVelBtnBmp* mixBtn_ = nullptr;
    TVELBtn2Bmp* muteBtn_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QWidget* trackSheet_ = nullptr;
    QWidget* propertySheet_ = nullptr;
    QWidget* panVolumeSheet_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    TVelBtnBmp* saveAsBtn_ = nullptr;
    QLineEdit* waveDesc_ = nullptr;
    TVelBtnBmp* waveBtn_ = nullptr;
    TVelTimeEdit* startsAt_ = nullptr;
    TVelTimeEdit* length_ = nullptr;
    QLabel* lengthInBytes_ = nullptr;
    TVelTrackBar* panBar_ = nullptr;
    TVelTrackBar* volumeBar_ = nullptr;
    TLevelMeterWidget* meter_ = nullptr;
    TVelBtnBmp* defaultBtn_ = nullptr;

    bool muted_ = false;
    bool minimized_ = false;
    int pan_ = 0;
    int volume_ = 0;
    std::string startsAtText_ = "00:00.00000";
    bool saveEnabled_ = false;
    bool closing_ = false; // the track is being taken down
    std::string iconName_;
    TTrackActivation activation_;

    OkCancelBox okCancelBox_;
    YesNoCancelBox yesNoCancelBox_;
    SaveDialog saveDialog_;
    OpenDialog openDialog_;
    FormatDialog formatDialog_;
    MessageBox errorBox_;
    MessageBox informationBox_;
};
