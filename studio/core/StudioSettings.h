// The Studio's own entries of the settings file (platform/ConfigPaths.h SettingsFilePath): the
// recent files, the sound devices, the format and length of new tracks, the output format, the
// last folder of the Open dialog and whether the first track window opens maximized.
//
// Sections and keys, with the value a missing key or a value that is not a number reads as:
//   [FILES]              NUMFILES (0), FILE1 ... FILE<NUMFILES> ("")
//   [SOUND]              DEVICE ("": the first output device), RECORDER (-1: the wave mapper),
//                        LATENCYCOMPENSATION (true), LATENCYOFFSET (0 [ms], kept within
//                        -500 .. 500)
//   [TRACKWAVEFORMATEX]  wFormatTag (1), nChannels (1), nSamplesPerSec (44100),
//                        nAvgBytesPerSec (88200), nBlockAlign (2), wBitsPerSample (16),
//                        cbSize (0), LENGTH ("00:30:00"), FOLDER (DefaultTracksFolder())
//   [OUTPUTWAVEFORMATEX] the seven fields: 1, 2, 44100, 176400, 4, 16, 0
//   [OPEN]               PATH ("")
//   [TFormStudio]        MAXIMIZED (false)
// The 16-bit fields of a wave format keep the low 16 bits of the integer read (70000 gives
// 4464); the 32-bit fields keep its 32-bit pattern.
//
// Qt-free; the main window renders the recent-files menu from TRecentFiles. One thread at a
// time per object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "platform/ProfileFile.h"

inline constexpr std::size_t kMaxRecentFiles = 9;
inline constexpr int32_t kWaveMapper = -1;
inline constexpr const char* kDefaultTrackLength = "00:30:00";
inline constexpr int32_t kMaxLatencyOffsetMs = 500;

// The recent-files list behind the File menu's numbered entries, between the separator that
// ends the Open/Save group and a second separator just before "Exit".
class TRecentFiles {
  public:
    // Full paths, entry 1 first.
    const std::vector<std::string>& Paths() const { return paths_; }

    // A path already listed (compared without regard to ASCII case) changes nothing and keeps
    // its place. With 9 entries the new path becomes entry 1 and entry 9 is dropped; otherwise
    // it is appended. A path holding a line break is not taken (the file could not store it).
    // True when the list changed.
    bool Remember(const std::string& path);

    // "<n>. <file name>" for each entry, n = 1 ... 9, the file name without its folder. The
    // number is the item's accelerator; a Qt menu marks it as "&" + caption and doubles any
    // "&" of the file name.
    std::vector<std::string> MenuCaptions() const;
    // The second separator, before "Exit", stands from the first entry on.
    bool HasExitSeparator() const { return !paths_.empty(); }
    // The path an entry's caption opens: the number is the digits before the caption's first
    // ".", 1-based into the list. "" when the caption holds no such number or it is not listed.
    // The file's existence is not checked; opening it reports a missing file.
    std::string PathOfCaption(const std::string& caption) const;

  private:
    std::vector<std::string> paths_;
};

struct TStudioSettings {
    TRecentFiles recentFiles;
    std::string device;              // output device description; "" selects the first one
    int32_t recorder = kWaveMapper;  // wave-input device number, -1 the wave mapper
    bool latencyCompensation = true; // takes placed earlier by the measured input delay
    int32_t latencyOffsetMs = 0;     // added to the placement (alone when compensation is off)
    WAVEFORMATEX trackFormat{1, 1, 44100, 88200, 2, 16, 0}; // 16-bit mono
    std::string trackLength = kDefaultTrackLength;          // time text
    std::string trackFolder;                                // read at start, written back unchanged
    WAVEFORMATEX outputFormat{1, 2, 44100, 176400, 4, 16, 0}; // 16-bit stereo
};

// The defaults of a first start; trackFolder is DefaultTracksFolder().
TStudioSettings DefaultStudioSettings();

// Reads at the main window's creation, in this order: the recent files (each "FILE<n>",
// n = 1 ... NUMFILES, remembered in turn when its file exists, dropped silently otherwise),
// "DEVICE", "RECORDER", "LATENCYCOMPENSATION" and "LATENCYOFFSET", the new-track format with
// "LENGTH" and "FOLDER", the output format. Never fails: anything missing or unreadable reads as
// its default. The latency pair also places the takes from then on (SetRecordingLatency of
// track/RecordingState.h), the first take of a start included.
TStudioSettings ReadStudioSettings(TProfileFile& file);

// Writes at the main window's close, in the order of ReadStudioSettings, as one write of the
// file: "NUMFILES" and "FILE1" ... "FILE<n>" (keys "FILE<k>" above n stay, ignored since
// "NUMFILES" bounds the reading), "DEVICE", "RECORDER", the seven fields, "LENGTH" and
// "FOLDER", the output format, and into [SOUND] "LATENCYCOMPENSATION" and "LATENCYOFFSET" once
// either differs from its default or the file holds it already (a file that never had them
// stays as it was). Creates the file's folder when missing. False (file.LastError() says why)
// when the write fails; the file is then as it was.
bool WriteStudioSettings(TProfileFile& file, const TStudioSettings& settings);

// "PATH" of "OPEN": the Open dialog's initial folder.
std::string ReadOpenFolder(TProfileFile& file);
// Writes the folder of the chosen file, with its trailing "/", to "PATH" of "OPEN".
bool WriteOpenFolder(TProfileFile& file, const std::string& chosenFilePath);

// "MAXIMIZED" of "TFormStudio": whether the first track window opens maximized.
bool ReadFirstChildMaximized(TProfileFile& file);
bool WriteFirstChildMaximized(TProfileFile& file, bool maximized);
