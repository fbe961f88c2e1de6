#include "track/TrackWindowRules.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "audio/VelTrackUtils.h"

std::string TrackIconName(TTrackIcon icon) {
    switch (icon) {
    case TTrackIcon::MWave:
        return "MWAVE";
    case TTrackIcon::GWave:
        return "GWAVE";
    case TTrackIcon::RWave:
        return "RWAVE";
    case TTrackIcon::Keep:
        break;
    }
    return {};
}

TTrackWindowControls TrackWindowControls(const TTrackWindowFacts& facts) {
    // Everything starts disabled but OK and Cancel; each state then opens what it allows.
    TTrackWindowControls c;
    c.ok = facts.state != tsEmpty;
    c.cancel = true;
    switch (facts.state) {
    case tsCombineSource:
        c.ok = false;
        c.cancel = false;
        break;
    case tsLoading:
    case tsBusy:
        c.ok = false;
        c.cancel = false;
        c.stop = true;
        c.icon = TTrackIcon::MWave;
        break;
    case tsPlaying:
    case tsRecording:
        c.ok = false;
        c.cancel = false;
        c.stop = true;
        c.icon = TTrackIcon::GWave;
        break;
    case tsReady: {
        c.propertiesBusyPointer = false;
        // An open effects dialog works on the data as it is: no new format, file or length.
        const bool noDialog = !facts.effectsDialogOpen;
        c.waveBtn = noDialog;
        c.saveAs = noDialog;
        c.length = noDialog;
        c.startsAt = noDialog;
        c.play = true;
        c.record = facts.hasSelection;
        c.effects = facts.hasSelection && noDialog;
        const int64_t end = int64_t{facts.startOffset} + facts.dataLength;
        c.forward = facts.playPosition < end;
        c.rewind = facts.playPosition > facts.startOffset;
        c.mute = true;
        c.save = facts.modified;
        c.icon = facts.muted ? TTrackIcon::MWave : TTrackIcon::RWave;
        break;
    }
    case tsEmpty:
        c.icon = TTrackIcon::MWave;
        break;
    case tsClosing:
    case tsStopping:
        break;
    }
    c.closeCommand = facts.state == tsReady;
    return c;
}

TMuteLook MuteLook(bool muted) {
    TMuteLook look;
    look.secondPicture = muted;
    look.caption = muted ? "UnMute" : "Mute";
    look.icon = muted ? TTrackIcon::MWave : TTrackIcon::RWave;
    return look;
}

std::optional<TMuteLook> MuteChange(bool current, bool wanted) {
    if (current == wanted) return std::nullopt;
    return MuteLook(wanted);
}

TKeypadCommand KeypadCommand(TKeypadKey key) {
    switch (key) {
    case TKeypadKey::Four:
        return {TKeypadTarget::WindowRewind, "Rewind button not enabled"};
    case TKeypadKey::Six:
        return {TKeypadTarget::StudioPlayAll, "Play button not enabled"};
    case TKeypadKey::Zero:
        return {TKeypadTarget::StudioStopAll, "Stop button not enabled"};
    case TKeypadKey::Plus:
        break;
    }
    return {TKeypadTarget::StudioRecord, "Record button not enabled"};
}

namespace {

constexpr int64_t kBytesPerMiB = 1048576;

std::string WithThousandsSeparators(uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

} // namespace

std::string FileSizeLabel(int64_t bytes) {
    // Hundredths of a MiB in integers, so that a half rounds the same on every machine.
    const bool negative = bytes < 0;
    const uint64_t magnitude =
        negative ? 0 - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
    const uint64_t hundredths = (magnitude * 100 + kBytesPerMiB / 2) / kBytesPerMiB;
    const uint64_t fraction = hundredths % 100;
    std::string text = negative && hundredths != 0 ? "-" : "";
    text += WithThousandsSeparators(hundredths / 100);
    text += fraction < 10 ? ".0" : ".";
    text += std::to_string(fraction);
    return "File Size is " + text + " M";
}

std::string LengthTextSizeLabel(const std::string& lengthText, const WAVEFORMATEX& format) {
    return FileSizeLabel(TimeTextToBytes(BlanksToZeros(lengthText), format));
}

TTrackProperties TrackProperties(const std::string& caption, const WAVEFORMATEX& format,
                                 int32_t dataLength) {
    return {caption, FormatDescription(format), BytesToTimeText(dataLength, format),
            FileSizeLabel(dataLength)};
}

std::string BlanksToZeros(std::string text) {
    std::replace(text.begin(), text.end(), ' ', '0');
    return text;
}

TLengthChange LengthChange(const std::string& typedText, const std::string& currentText,
                           const std::string& shortName) {
    TLengthChange change;
    change.newText = BlanksToZeros(typedText);
    const int order = change.newText.compare(currentText);
    if (order == 0) return change;
    const std::string span = shortName + " from " + currentText + " to " + change.newText;
    if (order < 0) {
        change.kind = TLengthChangeKind::Truncate;
        change.question = "Truncate Track : " + span + " (Data will be lost).";
    } else {
        change.kind = TLengthChangeKind::Extend;
        change.question = "Extend Track : " + span + " (New data will be silent).";
    }
    return change;
}

bool CloseQuery(const TCloseQueryFacts& facts, TCloseQueryHost& host) {
    if (facts.caption == kClosingCaption || facts.state == tsEmpty) return true;
    if (!facts.songClosing && !host.ConfirmOkCancel("Remove Track: " + facts.shortName +
                                                    " From Song: " + facts.mainCaption + " ?"))
        return false;
    if (!facts.modified) return true;
    switch (host.AskYesNoCancel("Save changes to Track: " + facts.shortName + " ?")) {
    case TYesNoCancel::Yes:
        return host.SaveTrack();
    case TYesNoCancel::No:
        return true;
    case TYesNoCancel::Cancel:
        break;
    }
    return false;
}

bool SaveNeedsSaveAs(const std::string& shortName) {
    // File names compare without regard to case, as on the system that made the names.
    std::string extension = std::filesystem::path(shortName).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension == ".TMP";
}

TSaveAsStart SaveAsStart(const std::string& trackFilePath, const std::string& windowCaption,
                         const std::string& songFolder) {
    const std::filesystem::path file(trackFilePath);
    const std::string shortName = file.filename().string();
    if (SaveNeedsSaveAs(shortName)) return {songFolder, windowCaption};
    return {file.parent_path().string(), shortName};
}

std::string EffectsCaption(const std::string& windowCaption) {
    return "Add Effects to " + windowCaption;
}

std::optional<TDialogPos> EffectsDialogPlace(const TEffectsPlacementFacts& facts) {
    // Under a maximised child, or where the window fills the free height, there is no room
    // below it: the dialog stays where the user put it.
    if (facts.anyChildMaximised) return std::nullopt;
    const int freeHeight = facts.clientHeight - facts.messagePanelHeight - facts.buttonPanelHeight;
    if (freeHeight < facts.trackWindow.height) return std::nullopt;
    return TDialogPos{facts.trackWindow.left, facts.trackWindow.top + facts.trackWindow.height};
}

bool TTrackActivation::Activate() {
    if (!activatedOnce_) {
        activatedOnce_ = true;
        return false;
    }
    return true;
}
