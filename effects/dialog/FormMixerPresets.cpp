// The effects dialog's presets and last settings: the four preset lists, loading a parameter
// set into a page's controls, Save through the Save Preset dialog, Delete, Organize, and the
// last settings restored at the first show and written by OK.
#include <QComboBox>
#include <QSignalBlocker>
#include <QTabWidget>

#include "effects/EffectPresets.h"
#include "effects/dialog/FormMixer.h"
#include "effects/dialog/FormSavePreset.h"
#include "ui/widgets/CtxForm.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

std::optional<std::string> DefaultSaveDialog(QWidget* parent, const QString& prefilled) {
    TFormSavePreset dialog(parent);
    dialog.SetName(prefilled);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Name().toStdString();
}

} // namespace

void TFormMixer::SetSavePresetDialog(SaveDialog dialog) {
    saveDialog_ = dialog ? std::move(dialog) : SaveDialog(DefaultSaveDialog);
}

// ---- loading a parameter set: every slider that moves reports its parameter change

void TFormMixer::LoadDelay(const TDelayParams& p) {
    // The total before the modulated delay, so that the invariant holds on the way.
    delayBar_->SetPosition(p.delay);
    SetSigned(delayFeedBackBar_, p.feedbackPositive, p.feedback);
    SetSigned(delayDryBar_, p.dryPositive, p.dry);
    SetSigned(delayWetBar_, p.wetPositive, p.wet);
    {
        // Choosing the type here is no parameter change of its own.
        const QSignalBlocker quiet(delayTypeList_);
        delayTypeList_->setCurrentIndex(delayTypeList_->findText(
            QString::fromStdString(MatchDelayType(p.function)), Qt::MatchFixedString));
    }
    delayFreqBar_->SetPosition(p.functionFrequency);
    delayVBar_->SetPosition(p.functionDelay);
    ShowModulation();
}

void TFormMixer::LoadFade(const TFadeParams& p) {
    fadeLeftBar_->SetPosition(p.left);
    fadeRightBar_->SetPosition(p.right);
    pages_->widget(kPageFade)->update();
}

void TFormMixer::LoadEqualizer(const TEqualizerParams& p) {
    eqDryBar_->SetPosition(p.dry);
    for (std::size_t i = 0; i < eqBars_.size(); ++i)
        eqBars_[i]->SetPosition(p.bands[i]);
}

void TFormMixer::LoadDistortion(const TDistortionParams& p) {
    // The upper threshold before the lower one.
    distUThresholdBar_->SetPosition(p.upperThreshold);
    distLThresholdBar_->SetPosition(p.lowerThreshold);
    distClampBar_->SetPosition(p.clamp);
    SetSigned(distDryBar_, p.dryPositive, p.dry);
    SetSigned(distWetBar_, p.wetPositive, p.wet);
    pages_->widget(kPageDistortion)->update();
}

void TFormMixer::LoadPreset(TEffectPage page, const std::string& name) {
    switch (page) {
    case kPageDelay: {
        TDelayParams p;
        presets_->Load(name, p);
        LoadDelay(p);
        break;
    }
    case kPageFade: {
        TFadeParams p;
        presets_->Load(name, p);
        LoadFade(p);
        break;
    }
    case kPageEqualizer: {
        TEqualizerParams p;
        presets_->Load(name, p);
        LoadEqualizer(p);
        break;
    }
    case kPageDistortion: {
        TDistortionParams p;
        presets_->Load(name, p);
        LoadDistortion(p);
        break;
    }
    }
}

// ---- the preset lists

void TFormMixer::FillPresetList(TEffectPage page) {
    QComboBox* list = presetControls_[page].list;
    list->clear();
    for (const std::string& name : presets_->List(EffectWordOfPage(page)))
        list->addItem(QString::fromStdString(name));
    list->setCurrentIndex(-1);
}

