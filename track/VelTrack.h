// The track component: one wave file plus the state of its editing. Owns its working file,
// the previous state while a change runs, the disk-backed undo store, its working buffer and
// its worker thread; reaches the outside through TTrackOwner, TTrackView, TClipboardStore and
// a message sink.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/PcmConverter.h"
#include "audio/WaveFile.h"
#include "audio/WaveFormat.h"
#include "track/RecoveryRecord.h"
#include "track/TrackInterfaces.h"
#include "ui/core/LevelMeter.h"
#include "ui/core/MessageSink.h"
#include "ui/core/VelCriticalSection.h"
#include "ui/core/VelSemaphore.h"
#include "ui/core/VelThread.h"

class TSoundOutputDevice;
struct TPlaybackState;
struct TCombineState;
struct TRecordingState;

// One entry of the track's pop-up menu as the view renders it.
struct TMenuItem {
    std::string caption; // "-" for a separator
    bool enabled = true;
    std::vector<TMenuItem> items; // submenu
};

// A track's volume (-100..100) and the gain it gives the samples (1 at volume 0). Aligned as
// one 64-bit word, so that its atomic is lock-free with every compiler (no libatomic call).
struct alignas(8) TVolumeSetting {
    int32_t volume = 0;
    float gain = 1.0f;
};

class TVelTrack : private TWaveIOHost {
  public:
    static constexpr int32_t kBlockBytes = 524288;

    TVelTrack(TTrackOwner& owner, TMessageSink& messages, TTrackView& view,
              TClipboardStore& clipboard, TVELCriticalSection* fileLock);
    ~TVelTrack() override;
    TVelTrack(const TVelTrack&) = delete;
    TVelTrack& operator=(const TVelTrack&) = delete;

    // ---- document ----
    // FileName, UserFileName, UndoFiles and UndoNames change on the worker during a change
    // (BeginChange, EndChange) and on the user-interface thread while no job runs; every such
    // change holds namesMutex_. From any other thread, read them only through the accessors that
    // take it: WaveFileName, ShortFileName, Modified, UndoCaption, PopupMenu.
    std::string FileName;     // the working file: the current state
    std::string UserFileName; // the user's file while the working file is a state made since
    int32_t DataLength = 0;
    int32_t StartOffset = 0;
    std::string StartOffsetText = "00:00.00000";
    std::atomic<int32_t> PlayPosition{0};
    int32_t SelStart = 0;
    int32_t SelEnd = 0;
    std::atomic<bool> HasSelection{false}; // the worker clears it while the menu reads it
    std::vector<std::string> UndoFiles;
    std::vector<std::string> UndoNames;
    bool UndoWarningArmed = true;
    bool UseClipboard = true;
    std::string TransferFileName;
    int32_t NewDataLength = 0;
    std::atomic<uint8_t> EffectState{esNoDialog};

    TTrackState TrackState() const { return static_cast<TTrackState>(state_.load()); }
    const WAVEFORMATEX& Format() const { return working_.format; }
    std::string WaveFileName() const;
    std::string ShortFileName() const;
    bool Modified() const;
    std::string TrackDescription() const;
    void SetState(TTrackState state);
    void SetHasSelection(bool on);
    void SetStartOffsetText(const std::string& text);

    // The working format's converters with the "-1" no-position convention.
    std::string PositionText(int32_t position) const;
    int32_t TextPosition(const std::string& text) const;

    // ---- lifecycle (user-interface thread) ----
    void NewTrack(const WAVEFORMATEX& format, const std::string& lengthText);
    // Opens FileName and reads it on the worker; Empty when it cannot be opened.
    void Reopen();
    // Drops the undo states above `index` and reloads. Refused (false, announced) unless the
    // track is Ready with its worker between jobs; a refusal moves EffectState from 3 (the
    // dialog's Undo) back to 2, an accepted undo moves 2 or 3 to 1.
    bool UndoTo(int index);
    void Undo();
    void UndoAll();
    std::string UndoCaption() const;
    bool SaveTrackAs(const std::string& target);

    // ---- selection edits (user-interface thread starters) ----
    void Cut();
    void Copy();
    void Clear();
    void Delete();
    void Insert();
    void Paste();
    void ChangeTotal(const std::string& lengthText);
    // The "File" submenu: a file dialog, then the command. False when the dialog refused.
    bool CutTo();
    bool CopyTo();
    bool InsertFrom();
    bool PasteFrom();
    void SelectAll();
    void SelectLeft();
    void SelectRight();
    // Position fields left by the user; false (and a message) when the entry is refused.
    bool LeaveStartField(const std::string& timeText);
    bool LeaveEndField(const std::string& timeText);
    void LeavePlayField(const std::string& timeText);
    std::vector<TMenuItem> PopupMenu();
    void ChooseMenuItem(const std::string& caption);
    // "Refresh": the cached picture goes, then the track is read again.
    void Refresh();

