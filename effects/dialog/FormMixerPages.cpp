// The four pages of the effects dialog, placed as a form designer would (fixed positions,
// so that the pictures' lines meet the controls), and their change handlers: the
// invariants between sliders, then the page's parameter change.
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>

#include "effects/MixerRules.h"
#include "effects/dialog/FormMixer.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

constexpr int kSliderHeight = 56;    // [px] a horizontal slider with its caption
constexpr int kEqSliderWidth = 74;   // [px] one vertical equalizer slider and its caption
constexpr int kVerticalHeight = 262; // [px] the equalizer's and the fade's vertical sliders
constexpr int kPercentTicks = 10;    // [value units]

struct TSliderSpec {
    const char* name;
    const char* caption;
    int min, max;
    const char* unit;
    QRect place;
    int decimals = 0;
    int ticks = kPercentTicks;
    bool vertical = false;
};

TVelTrackBar* Slider(QWidget* page, const TSliderSpec& s) {
    auto* bar = new TVelTrackBar(page);
    bar->setObjectName(QString::fromLatin1(s.name));
    bar->SetCaption(QString::fromLatin1(s.caption));
    bar->SetMin(s.min);
    bar->SetMax(s.max);
    bar->SetDecimals(s.decimals);
    bar->SetEditCaption(QString::fromLatin1(s.unit));
    bar->SetFrequency(s.ticks);
    bar->SetInverted(s.vertical); // the top of a vertical bar is its largest value
    bar->setGeometry(s.place);
    bar->setAutoFillBackground(true); // the page's picture runs under it, not through it
    return bar;
}

// A signed slider in positive mode: the face inverts it, the bar and box change it.
TVelTrackBar* SignedSlider(QWidget* page, const char* name, const char* caption, QRect place) {
    TVelTrackBar* bar = Slider(page, {name, caption, 0, 150, "%", place});
    bar->SetColor(static_cast<int>(kSignGreen));
    bar->setToolTip(QStringLiteral("Click to invert"));
    bar->SetTrackHint(QStringLiteral("Click or drag to change"));
    return bar;
}

TVelBmp* Node(QWidget* page, const char* name, const char* picture, QRect place) {
    auto* node = new TVelBmp(page);
    node->setObjectName(QString::fromLatin1(name));
    node->SetPicture(QString::fromLatin1(picture));
    node->SetCoOptions(coAlwaysColor);
    node->setGeometry(place);
    return node;
}

TVelBtnBmp* PresetButton(QWidget* parent, const QString& name, const QString& caption,
                         const char* picture) {
    auto* button = new TVelBtnBmp(parent);
    button->setObjectName(name);
    button->SetCaption(caption);
    button->SetPicture(QString::fromLatin1(picture));
    button->SetBtnSize(bsSmall);
    return button;
}

} // namespace

QWidget* TFormMixer::BuildPresetRow(QWidget* page, TEffectPage which, const char* listName,
                                    const char* what, const char* shortWhat) {
    const QString word = QString::fromLatin1(what);
    const QString brief = QString::fromLatin1(shortWhat);
    auto* label = new QLabel(QStringLiteral("Preset"), page);
    label->setGeometry(8, 8, 44, 24);
    auto* list = new QComboBox(page);
    list->setObjectName(QString::fromLatin1(listName));
    list->setGeometry(56, 8, 200, 24);
    label->setBuddy(list);
    auto* panel = new TVelBtnBmpPnl(page);
    panel->setObjectName(brief + QStringLiteral("PresetPnl"));
    TPresetControls& controls = presetControls_[which];
    controls.list = list;
    controls.save = PresetButton(panel, QStringLiteral("Save%1PresetBtn").arg(brief),
                                 QStringLiteral("Save|Save %1 Preset Dialog").arg(word), "save");
    controls.remove = PresetButton(panel, QStringLiteral("Delete%1PresetBtn").arg(brief),
                                   QStringLiteral("Delete|Delete %1 Preset").arg(word), "delete");
    controls.organize =
        PresetButton(panel, QStringLiteral("Organize%1PresetBtn").arg(brief),
                     QStringLiteral("Organize|Organize %1 Presets").arg(word), "organize");
    controls.remove->setEnabled(false);
    for (TVelBtnBmp* button : {controls.save, controls.remove, controls.organize})
        panel->AddButton(button);
    panel->setGeometry(264, 2, 132, 35);
    connect(list, &QComboBox::activated, this, [this, which] { PresetListChange(which); });
    connect(controls.save, &TVelBtnBmp::Click, this, [this, which] { SavePresetBtnClick(which); });
    connect(controls.remove, &TVelBtnBmp::Click, this,
            [this, which] { DeletePresetBtnClick(which); });
    connect(controls.organize, &TVelBtnBmp::Click, this,
            [this, which] { OrganizePresetBtnClick(which); });
    return list;
}

