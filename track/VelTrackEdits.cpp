// Selection edits, the transfer target, the selection shortcuts, the position fields and the
// pop-up menu of a track.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "audio/VelTrackUtils.h"
#include "platform/TempFiles.h"
#include "track/SafeSave.h"
#include "track/VelTrack.h"

namespace {

// Clipboard messages when the store cannot be opened: refusals of Cut and Copy are errors,
// those of Insert and Paste plain lines.
constexpr const char* kCutUnavailable = "Clipboard is unavailable for cutting";
constexpr const char* kCopyUnavailable = "Clipboard is unavailable for copying";
constexpr const char* kInsertUnavailable = "ClipBoard is not available for inserting";
constexpr const char* kPasteUnavailable = "ClipBoard is not available for Pasting";

} // namespace

// ---- starters ----

bool TVelTrack::SelectionInsideData() {
    if (HasSelection && 0 <= SelStart && SelStart < SelEnd && SelEnd <= DataLength) return true;
    AddMessage(kMsgRefusal, "The selection must lie inside the data (00:00.00000 to " +
                                BytesToTimeText(DataLength, working_.format) + ")");
    return false;
}

void TVelTrack::Cut() {
    if (Ready() && SelectionInsideData()) StartJob(tsBusy, [this] { DoCut(); });
}
void TVelTrack::Copy() {
    if (Ready() && SelectionInsideData()) StartJob(tsBusy, [this] { DoCopy(); });
}
void TVelTrack::Clear() {
    if (Ready() && SelectionInsideData()) StartJob(tsBusy, [this] { DoClear(); });
}
void TVelTrack::Delete() {
    if (Ready() && SelectionInsideData()) StartJob(tsBusy, [this] { DoDelete(); });
}
void TVelTrack::Insert() {
    if (Ready()) StartJob(tsBusy, [this] { DoInsertOrPaste(false); });
}
void TVelTrack::Paste() {
    if (Ready()) StartJob(tsBusy, [this] { DoInsertOrPaste(true); });
}

void TVelTrack::ChangeTotal(const std::string& lengthText) {
    if (!Ready()) return;
    // A length from time text can fall inside a frame; a track's length is whole frames.
    const int32_t align = std::max<int32_t>(1, working_.format.nBlockAlign);
    const int32_t bytes = std::max(0, TimeTextToBytes(lengthText, working_.format));
    NewDataLength = bytes - bytes % align;
    StartJob(tsBusy, [this] { DoChangeTotal(); });
}

bool TVelTrack::ChooseTransfer(bool forSaving, const std::string& what) {
    const auto path =
        owner_.ChooseTransferFile(forSaving, "Choose file to " + what, TransferFileName);
    if (!path) {
        UseClipboard = true;
        return false;
    }
    if (owner_.IsFileOpenAsTrack(*path)) {
        if (forSaving) {
            owner_.ErrorBox("Track " + *path + " is open.  Choose a different name.");
            UseClipboard = true;
            return false;
        }
        if (!owner_.ConfirmBox("Track " + *path +
                               " is open.  Unsaved changes will not be imported.  Continue " +
                               what + " ?")) {
            UseClipboard = true;
            return false;
        }
    }
    TransferFileName = *path;
    UseClipboard = false;
    return true;
}

bool TVelTrack::CutTo() {
    if (!ChooseTransfer(true, "Cut To")) return false;
    Cut();
    return true;
}
bool TVelTrack::CopyTo() {
    if (!ChooseTransfer(true, "Copy To")) return false;
    Copy();
    return true;
}
bool TVelTrack::InsertFrom() {
    if (!ChooseTransfer(false, "Insert From")) return false;
    Insert();
    return true;
}
bool TVelTrack::PasteFrom() {
    if (!ChooseTransfer(false, "Paste From")) return false;
    Paste();
    return true;
}

// ---- the transfer file ----