    // ---- format conversion ----
    void ConvertFormat(); // starter; the chooser runs through the owner
    bool OpenConversion(WaveFile& destination, WaveFile& source, int32_t destinationBlock);
    bool ConvertStretch(int32_t offset, int32_t length, bool write, int32_t sourceBytes);
    bool CloseConversion();
    bool ConvertFile(WaveFile& destination, WaveFile& source);
    // The destination block of the open conversion (the combine's per-source block).
    uint8_t* ConversionBuffer() { return convBuffer_.get(); }

    // ---- effects (user-interface thread starters; the dialog sets EffectState to 3 first) ----
    // Each answers whether the job started. A refusal (the track not Ready, the selection
    // outside the data, the worker still in a job) sets EffectState from 3 back to 1 and
    // announces the track, so that an open dialog refreshes. Every end of a run moves
    // EffectState only from 3: a dialog closed during the run (0) stays closed.
    bool StartDistortion(int32_t upperThreshold, int32_t lowerThreshold, int32_t clamp, int32_t dry,
                         int32_t wet);
    bool StartFade(int32_t left, int32_t right);
    bool StartEqualizer(int32_t dry, const std::array<int32_t, 10>& bandPercents);
    // Delays in 1/10000 s, feedback, dry and wet in percent, frequency in 1/10 Hz.
    bool StartDelay(int32_t totalDelay, int32_t feedback, int32_t dry, int32_t wet, int32_t type,
                    int32_t modFrequency, int32_t modulatedDelay);

    // ---- playback (chunk ring of eight half-second chunks, fed by the worker) ----
    // The Studio's sound-output device (shared; may be null: nothing can play) and the output
    // format recording switches the device to and back from.
    void SetSoundDevice(TSoundOutputDevice* device, const WAVEFORMATEX& outputFormat);
    // User-interface thread, while the track does not play: gives up its sound buffer before
    // the device it came from goes (the next Play makes one on the device set then).
    void ReleaseSoundBuffer();
    void BuildChunkTable(int32_t dataLength);
    void Cue(int32_t position);
    void ApplyPanAndVolume();
    void SetPanValue(int32_t pan);       // -100..100
    void SetVolumeValue(int32_t volume); // -100..100
    void SetDampen(bool on);
    // Any thread: the user-interface thread sets them while the feeder and a combine read.
    int32_t Pan() const { return pan_; }
    int32_t Volume() const { return volumeAndGain_.load().volume; }
    float Gain() const { return volumeAndGain_.load().gain; }
    // The volume and its gain read together, never one old and one new.
    TVolumeSetting VolumeSetting() const { return volumeAndGain_.load(); }
    bool Dampen() const { return dampen_; }
    bool StartBuffer();
    void StartFeeder();
    void Play();
    // Stops play or recording; answers the position (time text) the track will be cued at.
    std::string StopAt(const std::string& positionText);
    void Stop();
    // The Studio's clock, every 100 ms, for a Playing track.
    void UpdatePlayPosition();
    int32_t NextBoundary();
    int32_t PreviousBoundary();
    bool SetOutputFormat(const WAVEFORMATEX& format, uint32_t sampleRate);
    // The chunk ring, or null before the first chunk table (tests and views read it).
    const TPlaybackState* Playback() const { return playback_.get(); }
    // The track's level meter: while it plays, the peaks of what it sends to the output (after
    // its volume) as the play cursor passes them; while it records, the peaks of what its input
    // hears. The window takes them on the clock (any thread may take).
    TLevelMeter& LevelMeter() { return levelMeter_; }
    // What the output does to the track's samples after they leave it: the dampen gain
    // (its pan only lowers one side).
    float OutputGain() const;
    static constexpr int32_t kDampenedVolume = -2500; // hundredths of a dB

  private:
    bool CreatePlaybackBuffer();
    bool FillChunk(int chunk);
    bool ServiceChunks();
    void RunFeeder();
    bool StopBuffer();
    // The clock's part of the output meter: the peaks of the chunk parts the play cursor
    // passed, from the cursor of the last update up to `cursor`.
    void PostPassedPeaks(uint32_t from, uint32_t cursor);

  public:
    // ---- combining tracks (this track is the target) ----
    void StartCombine(const std::string& startText, const std::string& lengthText,
                      std::vector<TVelTrack*> sources);