void TFormMixer::BuildEqualizerPage() {
    auto* page = new TMixerPage(pages_, [this](QWidget& p) { PaintFade(p); });
    page->setObjectName(QStringLiteral("EqualizerPage"));
    BuildPresetRow(page, kPageEqualizer, "EqPresetLIst", "Equalizer", "Eq");
    static constexpr const char* kNames[] = {"EqDryBar", "EqE0Bar", "EqE1Bar", "EqE2Bar",
                                             "EqE3Bar",  "EqE4Bar", "EqE5Bar", "EqE6Bar",
                                             "EqE7Bar",  "EqE8Bar", "EqE9Bar"};
    static constexpr const char* kCaptions[] = {"Dry",  "32Hz", "64Hz", "128Hz", "256Hz", "512Hz",
                                                "1KHz", "2KHz", "4KHz", "8KHz",  "16KHz"};
    for (int i = 0; i < 11; ++i) {
        TVelTrackBar* bar =
            Slider(page, {kNames[i], kCaptions[i], 0, 200, "%",
                          QRect(8 + i * kEqSliderWidth, 44, kEqSliderWidth - 2, kVerticalHeight), 0,
                          kPercentTicks, true});
        if (i == 0)
            eqDryBar_ = bar;
        else
            eqBars_[i - 1] = bar;
        // EqDryBarChange, shared by all eleven.
        connect(bar, &TVelTrackBar::Change, this, [this, bar](QObject* sender) {
            if (sender == bar->Bar()) ParameterChange(kPageEqualizer);
        });
    }
    pages_->addTab(page, QStringLiteral("Equalizer"));
}

