// The small interfaces through which a track reaches the world around it. The GUI implements
// them with widgets; the command-line tool and the tests with the headless versions beside
// this file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/WaveFormat.h"

class TVelTrack;
class TMemoryBlock;

// One byte, read across threads without a lock.
enum TTrackState : uint8_t {
    tsEmpty = 0,
    tsPlaying = 1,
    tsReady = 2,
    tsLoading = 3,
    tsBusy = 4,
    tsRecording = 5,
    tsClosing = 6,
    tsStopping = 7,
    tsCombineSource = 8,
};

// The effects dialog's view of a track (one byte, read across threads).
enum TEffectState : uint8_t {
    esNoDialog = 0,
    esReady = 1,
    esApplied = 2,
    esRunning = 3,
};

// The track window that owns the track; it outlives the track.
//
// Threads. The track calls these from its worker thread and from the user-interface thread, as
// each comment says. An implementation that touches widgets hands the call to the
// user-interface thread through a queued call (in order); one that must wait for the user
// (the boxes, the dialogs, the chooser) blocks only the calling worker, through a TUiCallGate
// (ui/core/UiCallGate.h) that BeforeWaitingForWorker releases.
class TTrackOwner {
  public:
    virtual ~TTrackOwner() = default;
    // Any thread, after every announced state change; the window refreshes its buttons.
    virtual void TrackStateChanged(TVelTrack& /*track*/) {}
    // User-interface thread: whether `path` is open as a track (its own or another window's).
    virtual bool IsFileOpenAsTrack(const std::string& /*path*/) { return false; }
    // Worker (a change's start; the user-interface thread when Record prepares a take): the
    // many-changes warning, returning when the user pressed OK or the wait was released.
    virtual void ShowUndoWarning(const std::string& /*text*/) {}
    // Any thread.
    virtual void SetHourglass(bool /*on*/) {}
    // User-interface thread: the transfer-file dialogs, a save dialog for Cut To / Copy To, an
    // open dialog for Insert From / Paste From. nullopt when the user cancels.
    virtual std::optional<std::string> ChooseTransferFile(bool /*forSaving*/,
                                                          const std::string& /*title*/,
                                                          const std::string& /*initialName*/) {
        return std::nullopt;
    }
    // User-interface thread: modal boxes, an error with OK, and a question with OK and Cancel
    // (true for OK).
    virtual void ErrorBox(const std::string& /*text*/) {}
    virtual bool ConfirmBox(const std::string& /*text*/) { return false; }
    // Worker: the format chooser of a conversion; nullopt when cancelled or released.
    virtual std::optional<WAVEFORMATEX> ChooseConversionFormat(const WAVEFORMATEX& /*current*/) {
        return std::nullopt;
    }
    // User-interface thread, just before the track waits for its worker (closing, a combine's
    // start, a take's start): answer or release everything the worker may be waiting for on
    // this thread (error boxes, questions, dialogs, clipboard calls), so that the two never
    // wait for each other. AfterWaitingForWorker follows once the wait is over.
    virtual void BeforeWaitingForWorker(TVelTrack& /*track*/) {}
    virtual void AfterWaitingForWorker(TVelTrack& /*track*/) {}
};

// The waveform view of the track: its picture, markers and work bar. Threads as each comment
// says; a view that draws on widgets hands the drawing to the user-interface thread in order.
class TTrackView {
  public:
    virtual ~TTrackView() = default;
    // Worker: build the picture of data [from, to) (to = -1: the end) from the working file
    // through the track's reads. Stops early when the worker is cancelled. True only when the
    // whole range was read: only such a picture may be saved and taken as up to date later.
    virtual bool PaintWave(TVelTrack& track, int32_t from, int32_t to) = 0;
    // Any thread: the markers moved (the selection, the play position).
    virtual void RedrawMarkers() {}
    // Worker: the work bar at the end of the block being read, and its removal after the read.
    virtual void WorkBarAt(int32_t /*dataPosition*/) {}
    virtual void WorkBarDone() {}
    // Worker (after a load): saves the current picture as `path`; false when it could not be
    // written.
    virtual bool SavePicture(const std::string& path) = 0;
    // User-interface thread (a new track): saves an empty picture (the unselected colour) of
    // the view's size as `path`.
    virtual bool SaveEmptyPicture(const std::string& path) = 0;
    // Any thread: surface width in pixels, for the combine's work bar and the take's redraw.
    virtual int Width() const { return 400; }
};

// The system-wide store of one wave file in memory (the clipboard's wave format).
class TClipboardStore {
  public:
    virtual ~TClipboardStore() = default;
    virtual bool HoldsWave() = 0;
    // Held open for one whole operation; false when another user holds it.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    // Replaces the store's content with a complete in-memory wave file.
    virtual bool SetWave(std::shared_ptr<TMemoryBlock> wave) = 0;
    // The wave file held, or null.
    virtual std::shared_ptr<TMemoryBlock> GetWave() = 0;
};
