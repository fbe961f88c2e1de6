// The effects dialog's frame: creation, the button panel, Refresh, Apply, Undo, OK, Cancel,
// the page control, the sign toggles, the parameter-change step, showing and closing.
#include "effects/dialog/FormMixer.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "effects/MixerRules.h"
#include "platform/ConfigPaths.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/CtxForm.h"
#include "ui/widgets/FormVelM.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelColor.h"
#include "ui/widgets/VelMpnl.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

constexpr int kDesignWidth = 840;  // [px] the eleven equalizer sliders with their captions
constexpr int kDesignHeight = 480; // [px]

TVelBtnBmp* PanelButton(QWidget* parent, const char* name, const char* caption,
                        const char* picture) {
    auto* button = new TVelBtnBmp(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(QString::fromLatin1(caption));
    button->SetPicture(QString::fromLatin1(picture));
    button->SetBtnSize(bsSmall); // follows the panel's size
    return button;
}

} // namespace

void TMixerPage::paintEvent(QPaintEvent*) {
    if (painter_) painter_(*this);
}

TFormMixer::NamesDialog& TFormMixer::OrganizeDialog() {
    static NamesDialog dialog;
    return dialog;
}

void TFormMixer::SetOrganizeDialog(NamesDialog dialog) {
    OrganizeDialog() = std::move(dialog);
}

TFormMixer::TFormMixer(TFormVelM& mainWindow, TFormTrack& window, TVelTrack& track)
    : TTrackEffectsDialog(mainWindow), window_(window), track_(track) {
    setObjectName(QStringLiteral("FormMixer"));
    SetSavePresetDialog({});
    FormCreate();
}

TFormMixer::~TFormMixer() = default;

void TFormMixer::FormCreate() {
    BuildButtons();
    pages_ = new QTabWidget(ClientArea());
    pages_->setObjectName(QStringLiteral("PageControl"));
    auto* column = new QVBoxLayout(ClientArea());
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(pages_);
    BuildEqualizerPage();
    BuildDelayPage();
    BuildFadePage();
    BuildDistortionPage();
    {
        const QSignalBlocker quiet(pages_);
        pages_->setCurrentIndex(kPageDelay);
    }
    shownPage_ = kPageDelay;
    SetHelpContext(HelpContextOfPage(kPageDelay));
    connect(pages_, &QTabWidget::currentChanged, this, &TFormMixer::PageControlChange);

    presets_ = std::make_unique<TEffectPresets>(PresetFilePath());
    for (int page = 0; page < 4; ++page)
        FillPresetList(static_cast<TEffectPage>(page));

    if (QMdiSubWindow* frame = SubWindow()) {
        frame->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint);
        frame->resize(kDesignWidth, kDesignHeight);
    }
    if (TFormVelM* owner = Owner())
        connect(owner->MdiArea(), &QMdiArea::subWindowActivated, this,
                [this](QMdiSubWindow* activated) {
                    if (activated && activated == SubWindow()) FormActivate();
                });
    Refresh();
}

void TFormMixer::BuildButtons() {
    TVelBtnBmpPnl* panel = N_Panel();
    mixBtn_ = PanelButton(panel, "MixBtn", "Apply|Apply Effect", "apply");
    unMixBtn_ = PanelButton(panel, "UnMixBtn", "Undo|Undo Effect", "undo");
    unMixBtn_->setEnabled(false);
    panel->AddSeparator();
    panel->AddButton(mixBtn_);
    panel->AddButton(unMixBtn_);
    connect(mixBtn_, &TVelBtnBmp::Click, this, &TFormMixer::MixBtnClick);
    connect(unMixBtn_, &TVelBtnBmp::Click, this, &TFormMixer::UnMixBtnClick);
}

TEffectPage TFormMixer::CurrentPage() const {
    return static_cast<TEffectPage>(shownPage_);
}

// ---- following the track