void TFormMixer::BuildDelayPage() {
    auto* page = new TMixerPage(pages_, [this](QWidget& p) { PaintDelay(p); });
    page->setObjectName(QStringLiteral("DelayPage"));
    BuildPresetRow(page, kPageDelay, "DelayPresetList", "Delay", "Delay");
    delayDryBar_ = SignedSlider(page, "DelayDryBar", "Dry+", QRect(200, 40, 200, kSliderHeight));
    inputBmp_ = Node(page, "InputBmp", "node-input", QRect(10, 114, 32, 32));
    delayTap1Btn_ = Node(page, "DelayTap1Btn", "node-tap", QRect(160, 118, 24, 24));
    delayBar_ = Slider(page, {"DelayBar", "Delay(Total)", 1, 2500, "sec",
                              QRect(200, 102, 200, kSliderHeight), 4, 100});
    delayWetBar_ = SignedSlider(page, "DelayWetBar", "Wet+", QRect(440, 102, 160, kSliderHeight));
    delayTap2Btn_ = Node(page, "DelayTap2Btn", "node-tap", QRect(630, 118, 24, 24));
    outputBmp_ = Node(page, "OutputBmp", "node-output", QRect(676, 114, 32, 32));
    delayFeedBackBar_ =
        SignedSlider(page, "DelayFeedBackBar", "Feedback+", QRect(200, 180, 200, kSliderHeight));
    delayTypeList_ = new QComboBox(page);
    delayTypeList_->setObjectName(QStringLiteral("DelayTypeList"));
    delayTypeList_->addItems(
        {QString::fromLatin1(kDelayTypeNone), QString::fromLatin1(kDelayTypeSinusoidal)});
    delayTypeList_->setGeometry(10, 262, 120, 26);
    delayVBar_ = Slider(page, {"DelayVBar", "Delay (Modulated)", 0, 2500, "sec",
                               QRect(200, 250, 200, kSliderHeight), 4, 100});
    delayFreqBar_ = Slider(
        page, {"DelayFreqBar", "Freq", 1, 200, "Hz", QRect(440, 250, 160, kSliderHeight), 1, 10});
    delayFreqBar_->SetTrackHint(QStringLiteral("Clck or drag to change"));
    for (TVelTrackBar* bar : {delayFeedBackBar_, delayDryBar_, delayWetBar_})
        bar->installEventFilter(this);

    const TDelayParams start;
    delayBar_->SetPosition(start.delay);
    delayVBar_->SetPosition(start.functionDelay);
    delayFreqBar_->SetPosition(start.functionFrequency);
    for (TVelTrackBar* bar : {delayFeedBackBar_, delayDryBar_, delayWetBar_})
        bar->SetPosition(50);
    delayTypeList_->setCurrentIndex(0);

    // DelayBarChange and DelayVBarChange keep the modulated delay within the total.
    connect(delayBar_, &TVelTrackBar::Change, this, [this](QObject* sender) {
        if (sender != delayBar_->Bar()) return;
        delayVBar_->SetPosition(
            ModulatedAfterTotalDelayMoved(delayBar_->Position(), delayVBar_->Position()));
        ParameterChange(kPageDelay);
    });
    connect(delayVBar_, &TVelTrackBar::Change, this, [this](QObject* sender) {
        if (sender != delayVBar_->Bar()) return;
        delayBar_->SetPosition(
            TotalDelayAfterModulatedMoved(delayVBar_->Position(), delayBar_->Position()));
        ParameterChange(kPageDelay);
    });
    for (TVelTrackBar* bar : {delayFeedBackBar_, delayDryBar_, delayWetBar_, delayFreqBar_})
        connect(bar, &TVelTrackBar::Change, this, [this, bar](QObject* sender) {
            if (sender == bar->Bar()) ParameterChange(kPageDelay);
        });
    connect(delayTypeList_, &QComboBox::currentIndexChanged, this,
            &TFormMixer::DelayTypeListChange);
    pages_->addTab(page, QStringLiteral("Delay"));
    ShowModulation();
}

void TFormMixer::BuildFadePage() {
    auto* page = new TMixerPage(pages_, [this](QWidget& p) { PaintFade(p); });
    page->setObjectName(QStringLiteral("FadePage"));
    BuildPresetRow(page, kPageFade, "FadePresetList", "Fade", "Fade");
    fadeLeftBar_ = Slider(page, {"FadeLeftBar", "Start", 0, 200, "%",
                                 QRect(40, 44, 70, kVerticalHeight), 0, kPercentTicks, true});
    fadeRightBar_ = Slider(page, {"FadeRightBar", "End", 0, 200, "%",
                                  QRect(420, 44, 70, kVerticalHeight), 0, kPercentTicks, true});
    const TFadeParams start;
    fadeLeftBar_->SetPosition(start.left);
    fadeRightBar_->SetPosition(start.right);
    // FadeLeftBarChange and FadeRightBarChange: the band follows before the parameter change.
    for (TVelTrackBar* bar : {fadeLeftBar_, fadeRightBar_})
        connect(bar, &TVelTrackBar::Change, this, [this, bar, page](QObject* sender) {
            if (sender != bar->Bar()) return;
            page->update();
            ParameterChange(kPageFade);
        });
    pages_->addTab(page, QStringLiteral("Fade"));
}

