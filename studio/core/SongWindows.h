// The song as the main window's child windows make it: only track windows are counted,
// numbered and saved (the effects dialog, also a child window, never is); a track that was
// never saved to a wave file is not written; an empty track (its file missing or unreadable)
// is not counted as modified. Qt-free; user-interface thread.
#pragma once

#include <string>
#include <vector>

#include "studio/core/SongFile.h"

class TVelTrack;

// One child window of the main window, in the frame's list order.
struct TSongChild {
    bool isTrackWindow = false; // false: the effects dialog
    bool emptyTrack = false;    // its track is Empty
    bool changing = false;      // a change runs on its track: it differs from the file
    std::string waveFileName;   // the track's WaveFileName: "" while never saved
    TTrack state;               // the window's settings and the track's FileName (any case)
};

// A track window's part of the song, read from the window's settings and its track. While a
// change runs on the track (Busy, Recording, Stopping, Closing) its file name is not read (its
// worker rewrites it) and the window counts as changed.
TSongChild SongChildOf(const TVelTrack& track, bool muted, bool minimized, int32_t pan,
                       int32_t volume, const std::string& offsetText);

// The track windows in order, for WriteSong (which skips those never saved).
std::vector<TSongTrackOut> SongTracksToWrite(const std::vector<TSongChild>& children);

// Whether the song has unsaved changes: the track windows' count differs from the saved
// states', or a pair differs (SongModified's comparison). An empty track's pair always agrees,
// so a song whose file names a missing wave file reads as saved.
bool SongModifiedNow(const std::vector<TTrack>& saved, const std::vector<TSongChild>& children);