    // ---- recording (punch-in over the selection) ----
    void SetInputDevice(int32_t deviceNumber) { inputDevice_ = deviceNumber; }
    int32_t InputDevice() const { return inputDevice_; }
    const std::string& InputDeviceName() const { return inputDeviceName_; }
    bool PrepareRecording();
    void RunRecording();
    bool StartRecording();
    void StartPreparedRecording();
    void CloseRecordingDevice();
    // Input bytes the last recording lost while its take still needed them (no buffer was
    // queued in time); what arrives after the selection end is not counted.
    uint64_t RecordingDroppedBytes() const;
    // Any thread: while a take records, where its recording marker stands (the selection start
    // marker moved up to the columns recorded so far, the take's worker moves it); -1 outside
    // a take. A view shows it as its start marker (TViewPositions::recordingMarker).
    // [bytes, with the start offset]
    int32_t RecordingMarker() const { return recordingMarker_.load(); }

    // ---- recovery after the program was killed (VelTrackRecovery.cpp) ----
    // From now on the track keeps a recovery record beside its states while it has unsaved
    // changes (the windows' tracks do; the command-line tool goes without). User-interface
    // thread, before the track's first change.
    void EnableRecovery();
    // Takes up a killed program's track on this Empty track: its working state, its undo list
    // and start offset, and its take that was recording, up to what it had written (the rest
    // of the track after it as it was). Another unfinished change is dropped. Then reads the
    // track, which owns the record from now on. False when the working state cannot be opened
    // (the track stays Empty). User-interface thread.
    bool RecoverFrom(const TRecoveryRecord& record);
    // The record's file, "" while the track has none.
    std::string RecoveryRecordPath() const;

    // ---- worker ----
    TVelThread& Worker() { return worker_; }
    bool InWork() const { return worker_.InWork(); }
    TVELSemaphore& Semaphore() { return semaphore_; }
    TWaveIO& WaveIO() { return io_; }
    WaveFile& WorkingFile() { return working_; }
    int64_t DataStart() const { return working_.dataStart; }
    bool Cancelled() const override { return worker_.Cancelled(); }
    // Blocks until the current job (if any) has finished, without cancelling it. For a caller
    // the worker never waits for (the command-line tool, tests).
    void WaitForWorker();
    // User-interface thread: cancels the running job and waits for its end, after the owner
    // has released whatever the worker may be waiting for on this thread (its boxes, dialogs,
    // clipboard calls), so that the two never wait for each other. Closing a track ends here.
    void CancelWorkerAndWait();
    // User-interface thread: stops playing or recording (a load or an edit is cancelled, as
    // Stop does) and waits, as CancelWorkerAndWait does, until the worker has ended and cued
    // the track at its stop. Whoever replaces the sound device needs the track at rest: a
    // feeder ends by cueing, and the cue makes a buffer on the device it holds.
    void StopAndWait();
    void AddMessage(uint8_t kind, const std::string& text) override;

    // Worker bodies, public so that the effects and the combine can frame their own runs.
    bool BeginChange(int32_t prefixBytes, const std::string& changeName,
                     const std::optional<WAVEFORMATEX>& newFormat = std::nullopt);
    // True when the change was kept. An effect's run (EffectState 3) becomes 2 when kept and
    // 1 otherwise, before the track is announced Ready; any other EffectState is left alone.
    bool EndChange(bool success, int32_t playPosition, int32_t redrawEnd, int32_t redrawStart,
                   const std::string& changeName);
    void Load(int32_t from, int32_t to);
    WaveFile& PreviousState() { return previous_; }

  private:
    // TWaveIOHost
    bool SampleIs16Bit() const override { return Is16Bit(working_.format); }
    int32_t WholeDataLength() const override { return DataLength; }
    void DataRead(int32_t bytes) override { fillPosition_ += bytes; }
    // The work bar of a block read (VelTrackPicture.cpp).
    void WorkBarAt(int32_t dataPosition) override;
    void WorkBarDone() override;

    // Starter pattern: Busy, start the body on the worker, hourglass; Ready when refused.
    bool StartJob(TTrackState busyState, std::function<void()> body);
    bool OpenWorkingFile();
    // The user-interface thread's every wait for this track's worker: the owner releases
    // what the worker may wait for first, and holds it again afterwards.
    void WaitForOwnWorker(bool cancel);
    // Destroy: stops and frees the sound buffer and the input device, if any.
    void ReleasePlayback();
    std::string NewTempName();
    void DeleteStateFiles(const std::string& path);
    bool ChooseTransfer(bool forSaving, const std::string& what);
    bool Ready() const { return TrackState() == tsReady; }
    int32_t PlayInData() const { return PlayPosition - StartOffset; }