void TFormMixer::BuildDistortionPage() {
    auto* page = new TMixerPage(pages_, [this](QWidget& p) { PaintDistortion(p); });
    page->setObjectName(QStringLiteral("DistortionPage"));
    BuildPresetRow(page, kPageDistortion, "DistPresetList", "Distortion", "Dist");
    distDryBar_ = SignedSlider(page, "DistDryBar", "Dry+", QRect(200, 40, 200, kSliderHeight));
    distInputBmp_ = Node(page, "DistInputBmp", "node-input", QRect(10, 114, 32, 32));
    distClampBar_ =
        Slider(page, {"DistClampBar", "Clamp", 0, 100, "%", QRect(160, 102, 200, kSliderHeight)});
    distWetBar_ = SignedSlider(page, "DistWetBar", "Wet+", QRect(400, 102, 160, kSliderHeight));
    distTap1Btn_ = Node(page, "DistTap1Btn", "node-tap", QRect(600, 118, 24, 24));
    distOutPutBmp_ = Node(page, "DistOutPutBmp", "node-output", QRect(660, 114, 32, 32));
    distUThresholdBar_ = Slider(page, {"DistUThresholdBar", "Upper Threshold", 0, 100, "%",
                                       QRect(160, 200, 200, kSliderHeight)});
    distLThresholdBar_ = Slider(page, {"DistLThresholdBar", "Lower Threshold", 0, 100, "%",
                                       QRect(400, 200, 200, kSliderHeight)});
    for (TVelTrackBar* bar : {distDryBar_, distWetBar_})
        bar->installEventFilter(this);
    const TDistortionParams start;
    distUThresholdBar_->SetPosition(start.upperThreshold);
    distLThresholdBar_->SetPosition(start.lowerThreshold);
    distClampBar_->SetPosition(start.clamp);
    distDryBar_->SetPosition(start.dry);
    distWetBar_->SetPosition(start.wet);

    // DistUThresholdBarChange and DistLThresholdBarChange keep lower <= upper.
    connect(distUThresholdBar_, &TVelTrackBar::Change, this, [this](QObject* sender) {
        if (sender != distUThresholdBar_->Bar()) return;
        distLThresholdBar_->SetPosition(LowerAfterUpperThresholdMoved(
            distUThresholdBar_->Position(), distLThresholdBar_->Position()));
        ParameterChange(kPageDistortion);
    });
    connect(distLThresholdBar_, &TVelTrackBar::Change, this, [this](QObject* sender) {
        if (sender != distLThresholdBar_->Bar()) return;
        distUThresholdBar_->SetPosition(UpperAfterLowerThresholdMoved(
            distLThresholdBar_->Position(), distUThresholdBar_->Position()));
        ParameterChange(kPageDistortion);
    });
    for (TVelTrackBar* bar : {distClampBar_, distDryBar_, distWetBar_})
        connect(bar, &TVelTrackBar::Change, this, [this, bar](QObject* sender) {
            if (sender == bar->Bar()) ParameterChange(kPageDistortion);
        });
    pages_->addTab(page, QStringLiteral("Distortion"));
}

void TFormMixer::DelayTypeListChange() {
    ShowModulation();
    ParameterChange(kPageDelay);
}

void TFormMixer::ShowModulation() {
    const bool visible = ModulationVisible(delayTypeList_->currentText().toStdString());
    delayFreqBar_->setVisible(visible);
    delayVBar_->setVisible(visible);
    PlaceInputNode();
    pages_->widget(kPageDelay)->update();
}

TLastEffectSettings TFormMixer::Values() const {
    TLastEffectSettings v;
    v.delay.delay = delayBar_->Position();
    v.delay.feedback = delayFeedBackBar_->Position();
    v.delay.feedbackPositive = Positive(delayFeedBackBar_);
    v.delay.dry = delayDryBar_->Position();
    v.delay.dryPositive = Positive(delayDryBar_);
    v.delay.wet = delayWetBar_->Position();
    v.delay.wetPositive = Positive(delayWetBar_);
    v.delay.function =
        delayTypeList_->currentIndex() < 0 ? "" : delayTypeList_->currentText().toStdString();
    v.delay.functionFrequency = delayFreqBar_->Position();
    v.delay.functionDelay = delayVBar_->Position();
    v.fade.left = fadeLeftBar_->Position();
    v.fade.right = fadeRightBar_->Position();
    v.equalizer.dry = eqDryBar_->Position();
    for (std::size_t i = 0; i < eqBars_.size(); ++i)
        v.equalizer.bands[i] = eqBars_[i]->Position();
    v.distortion.upperThreshold = distUThresholdBar_->Position();
    v.distortion.lowerThreshold = distLThresholdBar_->Position();
    v.distortion.clamp = distClampBar_->Position();
    v.distortion.dry = distDryBar_->Position();
    v.distortion.dryPositive = Positive(distDryBar_);
    v.distortion.wet = distWetBar_->Position();
    v.distortion.wetPositive = Positive(distWetBar_);
    v.page = CurrentPage();
    return v;
}