void TFormMixer::Refresh() {
    if (closed_) return;
    const TMixerControls c = MixerControls(track_.EffectState.load(), track_.TrackState());
    mixBtn_->setEnabled(c.apply);
    unMixBtn_->setEnabled(c.undo);
    CancelBtn()->setEnabled(c.cancel);
    OkBtn()->setEnabled(c.ok);
    for (TVelTrackBar* bar : ClientArea()->findChildren<TVelTrackBar*>())
        bar->setEnabled(c.parameters);
    delayTypeList_->setEnabled(c.parameters);
    for (const TPresetControls& controls : presetControls_)
        controls.list->setEnabled(c.parameters);
    if (c.busyCursor)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void TFormMixer::MixBtnClick() {
    if (!mixBtn_->isEnabled()) return;
    track_.EffectState = esRunning;
    Refresh();
    // A refused start puts EffectState back to 1 and announces the track: Refresh follows.
    switch (CurrentPage()) {
    case kPageDelay:
        track_.StartDelay(delayBar_->Position(), delayFeedBackBar_->Position(),
                          delayDryBar_->Position(), delayWetBar_->Position(),
                          delayTypeList_->currentIndex(), delayFreqBar_->Position(),
                          delayVBar_->Position());
        break;
    case kPageFade:
        track_.StartFade(fadeLeftBar_->Position(), fadeRightBar_->Position());
        break;
    case kPageEqualizer: {
        std::array<int32_t, 10> bands{};
        for (std::size_t i = 0; i < bands.size(); ++i)
            bands[i] = eqBars_[i]->Position();
        track_.StartEqualizer(eqDryBar_->Position(), bands);
        break;
    }
    case kPageDistortion:
        track_.StartDistortion(distUThresholdBar_->Position(), distLThresholdBar_->Position(),
                               distClampBar_->Position(), distDryBar_->Position(),
                               distWetBar_->Position());
        break;
    }
    Refresh();
}

void TFormMixer::UnMixBtnClick() {
    if (!unMixBtn_->isEnabled()) return;
    track_.EffectState = esRunning;
    Refresh();
    // Taken, the track reloads its previous state and is back at 1; refused (its working
    // file could not be finished), the effect stays applied and Undo stays offered.
    const bool accepted = track_.UndoTo(static_cast<int>(track_.UndoFiles.size()) - 1);
    track_.EffectState = EffectStateAfterUndo(accepted);
    Refresh();
}

void TFormMixer::OkBtnClick() {
    WriteLastEffectSettings(Ctx().File(), Values());
    TTrackEffectsDialog::OkBtnClick();
}

void TFormMixer::CancelBtnClick() {
    if (!CancelBtn()->isEnabled()) return;
    if (unMixBtn_->isEnabled()) UnMixBtnClick();
    TTrackEffectsDialog::CancelBtnClick();
}

// ---- pages

void TFormMixer::PageControlChange(int index) {
    if (index == shownPage_) return;
    // QTabWidget asks nobody before it changes pages: a change the state forbids is taken
    // back at once.
    if (track_.EffectState.load() != esReady) {
        const QSignalBlocker quiet(pages_);
        pages_->setCurrentIndex(shownPage_);
        MPanel()->AddMessage(kMsgWarning, "You must Undo the effect before changing pages");
        return;
    }
    shownPage_ = index;
    SetHelpContext(HelpContextOfPage(static_cast<TEffectPage>(index)));
}

bool TFormMixer::Positive(const TVelTrackBar* bar) {
    return bar->Max() > 0;
}

void TFormMixer::SetSigned(TVelTrackBar* bar, bool positive, int32_t value) {
    const TSignMode mode = SignMode(positive, value, bar->Caption().toStdString());
    bar->SetMin(std::min(bar->Min(), mode.min));
    bar->SetMax(std::max(bar->Max(), mode.max));
    bar->SetPosition(mode.value);
    bar->SetMin(mode.min);
    bar->SetMax(mode.max);
    bar->SetColor(static_cast<int>(mode.colour));
    bar->SetCaption(QString::fromStdString(mode.caption));
}

void TFormMixer::SignClick(TVelTrackBar* bar, TEffectPage page) {
    if (!bar->isEnabled()) {
        MPanel()->AddMessage(kMsgWarning, "You must Undo the effect before inverting");
        return;
    }
    const TSignMode toggled =
        ToggledSign(Positive(bar), bar->Position(), bar->Caption().toStdString());
    SetSigned(bar, toggled.positive, toggled.value);
    ParameterChange(page);
}

bool TFormMixer::eventFilter(QObject* watched, QEvent* event) {
    // A click on a signed slider's own face (its caption) inverts it; a disabled slider
    // passes every click on to its face, so the refusal is heard there too.
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        for (auto [bar, page] :
             {std::pair{delayFeedBackBar_, kPageDelay}, std::pair{delayDryBar_, kPageDelay},
              std::pair{delayWetBar_, kPageDelay}, std::pair{distDryBar_, kPageDistortion},
              std::pair{distWetBar_, kPageDistortion}})
            if (watched == bar && mouse->button() == Qt::LeftButton &&
                bar->rect().contains(mouse->position().toPoint())) {
                SignClick(bar, page);
                return true;
            }
    }
    return TTrackEffectsDialog::eventFilter(watched, event);
}

void TFormMixer::ParameterChange(TEffectPage page) {
    const TParameterChange change = ParameterChangeOf(page);
    TPresetControls& controls = presetControls_[page];
    if (change.clearSelection) controls.list->setCurrentIndex(-1);
    if (change.disableDelete) controls.remove->setEnabled(false);
    if (change.repaintPicture) pages_->widget(page)->update();
}

// ---- showing, activation, closing

void TFormMixer::showEvent(QShowEvent* event) {
    const bool first = !event->spontaneous() && !shownOnce_;
    TTrackEffectsDialog::showEvent(event); // the base restores the layout first
    if (first) {
        shownOnce_ = true;
        FormShow();
    }
}

void TFormMixer::FormShow() {
    RestoreLastSettings();
    SetHelpContext(HelpContextOfPage(CurrentPage()));
}

void TFormMixer::FormActivate() {
    // The main window refreshes its controls on every activation of a child window itself.
    activatedOnce_ = true;
}

void TFormMixer::closeEvent(QCloseEvent* event) {
    TTrackEffectsDialog::closeEvent(event);
    if (event->isAccepted()) FormClose();
}

void TFormMixer::FormClose() {
    if (closed_) return;
    closed_ = true;
    // An effect still running ends at 0 too: the track only moves 3 on to 2 or 1. The track
    // window learns of the close when this window is destroyed.
    track_.EffectState = esNoDialog;
    presets_.reset();
    unsetCursor();
}