    void DoCut();
    void DoCopy();
    void DoClear();
    void DoDelete();
    void DoInsertOrPaste(bool paste);
    void DoChangeTotal();
    void DoConvertFormat();
    bool StartEffect(std::function<void()> body);
    // Streams the selection through `process` (returns where the chunk's result lies) and
    // copies the tail; false on any failure or cancellation.
    bool RunEffectChunks(int32_t selectionBytes,
                         const std::function<uint8_t*(uint8_t*, int32_t)>& process);
    void DoDistortion();
    void DoFade();
    void DoEqualize();
    void DoDelay();
    bool MakeTransferFile(WaveFile& from, int32_t bytes, bool toClipboard);
    bool SelectionInsideData();
    // Data bytes written to the working file so far in the running change.
    int32_t WrittenDataBytes() const;
    bool WriteSilence(int32_t bytes);

    std::string UndoCaptionLocked() const;
    // A new state's name for a change called `changeName`, announced to the recovery record
    // before the file is made (takeStart >= 0 for a take); "" (with a message) on failure.
    std::string NewStateName(const std::string& changeName, int32_t takeStart);
    // Rewrites the recovery record from the lists (removes it when nothing is unsaved) and
    // forgets the pending change. Only between changes or at their frame (the lists then name
    // no half-made state). Any thread; never under namesMutex_.
    void UpdateRecoveryRecord();
    // The start offset moved: the last record again with it (any time, even during a change).
    void RewriteRecoveryOffset();
    void RemoveRecoveryRecordFile();
    // Under recordMutex_: the record takes the lists; the record is written (warned once).
    void SnapshotListsLocked();
    void WriteRecordLocked();
    // An interrupted take's state finished as a stop at its last written byte would have.
    bool FinishInterruptedTake(const std::string& take, const std::string& previous,
                               int32_t takeStart);
    // Whether "Fast Refresh" may reopen the working file: only between jobs.
    bool FastRefreshAllowed() const;

    mutable std::mutex namesMutex_; // see FileName
    // The recovery record; taken before namesMutex_ when both are held.
    mutable std::mutex recordMutex_;
    bool recoveryOn_ = false;
    bool recordWarned_ = false;
    TRecoveryRecord record_;
    int32_t takeStartOfChange_ = -1; // set by Record around the take's BeginChange
    // StartOffset for the record, which the worker writes while the window may move it.
    std::atomic<int32_t> recordedOffset_{0};
    TTrackOwner& owner_;
    TMessageSink& messages_;
    TTrackView& view_;
    TClipboardStore& clipboard_;
    std::atomic<uint8_t> state_{tsEmpty};
    TVelThread worker_;
    TVELSemaphore semaphore_{1};
    TWaveIO io_;
    WaveFile working_;
    WaveFile previous_;
    int32_t fillPosition_ = 0;
    bool chunkTableBuilt_ = false;
    bool storeWasEmpty_ = false; // the undo store was empty when the running change began

    // Conversion in progress: the stream and the files it reads and writes.
    TPcmConverter converter_;
    WaveFile* convDestination_ = nullptr;
    WaveFile* convSource_ = nullptr;
    int32_t convSourceBlock_ = 0;
    int32_t convDestinationBlock_ = 0;
    std::unique_ptr<uint8_t[]> convBuffer_;
    // Playback: settings here, the ring and its buffer in TPlaybackState (VelTrackPlayback.cpp).
    TSoundOutputDevice* soundDevice_ = nullptr;
    WAVEFORMATEX outputFormat_{};
    // Set by the user-interface thread while the feeder reads them.
    std::atomic<int32_t> pan_{0};
    std::atomic<TVolumeSetting> volumeAndGain_{TVolumeSetting{}};
    std::atomic<bool> dampen_{false};
    std::unique_ptr<TPlaybackState> playback_;
    TLevelMeter levelMeter_;
    // Combine: the target's sources and per-source blocks (VelTrackCombine.cpp).
    std::unique_ptr<TCombineState> combine_;
    // Recording: the input device and its buffers (VelTrackRecording.cpp).
    int32_t inputDevice_ = -1;
    std::string inputDeviceName_;
    std::unique_ptr<TRecordingState> recording_;
    std::atomic<int32_t> recordingMarker_{-1};

    // Effect parameters, written by the starters before the worker starts.
    struct {
        int32_t upper, lower, clamp, dry, wet;
    } distortion_{};
    struct {
        int32_t left, right;
    } fade_{};
    int32_t equalizerDry_ = 0;
    std::array<float, 10> equalizerGains_{};
    struct {
        int32_t total, feedback, dry, wet, type, frequency, modulated;
    } delay_{};

    int64_t convSourceLeft_ = 0; // source data bytes not read yet
    bool convFlushed_ = false;   // the stream was told the source has ended
    bool FeedConversion(int32_t bytes);
};