// Writes `bytes` from `from`'s position into a new transfer file in the track's format: a
// memory file handed to the clipboard, or the chosen file, written beside it under another
// name and renamed into place only when complete.
bool TVelTrack::MakeTransferFile(WaveFile& from, int32_t bytes, bool toClipboard) {
    WaveFile transfer;
    transfer.format = working_.format;
    std::string name;
    if (toClipboard) {
        transfer.makeMemoryFile = true;
    } else {
        std::string error;
        name = MakeSiblingTempFile(TransferFileName, error);
        if (name.empty()) {
            AddMessage(kMsgError, "MMIOOpen. " + error);
            return false;
        }
    }
    bool ok = io_.CreateWaveFile(name, transfer) && io_.CopyWaveData(transfer, from, bytes);
    ok = io_.FinishWaveFile(transfer) && ok;
    if (toClipboard) return ok && clipboard_.SetWave(transfer.memory);
    // The hidden file was made private; the transfer file is the user's, with the usual bits.
    if (ok) ::chmod(name.c_str(), static_cast<mode_t>(SaveFileMode(TransferFileName)));
    if (ok && std::rename(name.c_str(), TransferFileName.c_str()) == 0) return true;
    if (ok) AddMessage(kMsgError, "MMIOOpen. " + TransferFileName);
    std::remove(name.c_str());
    return false;
}

// ---- worker bodies ----

void TVelTrack::DoCut() {
    const bool clip = UseClipboard;
    if (clip && !clipboard_.Open()) {
        AddMessage(kMsgError, kCutUnavailable);
        SetState(tsReady);
        owner_.SetHourglass(false);
        return;
    }
    bool ok = BeginChange(SelStart, "Cutting");
    ok = ok && MakeTransferFile(previous_, SelEnd - SelStart, clip);
    ok = ok && io_.CopyWaveData(working_, previous_, previous_.dataLength - SelEnd);
    if (ok) HasSelection = false;
    if (clip) clipboard_.Close();
    EndChange(ok, SelStart + StartOffset, -1, 0, "Cutting");
}

void TVelTrack::DoCopy() {
    const bool clip = UseClipboard;
    if (clip && !clipboard_.Open()) {
        AddMessage(kMsgError, kCopyUnavailable);
        SetState(tsReady);
        owner_.SetHourglass(false);
        return;
    }
    AddMessage(kMsgStart, "Start Copying");
    if (io_.SeekWaveData(working_, SelStart) > 0)
        MakeTransferFile(working_, SelEnd - SelStart, clip);
    io_.ReleaseWorkBuffer();
    if (clip) clipboard_.Close();
    AddMessage(kMsgDone, "End Copying");
    if (Cancelled()) AddMessage(kMsgAppend, " ... Action Cancelled");
    state_.store(tsReady);
    Cue(PlayPosition);
    owner_.SetHourglass(false);
}

void TVelTrack::DoDelete() {
    bool ok = BeginChange(SelStart, "Deleting");
    ok = ok && io_.SeekWaveData(previous_, SelEnd) > 0;
    ok = ok && io_.CopyWaveData(working_, previous_, previous_.dataLength - SelEnd);
    if (ok) HasSelection = false;
    EndChange(ok, SelStart + StartOffset, -1, 0, "Deleting");
}

void TVelTrack::DoClear() {
    bool ok = BeginChange(SelStart, "Clearing");
    for (int32_t left = SelEnd - SelStart; ok && left > 0;) {
        if (Cancelled()) {
            ok = false;
            break;
        }
        const int32_t n = std::min(left, kBlockBytes);
        ok = io_.ReadWaveData(previous_, n);
        if (!ok) break;
        io_.FillSilence(io_.Buffer().data, n);
        ok = io_.WriteWaveData(working_, io_.Buffer().data, n);
        left -= n;
    }
    ok = ok && io_.CopyWaveData(working_, previous_, previous_.dataLength - SelEnd);
    EndChange(ok, SelStart + StartOffset, SelEnd, SelStart, "Clearing");
}

