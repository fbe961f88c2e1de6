// The effects dialog: a child window of the main window in which the user applies one effect
// at a time to the selection of one track, listens, and keeps it (OK) or takes it back (Undo,
// Cancel). Four pages (Equalizer 0, Delay 1, Fade 2, Distortion 3), each with its sliders, a
// preset list with Save, Delete and Organize, and on three of them a picture of the signal
// path or the fade. The dialog follows the track's EffectState and TrackState through
// Refresh, which the track window calls on every change; the rules it applies are those of
// effects/MixerRules.h. It never touches the audio itself: Apply calls one of the track's
// effect starters, Undo drops the track's newest undo state.
//
// Files: the preset file (EffectsPreset.Ini in the configuration folder), open from creation
// to close; the last settings and the page in the dialog's own section scheme of the settings
// file, through its settings object, written by OK only.
//
// UI thread only. Split by concern: FormMixer.cpp (buttons, state, closing), FormMixerPages.cpp
// (the four pages and their change handlers), FormMixerPresets.cpp (presets and last
// settings), FormMixerPictures.cpp (the three paint handlers).
#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "effects/EffectPresets.h"
#include "effects/MixerRules.h"
#include "track/view/TrackEffectsDialog.h"

class QComboBox;
class QLabel;
class QTabWidget;
class TEffectPresets;
class TFormTrack;
class TVelBmp;
class TVelBtnBmp;
class TVelTrack;
class TVelTrackBar;

// A page of the dialog whose background the dialog paints (the pictures lie under its
// controls).
class TMixerPage : public QWidget {
  public:
    using Painter = std::function<void(QWidget& page)>;
    TMixerPage(QWidget* parent, Painter painter) : QWidget(parent), painter_(std::move(painter)) {}

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Painter painter_;
};

class TFormMixer : public TTrackEffectsDialog {
    Q_OBJECT
  public:
    static constexpr int kPresetHelp = 4020;

    // The organize dialog ("Organize Presets"): the names in their new order after OK, none
    // after Cancel. The main window installs it, since the dialog lives beside the windows
    // of the studio, which link this library.
    using NamesDialog = std::function<std::optional<std::vector<std::string>>(
        QWidget* parent, const QString& caption, int helpContext,
        const std::vector<std::string>& names)>;
    static void SetOrganizeDialog(NamesDialog dialog);
    // The Save Preset dialog: the name chosen, or none after Cancel. Empty restores
    // TFormSavePreset; tests answer it themselves.
    using SaveDialog =
        std::function<std::optional<std::string>(QWidget* parent, const QString& prefilled)>;
    void SetSavePresetDialog(SaveDialog dialog);

    // Linked to `window`'s `track`; not shown yet. The track window sets EffectState to 1.
    TFormMixer(TFormVelM& mainWindow, TFormTrack& window, TVelTrack& track);
    ~TFormMixer() override;

    // TTrackEffectsDialog: the controls follow the track's EffectState and TrackState.
    void Refresh() override;

    QTabWidget* PageControl() const { return pages_; }
    TVelBtnBmp* MixBtn() const { return mixBtn_; }
    TVelBtnBmp* UnMixBtn() const { return unMixBtn_; }
    TEffectPage CurrentPage() const;
    // The values the page's controls hold now.
    TLastEffectSettings Values() const;

  public slots:
    void OkBtnClick() override;
    void CancelBtnClick() override;
    void MixBtnClick();
    void UnMixBtnClick();
    void DelayTypeListChange();
    void PresetListChange(int page);
    void SavePresetBtnClick(int page);
    void DeletePresetBtnClick(int page);
    void OrganizePresetBtnClick(int page);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The controls of one page's presets.
    struct TPresetControls {
        QComboBox* list = nullptr;
        TVelBtnBmp* save = nullptr;
        TVelBtnBmp* remove = nullptr;
        TVelBtnBmp* organize = nullptr;
    };

    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormClose();
    void RestoreLastSettings();
    void BuildButtons();
    void BuildEqualizerPage();
    void BuildDelayPage();
    void BuildFadePage();
    void BuildDistortionPage();
    QWidget* BuildPresetRow(QWidget* page, TEffectPage which, const char* listName,
                            const char* what, const char* shortWhat);
    void PageControlChange(int index);
    void SignClick(TVelTrackBar* bar, TEffectPage page);
    void ParameterChange(TEffectPage page);
    void ShowModulation();
    // Puts a signed value in its stored mode into a slider, widening the range first so that
    // the value never passes through a clamp on its way.
    void SetSigned(TVelTrackBar* bar, bool positive, int32_t value);
    static bool Positive(const TVelTrackBar* bar);

    void LoadDelay(const TDelayParams& p);
    void LoadFade(const TFadeParams& p);
    void LoadEqualizer(const TEqualizerParams& p);
    void LoadDistortion(const TDistortionParams& p);
    void LoadPreset(TEffectPage page, const std::string& name);
    bool SavePreset(TEffectPage page, const std::string& name);
    std::vector<std::string> ListedNames(TEffectPage page) const;
    void FillPresetList(TEffectPage page);

    TDelayPicture CurrentDelayPicture() const;
    void PlaceInputNode();
    void PaintFade(QWidget& page);
    void PaintDelay(QWidget& page);
    void PaintDistortion(QWidget& page);

    static NamesDialog& OrganizeDialog();

    TFormTrack& window_;
    TVelTrack& track_;
    std::unique_ptr<TEffectPresets> presets_;
    SaveDialog saveDialog_;
    bool activatedOnce_ = false;
    bool shownOnce_ = false;
    bool closed_ = false;
    int shownPage_ = kPageDelay; // the page in front, kept while a change is refused

    TVelBtnBmp* mixBtn_ = nullptr;
    TVelBtnBmp* unMixBtn_ = nullptr;
    QTabWidget* pages_ = nullptr;
    std::array<TPresetControls, 4> presetControls_{}; // by TEffectPage

    // Equalizer
    TVelTrackBar* eqDryBar_ = nullptr;
    std::array<TVelTrackBar*, 10> eqBars_{};
    // Delay
    QComboBox* delayTypeList_ = nullptr;
    TVelTrackBar* delayVBar_ = nullptr;
    TVelTrackBar* delayBar_ = nullptr;
    TVelTrackBar* delayFeedBackBar_ = nullptr;
    TVelTrackBar* delayDryBar_ = nullptr;
    TVelTrackBar* delayWetBar_ = nullptr;
    TVelTrackBar* delayFreqBar_ = nullptr;
    TVelBmp* inputBmp_ = nullptr;
    TVelBmp* delayTap1Btn_ = nullptr;
    TVelBmp* delayTap2Btn_ = nullptr;
    TVelBmp* outputBmp_ = nullptr;
    // Fade
    TVelTrackBar* fadeLeftBar_ = nullptr;
    TVelTrackBar* fadeRightBar_ = nullptr;
    // Distortion
    TVelTrackBar* distUThresholdBar_ = nullptr;
    TVelTrackBar* distLThresholdBar_ = nullptr;
    TVelTrackBar* distClampBar_ = nullptr;
    TVelTrackBar* distDryBar_ = nullptr;
    TVelTrackBar* distWetBar_ = nullptr;
    TVelBmp* distInputBmp_ = nullptr;
    TVelBmp* distTap1Btn_ = nullptr;
    TVelBmp* distOutPutBmp_ = nullptr;
};
