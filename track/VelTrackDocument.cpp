// The track document: texts, state, loading, the change frame, the undo store, save, destroy.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "audio/VelTrackUtils.h"
#include "platform/FileReaper.h"
#include "platform/TempFiles.h"
#include "track/CombineState.h"
#include "track/PlaybackState.h"
#include "track/RecordingState.h"
#include "track/SafeSave.h"
#include "track/VelTrack.h"
#include "track/WavePicture.h"

namespace {

std::string FilePart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void RemoveQuietly(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

// Two names for one file: the same text, or the same inode. Letter case alone does not make
// two names one file on Linux, so it is not compared.
bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

TVelTrack::TVelTrack(TTrackOwner& owner, TMessageSink& messages, TTrackView& view,
                     TClipboardStore& clipboard, TVELCriticalSection* fileLock)
    : owner_(owner), messages_(messages), view_(view), clipboard_(clipboard), io_(*this, fileLock) {
}

TVelTrack::~TVelTrack() {
    CancelWorkerAndWait();
    if (recording_) CloseRecordingDevice();
    ReleasePlayback();
    io_.ReleaseWorkBuffer();
    if (working_.handle) working_.handle->Close();
    if (previous_.handle) previous_.handle->Close();
    for (std::size_t i = 1; i < UndoFiles.size(); ++i)
        DeleteStateFiles(UndoFiles[i]);
    if (IsTemporaryFile(UserFileName)) DeleteStateFiles(UserFileName);
    if (IsTemporaryFile(FileName)) DeleteStateFiles(FileName);
    // After the states: a kill in between leaves a record whose states are gone, which the
    // next start drops; the other order could leave states no record names.
    RemoveRecoveryRecordFile();
}

void TVelTrack::AddMessage(uint8_t kind, const std::string& text) {
    messages_.AddMessage(kind, text);
}

void TVelTrack::DeleteStateFiles(const std::string& path) {
    if (path.empty()) return;
    // The names go now; a state's data (about 100 MB for ten minutes) is freed on the reaper's
    // thread, since unlinking it here held an undo or a closing window for tens of ms.
    RemoveFileSoon(path);
    RemoveFileSoon(PictureFileName(path));
}

std::string TVelTrack::NewTempName() {
    std::string error;
    std::string name = MakeTempFileName(error);
    if (name.empty()) AddMessage(kMsgError, error);
    return name;
}

// ---- texts and state ----

std::string TVelTrack::WaveFileName() const {
    std::lock_guard lock(namesMutex_);
    const std::string& name = UserFileName.empty() ? FileName : UserFileName;
    return IsTemporaryFile(name) ? std::string() : name;
}

std::string TVelTrack::ShortFileName() const {
    std::lock_guard lock(namesMutex_);
    return FilePart(UserFileName.empty() ? FileName : UserFileName);
}

bool TVelTrack::Modified() const {
    std::lock_guard lock(namesMutex_);
    return !UserFileName.empty() || IsTemporaryFile(FileName);
}

std::string TVelTrack::TrackDescription() const {
    if (TrackState() == tsEmpty) return ShortFileName() + ".  Track is Empty.";
    return ShortFileName() + " (" + FormatDescription(working_.format) +
           ").  Total Time : " + BytesToTimeText(DataLength, working_.format);
}

void TVelTrack::SetState(TTrackState state) {
    state_.store(state);
    owner_.TrackStateChanged(*this);
}

void TVelTrack::SetHasSelection(bool on) {
    if (!on) {
        SelStart = 0;
        SelEnd = 0;
        HasSelection = false;
        return;
    }
    if (!HasSelection) {
        HasSelection = true;
        owner_.TrackStateChanged(*this);
    }
}

std::string TVelTrack::PositionText(int32_t position) const {
    return PositionToText(position, working_.format);
}

int32_t TVelTrack::TextPosition(const std::string& text) const {
    return TextToPosition(text, working_.format);
}

void TVelTrack::SetStartOffsetText(const std::string& text) {
    StartOffsetText = text;
    const int32_t offset = TextPosition(text);
    PlayPosition += offset - StartOffset;
    StartOffset = offset;
    recordedOffset_ = offset;
    RewriteRecoveryOffset();
    view_.RedrawMarkers();
}

// ---- worker plumbing ----

bool TVelTrack::StartJob(TTrackState busyState, std::function<void()> body) {
    SetState(busyState);
    if (!worker_.Start(std::move(body))) {
        SetState(tsReady);
        return false;
    }
    owner_.SetHourglass(true);
    return true;
}

void TVelTrack::WaitForWorker() {
    worker_.WaitForJob();
}

void TVelTrack::CancelWorkerAndWait() {
    WaitForOwnWorker(true);
}

void TVelTrack::StopAndWait() {
    Stop();
    WaitForOwnWorker(false);
}

void TVelTrack::WaitForOwnWorker(bool cancel) {
    if (!worker_.InWork()) {
        worker_.WaitForJob(); // a job past its work only needs reaping
        return;
    }
    owner_.BeforeWaitingForWorker(*this);
    if (cancel) {
        worker_.Cancel();
        semaphore_.Release(); // a waiting feeder or take wakes up and sees the request
    }
    worker_.WaitForJob();
    owner_.AfterWaitingForWorker(*this);
}

bool TVelTrack::OpenWorkingFile() {
    if (!io_.OpenWaveFile(FileName, working_)) return false;
    BuildChunkTable(working_.dataLength);
    return true;
}

// ---- new track and loading ----

void TVelTrack::NewTrack(const WAVEFORMATEX& format, const std::string& lengthText) {
    working_ = WaveFile{};
    working_.format = format;
    working_.durable = false;
    {
        std::string error;
        // The recovery record names each candidate first, so that a kill leaves no unnamed file.
        std::string name = MakeTempFileName(error, [this](const std::string& candidate) {
            if (!recoveryOn_) return;
            {
                std::lock_guard lock(namesMutex_);
                FileName = candidate;
            }
            UpdateRecoveryRecord();
        });
        if (name.empty()) AddMessage(kMsgError, error);
        {
            std::lock_guard lock(namesMutex_);
            FileName = std::move(name);
        }
        if (recoveryOn_) UpdateRecoveryRecord();
    }
    if (FileName.empty()) return;
    const int32_t length = std::max(0, TimeTextToBytes(lengthText, format));
    bool ok = io_.CreateWaveFile(FileName, working_) && WriteSilence(length);
    io_.ReleaseWorkBuffer();
    if (io_.FinishWaveFile(working_) && ok) {
        PlayPosition = 0;
        view_.SaveEmptyPicture(PictureFileName(FileName));
    }
}

bool TVelTrack::WriteSilence(int32_t bytes) {
    if (bytes <= 0) return true;
    const int32_t first = std::min(bytes, kBlockBytes);
    if (!io_.AllocWorkBuffer(first)) return false;
    uint8_t* block = io_.Buffer().data;
    io_.FillSilence(block, first);
    for (int32_t left = bytes; left > 0;) {
        if (Cancelled()) return false;
        const int32_t n = std::min(left, kBlockBytes);
        if (!io_.WriteWaveData(working_, block, n)) return false;
        left -= n;
    }
    return true;
}

void TVelTrack::Reopen() {
    if (!OpenWorkingFile()) {
        SetState(tsEmpty);
        return;
    }
    StartJob(tsLoading, [this] { Load(0, DataLength); });
}

void TVelTrack::Refresh() {
    if (FileName.empty() || !Ready()) return;
    RemoveQuietly(PictureFileName(FileName));
    Reopen();
}

void TVelTrack::Load(int32_t from, int32_t to) {
    AddMessage(kMsgStart, "Reading " + ShortFileName());
    const bool wholePicture = PaintWave(*this, view_, from, to);
    view_.RedrawMarkers();
    AddMessage(kMsgDone, "");
    Cue(PlayPosition);
    if (!Cancelled()) AddMessage(kMsgStatus, TrackDescription());
    ApplyPanAndVolume();
    SetState(tsReady);
    // A part-drawn picture saved now would later pass for an up-to-date one.
    if (wholePicture && !Cancelled()) view_.SavePicture(PictureFileName(FileName));
    owner_.SetHourglass(false);
}

// ---- the change frame ----

bool TVelTrack::BeginChange(int32_t prefixBytes, const std::string& changeName,
                            const std::optional<WAVEFORMATEX>& newFormat) {
    const auto entries = static_cast<int64_t>(UndoFiles.size());
    if (UndoWarningArmed &&
        (entries > 10 || (entries > 5 && (entries - 1) * DataLength > 104857600))) {
        owner_.ShowUndoWarning("You have made " + std::to_string(entries - 1) +
                               " changes.  There are " +
                               std::to_string((entries - 1) * DataLength / 1048576) +
                               " Mb of Undo Files.  You should save this track soon.");
        UndoWarningArmed = false;
    }
    AddMessage(kMsgStart, "Start " + changeName);
    // The states an undo or a closed track gave up are freed before this one is written, so
    // that a nearly full temporary folder has their room back. Only on the worker: the wait is
    // for the file system, and Record frames its take on the user-interface thread.
    if (worker_.OnWorkerThread()) FlushRemovedFiles();
    storeWasEmpty_ = UndoFiles.empty();
    const std::string state = NewStateName(changeName, takeStartOfChange_);
    {
        std::lock_guard lock(namesMutex_);
        if (UndoFiles.empty()) {
            UndoFiles.push_back(FileName);
            UndoNames.push_back("Original");
        }
        UserFileName = UndoFiles[0];
        UndoFiles.push_back(state);
        UndoNames.push_back(changeName);
        FileName = state;
    }

    io_.FinishWaveFile(working_);
    working_ = WaveFile{};
    previous_ = WaveFile{};
    if (state.empty()) return false;
    if (!io_.OpenWaveFile(UndoFiles[UndoFiles.size() - 2], previous_)) return false;
    working_.format = newFormat ? *newFormat : previous_.format;
    working_.durable = false;
    return io_.CreateWaveFile(FileName, working_) &&
           io_.CopyWaveData(working_, previous_, prefixBytes);
}

bool TVelTrack::EndChange(bool success, int32_t playPosition, int32_t redrawEnd,
                          int32_t redrawStart, const std::string& changeName) {
    AddMessage(kMsgDone, changeName);
    const bool previousClosed = io_.FinishWaveFile(previous_);
    const bool workingClosed = io_.FinishWaveFile(working_);
    io_.ReleaseWorkBuffer();
    bool ok = success && previousClosed && workingClosed;
    if (Cancelled()) {
        AddMessage(kMsgAppend, " ... Action Cancelled");
        ok = false;
    }
    // An effect's run learns its outcome here, before the track is announced again, so that
    // the dialog never offers to undo an effect that was not kept: that undo would drop the
    // user's previous change instead. Only from 3: a dialog closed during the run left 0, and
    // a track at 1 or 2 with no dialog would keep its edits disabled for good.
    uint8_t running = esRunning;
    EffectState.compare_exchange_strong(running, ok ? esApplied : esReady);
    if (!ok) DeleteStateFiles(UndoFiles.back());
    {
        std::lock_guard lock(namesMutex_);
        if (!ok) {
            UndoFiles.pop_back();
            UndoNames.pop_back();
            // A failed first change leaves the store as it found it: empty.
            if (storeWasEmpty_ && UndoFiles.size() == 1) {
                UndoFiles.clear();
                UndoNames.clear();
                FileName = UserFileName;
            }
        }
        if (!UndoFiles.empty()) FileName = UndoFiles.back();
        if (FileName == UserFileName) UserFileName.clear();
    }
    UpdateRecoveryRecord();
    state_.store(tsReady);
    OpenWorkingFile();
    if (ok) Load(redrawStart, redrawEnd);
    Cue(playPosition);
    owner_.SetHourglass(false);
    return ok;
}

// ---- undo ----

std::string TVelTrack::UndoCaption() const {
    std::lock_guard lock(namesMutex_);
    return UndoCaptionLocked();
}

std::string TVelTrack::UndoCaptionLocked() const {
    if (UndoNames.size() < 2) return "Undo";
    return "Undo - " + UndoNames.back() + " (" + std::to_string(UndoNames.size() - 1) + ")";
}

bool TVelTrack::UndoTo(int index) {
    // The effects dialog's Undo sets EffectState to 3 first. Refused, its effect is still
    // applied: back to 2 and announced, so that the dialog offers Undo and Cancel again instead
    // of only OK. A dialog closed meanwhile (0) stays closed.
    const auto refuse = [this] {
        uint8_t running = esRunning;
        EffectState.compare_exchange_strong(running, esApplied);
        owner_.TrackStateChanged(*this);
        return false;
    };
    // A job that has announced Ready may still be cueing and saving the picture of the state
    // that would be deleted here.
    if (!Ready() || InWork()) return refuse();
    if (!io_.FinishWaveFile(working_)) return refuse();
    index = std::max(index, 1); // the user's file at index 0 is never deleted
    std::vector<std::string> dropped;
    {
        std::lock_guard lock(namesMutex_);
        while (static_cast<int>(UndoFiles.size()) > index) {
            dropped.push_back(UndoFiles.back());
            UndoFiles.pop_back();
            UndoNames.pop_back();
        }
        if (!UndoFiles.empty()) FileName = UndoFiles.back();
        if (FileName == UserFileName) UserFileName.clear();
    }
    // The record names the kept states before the dropped ones go.
    UpdateRecoveryRecord();
    for (const std::string& state : dropped)
        DeleteStateFiles(state);
    // The dialog's undo keeps the selection, so that another effect can go onto the same
    // stretch; only an open dialog's state moves back to 1.
    uint8_t effect = EffectState.load();
    const bool dialogUndo = (effect == esApplied || effect == esRunning) &&
                            EffectState.compare_exchange_strong(effect, esReady);
    if (!dialogUndo && HasSelection) SetHasSelection(false);
    Reopen();
    return true;
}

void TVelTrack::Undo() {
    UndoTo(static_cast<int>(UndoFiles.size()) - 1);
}

void TVelTrack::UndoAll() {
    UndoTo(1);
    UndoWarningArmed = true;
}

// ---- save ----

bool TVelTrack::SaveTrackAs(const std::string& targetIn) {
    if (!io_.FinishWaveFile(working_)) return false;
    const std::string target = targetIn.empty() ? UserFileName : targetIn;
    if (target.empty() || SameFile(FileName, target)) {
        AddMessage(kMsgRefusal, "Files are the same.  Nothing to do");
        OpenWorkingFile();
        return false;
    }
    std::string error;
    if (!SaveFileOver(FileName, target, IsTemporaryFile(FileName), error)) {
        AddMessage(kMsgError, error);
        OpenWorkingFile(); // the lists are unchanged; go on working on the same state
        return false;
    }
    // The picture is a cache: a failure to carry it over only costs a redraw.
    const std::string picture = PictureFileName(FileName);
    std::string ignored;
    if (IsTemporaryFile(FileName)) {
        if (std::rename(picture.c_str(), PictureFileName(target).c_str()) != 0)
            CopyFileContents(picture, PictureFileName(target), ignored);
    } else {
        CopyFileContents(picture, PictureFileName(target), ignored);
    }
    for (const std::string& state : UndoFiles)
        if (IsTemporaryFile(state)) DeleteStateFiles(state);
    if (IsTemporaryFile(FileName)) DeleteStateFiles(FileName);
    {
        std::lock_guard lock(namesMutex_);
        UndoFiles.clear();
        UndoNames.clear();
        FileName = target;
        UserFileName.clear();
    }
    UpdateRecoveryRecord(); // nothing is unsaved now: the record goes
    if (OpenWorkingFile()) Cue(PlayPosition);
    UndoWarningArmed = true;
    AddMessage(kMsgStatus, TrackDescription());
    return true;
}
