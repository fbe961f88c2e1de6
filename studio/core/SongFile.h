// The song file (".Sng"): which wave files make up a song and each track's mute flag, window
// state, pan, volume and start offset, kept in a profile file (platform/ProfileFile.h).
//
// Layout written:
//   [TRACKS]   TRACK1 ... TRACK<N> (wave file: bare name when it lies in the song's folder,
//              else the full path), then NUMTRACKS=N
//   [TRACK<n>] MUTE, MINIMIZED (1/0), PAN, VOLUME (-100...100), OFFSET (time text)
// Other sections of an existing song file are kept as they are.
//
// Qt-free data and functions; the main window and the command-line combine call them and print
// the report lines below through their message sink as plain status lines:
//   ReadingReport(path)     "Reading " + path                 before a song is read
//   SongReadReport(path, N) "<song path> (<N> Tracks)"        after it, N as read from the file
//   SavedReport(path)       "Saved " + path                   after a successful write
//
// Paths use "/" as the folder separator. Upper case is ASCII upper case.
// Thread-safety: plain functions; one thread at a time per song file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The saved state of one song track, as last read from or written to the song file; the main
// window compares these with its open tracks to tell whether the song has unsaved changes.
struct TTrack {
    bool muted = false;
    bool minimized = false;
    int32_t pan = 0;      // [-100 left ... 100 right]
    int32_t volume = 0;   // [-100 ... 100]
    std::string offset;   // start offset on the song timeline, time text
    std::string fileName; // full path of the wave file, upper case
};

// One track of a song as read from its file, ready for the track window.
struct TSongEntry {
    std::string path; // full path of the wave file (a bare name gets the song's folder)
    bool muted = false;
    bool minimized = false;
    int32_t pan = 0;    // clamped to -100...100
    int32_t volume = 0; // clamped to -100...100
    std::string offset; // "00:00:00000" when missing or empty
};

// One track window's state handed to WriteSong, in window order.
struct TSongTrackOut {
    std::string waveFileName;     // the wave file; empty while never saved: the track is skipped
    std::string fileNameForState; // the track's FileName (its working file after an edit)
    bool muted = false;
    bool minimized = false;
    int32_t pan = 0;
    int32_t volume = 0;
    std::string offsetText;
};

inline constexpr const char* kDefaultSongOffset = "00:00:00000";
inline constexpr int32_t kSongSliderMin = -100;
inline constexpr int32_t kSongSliderMax = 100;

// ASCII upper case, the form the saved states keep file names in.
std::string UpperCasePath(const std::string& path);

// "Guitar.wav (/songs/)" for "/songs/Guitar.wav": file name, " (", folder with its trailing
// "/", ")". A bare name gives "Guitar.wav ()".
std::string TrackCaption(const std::string& path);

// The song file's name without folder and extension (the last four characters go when the
// fourth from the end is "."); "New Song" for an empty path.
std::string SongCaption(const std::string& songPath);

std::string ReadingReport(const std::string& songPath);
std::string SongReadReport(const std::string& songPath, int32_t numTracksAsRead);
std::string SavedReport(const std::string& songPath);

// Reads the tracks of a song in file order. A missing, unreadable, empty or damaged file gives
// no tracks. `numTracksAsRead` receives "NUMTRACKS" as written (0 when missing or not a
// number; it may be negative or larger than the entries that exist). Only "TRACK<n>" keys that
// exist with 1 <= n <= NUMTRACKS are visited, so a huge NUMTRACKS costs nothing. Empty entries
// are skipped; a file listed again (same full path, exact text) is returned once, the first
// time. When `savedStates` is given it receives one TTrack per non-empty entry, repeats
// included: what the file holds, so a song listing a file twice reads as modified against its
// one window.
std::vector<TSongEntry> ReadSong(const std::string& songPath, int32_t& numTracksAsRead,
                                 std::vector<TTrack>* savedStates = nullptr);

// The saved state matching one entry: its values and its path in upper case.
TTrack TrackStateOf(const TSongEntry& entry);

// Writes the tracks with a wave file name into the song file and returns their saved states
// (upper-case fileNameForState) in `savedStates`. Sections "TRACK1"... "TRACK<old NUMTRACKS>"
// and "TRACKS" of an existing file are erased first (and any stale "TRACK<i>" about to be
// reused), everything else kept. The whole save is made on a working copy and carried over
// the song file at the end, synced once (the copy lies on a memory file system when one is at
// hand, since each of the many small profile writes syncs): on failure (false, `error` set)
// the song file is untouched and `savedStates` is left as it was. A symlinked song file stays
// a symlink.
bool WriteSong(const std::string& songPath, const std::vector<TSongTrackOut>& tracks,
               std::vector<TTrack>& savedStates, std::string& error);

// True when the open tracks (in window order) differ from the saved states: counts differ, or
// a pair differs in mute, minimized, pan, volume, offset text (exact) or file name (compared
// in upper case).
bool SongModified(const std::vector<TTrack>& saved, const std::vector<TTrack>& current);

// Tests: make the working copies of saves in `folder` (any file system; a folder that cannot
// hold them falls back to the song's own folder); nullptr restores the automatic choice.
void SetSongScratchFolderForTesting(const std::string* folder);