std::vector<std::string> TFormMixer::ListedNames(TEffectPage page) const {
    std::vector<std::string> names;
    const QComboBox* list = presetControls_[page].list;
    for (int i = 0; i < list->count(); ++i)
        names.push_back(list->itemText(i).toStdString());
    return names;
}

void TFormMixer::PresetListChange(int page) {
    if (!presets_) return;
    const auto which = static_cast<TEffectPage>(page);
    TPresetControls& controls = presetControls_[which];
    if (controls.list->currentIndex() < 0) {
        controls.remove->setEnabled(false);
        return;
    }
    controls.remove->setEnabled(true);
    // A value that changes clears the selection again: it stays only for a preset whose
    // values the page already shows.
    LoadPreset(which, controls.list->currentText().toStdString());
}

bool TFormMixer::SavePreset(TEffectPage page, const std::string& name) {
    const TLastEffectSettings v = Values();
    switch (page) {
    case kPageDelay:
        return presets_->Save(name, v.delay);
    case kPageFade:
        return presets_->Save(name, v.fade);
    case kPageEqualizer:
        return presets_->Save(name, v.equalizer);
    case kPageDistortion:
        return presets_->Save(name, v.distortion);
    }
    return false;
}

void TFormMixer::SavePresetBtnClick(int page) {
    if (!presets_) return;
    const auto which = static_cast<TEffectPage>(page);
    TPresetControls& controls = presetControls_[which];
    const std::optional<std::string> chosen = saveDialog_(this, controls.list->currentText());
    if (!chosen) return;
    const std::string name = TrimPresetName(*chosen);
    if (const std::string problem = PresetNameProblem(name); !problem.empty()) {
        MPanel()->AddMessage(kMsgRefusal, problem);
        return;
    }
    // A name already listed keeps its place and spelling; its keys are rewritten unasked.
    if (!SavePreset(which, name)) {
        MPanel()->AddMessage(kMsgRefusal, presets_->LastError());
        return;
    }
    FillPresetList(which);
    const std::string listed = presets_->Listed(EffectWordOfPage(which), name);
    controls.list->setCurrentIndex(controls.list->findText(QString::fromStdString(listed)));
    controls.remove->setEnabled(true);
}

void TFormMixer::DeletePresetBtnClick(int page) {
    if (!presets_) return;
    const auto which = static_cast<TEffectPage>(page);
    TPresetControls& controls = presetControls_[which];
    if (controls.list->currentIndex() < 0) return;
    if (!presets_->Delete(EffectWordOfPage(which), controls.list->currentText().toStdString()))
        MPanel()->AddMessage(kMsgRefusal, presets_->LastError());
    FillPresetList(which);
    controls.remove->setEnabled(false);
}

void TFormMixer::OrganizePresetBtnClick(int page) {
    if (!presets_ || !OrganizeDialog()) return;
    const auto which = static_cast<TEffectPage>(page);
    TPresetControls& controls = presetControls_[which];
    const std::optional<std::vector<std::string>> order =
        OrganizeDialog()(this, QStringLiteral("Organize Presets"), kPresetHelp, ListedNames(which));
    if (!order) return;
    if (!presets_->Reorder(EffectWordOfPage(which), *order)) {
        MPanel()->AddMessage(kMsgRefusal, presets_->LastError());
        return;
    }
    // Only the order changed: a selected preset stays selected.
    const QString selected = controls.list->currentText();
    const bool wasSelected = controls.list->currentIndex() >= 0;
    FillPresetList(which);
    if (wasSelected) controls.list->setCurrentIndex(controls.list->findText(selected));
}

// ---- last settings

void TFormMixer::RestoreLastSettings() {
    const TLastEffectSettings last = ReadLastEffectSettings(Ctx().File());
    LoadDelay(last.delay);
    LoadFade(last.fade);
    LoadDistortion(last.distortion);
    LoadEqualizer(last.equalizer);
    const QSignalBlocker quiet(pages_);
    pages_->setCurrentIndex(last.page);
    shownPage_ = last.page;
}
