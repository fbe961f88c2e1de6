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

// The waveform view of the track: its two pictures (the screen picture the surface shows and
// the clean picture it is rebuilt from), the recording overlay, the markers and the work bar.
// The core computes every column (track/WavePicture.h) and hands it here; the view only paints.
// Threads as each comment says; a view that draws on widgets paints into images under its own
// lock and asks the user-interface thread to repaint.
class TTrackView {
  public:
    virtual ~TTrackView() = default;

    // ---- the picture (worker, while a file is read) ----
    // Sizes both pictures to the surface and answers that size; false when the surface has no
    // size, and then nothing is drawn.
    virtual bool BeginPictures(int& width, int& height) = 0;
    // Both pictures from a picture file; false (pictures unchanged) when it cannot be read.
    virtual bool LoadPictureFile(const std::string& path) = 0;
    // A picture file stretched into the screen picture, shown while the new one is computed;
    // false when it cannot be read.
    virtual bool DrawStandbyPicture(const std::string& path) = 0;
    // Column `column` of the screen picture: the background over the full height, then the
    // wave from row yTop to row yBottom (rows off the picture are cut). False when it failed.
    virtual bool DrawColumn(int column, int yTop, int yBottom) = 0;
    // The screen picture becomes the clean picture; false when there is none.
    virtual bool CommitPicture() = 0;
    // Saves the screen picture losslessly as `path`; false when it could not be written.
    virtual bool SavePicture(const std::string& path) = 0;
    // User-interface thread (a new track): saves an empty picture (the unselected colour) of
    // the view's size as `path`.
    virtual bool SaveEmptyPicture(const std::string& path) = 0;

    // ---- recording (worker, while a take records) ----
    // A recorded column into an overlay that the surface shows over the picture until
    // ClearOverlay; a repaint keeps it.
    virtual void DrawOverlayColumn(int /*column*/, int /*yTop*/, int /*yBottom*/) {}
    // Worker (the take's redraw) or user-interface thread: the overlay goes.
    virtual void ClearOverlay() {}

    // ---- markers ----
    // Any thread: the work bar at `column`, or none (-1). Shown only while an edit, effect or
    // combine reads a block.
    virtual void ShowWorkBar(int /*column*/) {}
    // Any thread: the markers moved (the selection, the play position, the recording marker).
    virtual void RedrawMarkers() {}
    // Worker: an edit, effect or combine is about to read the block that ends at data position
    // `dataPosition` (the combine: the target's bytes written so far), and has read it. A
    // progress notice only (the command-line tool's percentage); the bar comes by ShowWorkBar.
    virtual void WorkBarAt(int32_t /*dataPosition*/) {}
    virtual void WorkBarDone() {}

    // Any thread: the surface size in pixels.
    virtual int Width() const { return 400; }
    virtual int Height() const { return 100; }
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
