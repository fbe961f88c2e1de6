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

// The track window that owns the track. Calls may come from the track's worker thread; an
// implementation that touches widgets marshals them to the user-interface thread.
class TTrackOwner {
  public:
    virtual ~TTrackOwner() = default;
    // After every announced state change; the window refreshes its buttons.
    virtual void TrackStateChanged(TVelTrack& /*track*/) {}
    // Whether `path` is open as a track (its own or another window's).
    virtual bool IsFileOpenAsTrack(const std::string& /*path*/) { return false; }
    // The many-changes warning: blocks the calling worker until the user pressed OK.
    virtual void ShowUndoWarning(const std::string& /*text*/) {}
    virtual void SetHourglass(bool /*on*/) {}
    // The transfer-file dialogs: a save dialog for Cut To / Copy To, an open dialog for
    // Insert From / Paste From. nullopt when the user cancels.
    virtual std::optional<std::string> ChooseTransferFile(bool /*forSaving*/,
                                                          const std::string& /*title*/,
                                                          const std::string& /*initialName*/) {
        return std::nullopt;
    }
    // Modal boxes: an error with OK, and a question with OK and Cancel (true for OK).
    virtual void ErrorBox(const std::string& /*text*/) {}
    virtual bool ConfirmBox(const std::string& /*text*/) { return false; }
    // The format chooser of a conversion, started from the worker; nullopt when cancelled.
    virtual std::optional<WAVEFORMATEX> ChooseConversionFormat(const WAVEFORMATEX& /*current*/) {
        return std::nullopt;
    }
};

// The waveform view of the track: its picture, markers and work bar.
class TTrackView {
  public:
    virtual ~TTrackView() = default;
    // Worker: build the picture of data [from, to) (to = -1: the end) from the working file
    // through the track's reads. Stops early when the worker is cancelled. True only when the
    // whole range was read: only such a picture may be saved and taken as up to date later.
    virtual bool PaintWave(TVelTrack& track, int32_t from, int32_t to) = 0;
    virtual void RedrawMarkers() {}
    // The work bar at the end of the block being read, and its removal after the read.
    virtual void WorkBarAt(int32_t /*dataPosition*/) {}
    virtual void WorkBarDone() {}
    // Saves the current picture as `path`; false when it could not be written.
    virtual bool SavePicture(const std::string& path) = 0;
    // Saves an empty picture (the unselected colour) of the view's size as `path`.
    virtual bool SaveEmptyPicture(const std::string& path) = 0;
    // Surface width in pixels, for the combine's work bar.
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