void TVelTrack::DoInsertOrPaste(bool paste) {
    const std::string name = paste ? "Pasting" : "Inserting";
    const bool clip = UseClipboard;
    WaveFile source;
    if (clip) {
        if (!clipboard_.Open()) {
            AddMessage(kMsgStatus, paste ? kPasteUnavailable : kInsertUnavailable);
            SetState(tsReady);
            owner_.SetHourglass(false);
            return;
        }
        source.memory = clipboard_.GetWave();
        if (!source.memory) {
            clipboard_.Close();
            AddMessage(kMsgStatus, paste ? kPasteUnavailable : kInsertUnavailable);
            SetState(tsReady);
            owner_.SetHourglass(false);
            return;
        }
    }
    // A play position before the data inserts at its start, one after it at its end.
    const int32_t p = std::clamp(PlayInData(), 0, DataLength);
    bool ok = BeginChange(p, name);
    ok = ok && io_.OpenWaveFile(clip ? std::string() : TransferFileName, source);
    int32_t inserted = 0;
    if (ok) {
        if (SameFormat(source.format, working_.format))
            ok = io_.CopyWaveData(working_, source, source.dataLength);
        else
            ok = ConvertFile(working_, source);
        // The bytes actually written, so the selection and a paste's overwrite cover exactly
        // the new stretch, whatever rounding a conversion made.
        inserted = WrittenDataBytes() - p;
    }
    io_.FinishWaveFile(source);
    const int32_t d = previous_.dataLength;
    if (ok && !paste) {
        ok = io_.CopyWaveData(working_, previous_, d - p);
    } else if (ok && d - p - inserted > 0) {
        ok = io_.SeekWaveData(previous_, p + inserted) > 0 &&
             io_.CopyWaveData(working_, previous_, d - p - inserted);
    }
    if (ok) {
        HasSelection = true;
        SelStart = p;
        SelEnd = p + inserted;
    }
    if (clip) clipboard_.Close();
    if (paste)
        EndChange(ok, PlayPosition, SelEnd, SelStart, name);
    else
        EndChange(ok, PlayPosition, -1, 0, name);
}

void TVelTrack::DoChangeTotal() {
    const int32_t d = DataLength;
    bool ok = BeginChange(std::min(NewDataLength, d), "Change Total");
    if (ok && NewDataLength > d) ok = WriteSilence(NewDataLength - d);
    EndChange(ok, PlayPosition, -1, 0, "Change Total");
}

// ---- selection shortcuts and fields ----

void TVelTrack::SelectAll() {
    SelStart = 0;
    SelEnd = DataLength;
    SetHasSelection(true);
    view_.RedrawMarkers();
}

void TVelTrack::SelectLeft() {
    SelStart = 0;
    SelEnd = std::clamp(PlayInData(), 0, DataLength);
    SetHasSelection(true);
    view_.RedrawMarkers();
}

void TVelTrack::SelectRight() {
    SelStart = std::clamp(PlayInData(), 0, DataLength);
    SelEnd = DataLength;
    SetHasSelection(true);
    view_.RedrawMarkers();
}

bool TVelTrack::LeaveStartField(const std::string& timeText) {
    const int32_t a = TimeTextToBytes(timeText, working_.format) - StartOffset;
    bool accepted = a < SelEnd;
    if (accepted)
        SelStart = a;
    else
        AddMessage(kMsgRefusal, "Start position must be less than " +
                                    BytesToTimeText(SelEnd + StartOffset, working_.format));
    view_.RedrawMarkers();
    return accepted;
}

