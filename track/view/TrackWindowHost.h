// What a track window needs of the main window that holds it: the song-wide transport, the
// song's names and folder, the devices and formats the tracks share, the main window's panel
// and geometry. The main window implements it; tests implement it with a host of their own.
// User-interface thread only. No Qt.
#pragma once

#include <cstdint>
#include <string>

#include "audio/WaveFormat.h"

class TFormTrack;
class TMessageSink;
class TVELCriticalSection;

// The main window's client area as the effects dialog's placement sees it.
struct TMainClientFacts {
    bool anyChildMaximised = false;
    int clientHeight = 0;       // [px]
    int messagePanelHeight = 0; // [px]
    int buttonPanelHeight = 0;  // [px]
};

class TTrackWindowHost {
  public:
    virtual ~TTrackWindowHost() = default;

    // ---- the song-wide transport ----
    // A track's state, position, mute, pan, volume or start changed: the Studio's buttons and
    // current track follow.
    virtual void RefreshTransport() = 0;
    // A track's own Stop: the Studio's mode goes idle (Play all stops repeating).
    virtual void SetTransportIdle() = 0;
    // The keypad's targets in the Studio, each with whether its button is enabled now.
    virtual bool PlayAllEnabled() = 0;
    virtual void PlayAll() = 0;
    virtual bool StopAllEnabled() = 0;
    virtual void StopAll() = 0;
    virtual bool RecordEnabled() = 0;
    virtual void Record() = 0;

    // ---- the song ----
    // The song changed in a way its file records (a track saved under another name).
    virtual void EnableSongSave() = 0;
    // The form a file name takes as a window caption, so that one file has one caption.
    virtual std::string NormaliseTrackName(const std::string& path) = 0;
    // Closes, without questions, a window other than `except` whose caption is `caption`.
    virtual void CloseWindowShowing(const std::string& caption, TFormTrack& except) = 0;
    // Whether a window of the song shows the file `path`.
    virtual bool IsFileOpenAsTrack(const std::string& path) = 0;
    virtual std::string SongFolder() = 0;
    // The Studio closes the whole song: its windows close without the removal question.
    virtual bool SongClosing() = 0;

    // ---- devices and formats shared by the tracks ----
    virtual int32_t RecorderNumber() = 0;
    virtual TVELCriticalSection* FileLock() = 0;
    virtual WAVEFORMATEX OutputFormat() = 0;
    virtual bool Dampen() = 0;

    // ---- the main window ----
    virtual std::string MainCaption() = 0;
    // Where the keypad's refusals are shown.
    virtual TMessageSink& MainPanel() = 0;
    virtual TMainClientFacts ClientFacts() = 0;
};