bool TVelTrack::LeaveEndField(const std::string& timeText) {
    const int32_t a = TimeTextToBytes(timeText, working_.format) - StartOffset;
    bool accepted = SelStart < a;
    if (accepted)
        SelEnd = a;
    else
        AddMessage(kMsgRefusal, "End position must be greater than " +
                                    BytesToTimeText(SelStart + StartOffset, working_.format));
    view_.RedrawMarkers();
    return accepted;
}

void TVelTrack::LeavePlayField(const std::string& timeText) {
    const int32_t position = TimeTextToBytes(timeText, working_.format);
    if (position != PlayPosition) Cue(position);
    view_.RedrawMarkers();
}

// ---- pop-up menu ----

bool TVelTrack::FastRefreshAllowed() const {
    const TTrackState state = TrackState();
    return (state == tsReady || state == tsEmpty) && !InWork();
}

// User-interface thread, in any state: the document's names are read under their lock, since a
// worker's change may be appending to them right now.
std::vector<TMenuItem> TVelTrack::PopupMenu() {
    const bool ready = Ready();
    const uint8_t effect = EffectState.load();
    const bool noDialog = effect == esNoDialog;
    const bool sel = HasSelection;
    const bool wave = clipboard_.HoldsWave();
    std::string undoCaption;
    bool haveUserFile = false;
    bool threeStates = false;
    bool haveFile = false;
    {
        std::lock_guard lock(namesMutex_);
        undoCaption = UndoCaptionLocked();
        haveUserFile = !UserFileName.empty();
        threeStates = UndoNames.size() >= 3;
        haveFile = !FileName.empty();
    }
    return {
        {undoCaption, haveUserFile && ready && (noDialog || effect == esApplied), {}},
        {"Undo All", ready && threeStates && noDialog, {}},
        {"-", true, {}},
        {"Cut", sel && ready && noDialog, {}},
        {"Copy", sel && ready, {}},
        {"Clear", sel && ready && noDialog, {}},
        {"Delete", sel && ready && noDialog, {}},
        {"Insert", wave && ready && noDialog, {}},
        {"Paste", wave && ready && noDialog, {}},
        {"File",
         ready,
         {{"Cut To...", sel && noDialog, {}},
          {"Copy To...", sel, {}},
          {"Insert From...", ready && noDialog, {}},
          {"Paste From...", ready && noDialog, {}}}},
        {"-", true, {}},
        {"Select All", ready, {}},
        {"Select Left", ready, {}},
        {"Select Right", ready, {}},
        {"-", true, {}},
        {"Refresh", haveFile && ready, {}},
        // Reopening the working file under a running job would pull the file from under it.
        {"Fast Refresh", FastRefreshAllowed(), {}},
    };
}

void TVelTrack::ChooseMenuItem(const std::string& caption) {
    // Only what the menu offers right now may run.
    const auto enabled = [&](const std::vector<TMenuItem>& items, auto& self) -> bool {
        for (const TMenuItem& item : items) {
            if (item.caption == caption) return item.enabled;
            if (!item.items.empty() && item.enabled && self(item.items, self)) return true;
        }
        return false;
    };
    if (!enabled(PopupMenu(), enabled)) return;
    if (caption.rfind("Undo", 0) == 0 && caption != "Undo All") return Undo();
    if (caption == "Undo All") return UndoAll();
    if (caption == "Cut") return Cut();
    if (caption == "Copy") return Copy();
    if (caption == "Clear") return Clear();
    if (caption == "Delete") return Delete();
    if (caption == "Insert") return Insert();
    if (caption == "Paste") return Paste();
    if (caption == "Cut To...") CutTo();
    if (caption == "Copy To...") CopyTo();
    if (caption == "Insert From...") InsertFrom();
    if (caption == "Paste From...") PasteFrom();
    if (caption == "Select All") return SelectAll();
    if (caption == "Select Left") return SelectLeft();
    if (caption == "Select Right") return SelectRight();
    if (caption == "Refresh") return Refresh();
    if (caption == "Fast Refresh" && FastRefreshAllowed()) return Reopen();
}
