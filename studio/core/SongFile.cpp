#include "studio/core/SongFile.h"

#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/ProfileFile.h"
#include "platform/TempFiles.h"
#include "track/SafeSave.h"

namespace {

const char* const kTracksSection = "TRACKS";
// statfs type of a memory file system, where the many small syncs of a save cost nothing.
constexpr long kTmpfsMagic = 0x01021994;
const char* const kNumTracksKey = "NUMTRACKS";

std::string TrackKey(int32_t n) {
    return "TRACK" + std::to_string(n);
}

// Everything up to and including the last "/", or "" for a bare name.
std::string FolderWithSeparator(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TrimBlanks(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    const std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// n when `name` is "TRACK<n>" the way TrackKey spells it (any letter case, blanks around it
// ignored, no sign, no leading zero), otherwise 0.
int32_t TrackNumberOf(const std::string& name) {
    const std::string trimmed = TrimBlanks(name);
    if (trimmed.size() <= 5 || UpperCasePath(trimmed.substr(0, 5)) != "TRACK") return 0;
    const std::string digits = trimmed.substr(5);
    if (digits[0] == '0' || digits.size() > 10) return 0;
    int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value > INT32_MAX ? 0 : static_cast<int32_t>(value);
}

int32_t ClampSlider(int32_t value) {
    return std::clamp(value, kSongSliderMin, kSongSliderMax);
}

// The file a save must replace: the target of a symlinked song file, so the link survives.
std::string SaveTarget(const std::string& songPath) {
    struct stat info {};
    if (::lstat(songPath.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return songPath;
    char* real = ::realpath(songPath.c_str(), nullptr);
    if (real == nullptr) return songPath; // dangling: the link itself is replaced
    std::string target = real;
    std::free(real);
    return target;
}

std::string g_scratchOverride;
bool g_scratchOverridden = false;

bool IsMemoryFolder(const std::string& folder) {
    struct statfs info {};
    return !folder.empty() && ::statfs(folder.c_str(), &info) == 0 &&
           static_cast<long>(info.f_type) == kTmpfsMagic &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// Creates the working copy of a save. Every profile write syncs its file and folder, some
// 600 syncs for a 100-track song, so the copy is made on a memory file system when one is at
// hand and carried to the song's folder with one sync at the end; otherwise beside the song.
std::string MakeWorkFile(const std::string& target, std::string& error) {
    std::vector<std::string> folders;
    if (g_scratchOverridden) {
        folders.push_back(g_scratchOverride);
    } else {
        if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) folders.push_back(runtime);
        folders.push_back("/dev/shm");
    }
    for (const std::string& folder : folders) {
        if (!g_scratchOverridden && !IsMemoryFolder(folder)) continue;
        std::string ignored;
        std::string work = MakeSiblingTempFile(folder + "/song", ignored);
        if (!work.empty()) return work;
    }
    return MakeSiblingTempFile(target, error);
}

// Runs the whole save against `work`, a copy of the song file; false with `error` set.
bool WriteTracks(const std::string& work, const std::string& songFolder,
                 const std::vector<TSongTrackOut>& tracks, std::vector<TTrack>& states,
                 std::string& error) {
    TProfileFile file(work);
    auto failed = [&]() {
        error = file.LastError();
        return false;
    };
    TProfileBatch batch(file);
    const int32_t oldCount = file.ReadInteger(kTracksSection, kNumTracksKey, 0);
    // Only sections that exist are visited, so a damaged NUMTRACKS cannot make this loop long.
    for (const std::string& name : file.ReadSections()) {
        const int32_t n = TrackNumberOf(name);
        if (n >= 1 && n <= oldCount && !file.EraseSection(name)) return failed();
    }
    if (!file.EraseSection(kTracksSection)) return failed();

    int32_t i = 0;
    for (const TSongTrackOut& track : tracks) {
        if (track.waveFileName.empty()) continue;
        i += 1;
        const std::string section = TrackKey(i);
        const bool sameFolder = FolderWithSeparator(track.waveFileName) == songFolder;
        const std::string listed = sameFolder ? NamePart(track.waveFileName) : track.waveFileName;
        if (!file.WriteString(kTracksSection, section, listed)) return failed();
        // A section of that name beyond the old count would otherwise keep its stale keys and
        // their order.
        if (!file.EraseSection(section)) return failed();
        if (!file.WriteBool(section, "MUTE", track.muted) ||
            !file.WriteBool(section, "MINIMIZED", track.minimized) ||
            !file.WriteInteger(section, "PAN", track.pan) ||
            !file.WriteInteger(section, "VOLUME", track.volume) ||
            !file.WriteString(section, "OFFSET", track.offsetText))
            return failed();
        states.push_back(TTrack{track.muted, track.minimized, track.pan, track.volume,
                                track.offsetText, UpperCasePath(track.fileNameForState)});
    }
    if (!file.WriteInteger(kTracksSection, kNumTracksKey, i)) return failed();
    return batch.Commit() || failed();
}

} // namespace

std::string UpperCasePath(const std::string& path) {
    std::string upper = path;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

std::string TrackCaption(const std::string& path) {
    return NamePart(path) + " (" + FolderWithSeparator(path) + ")";
}

std::string SongCaption(const std::string& songPath) {
    if (songPath.empty()) return "New Song";
    const std::string name = NamePart(songPath);
    if (name.size() >= 4 && name[name.size() - 4] == '.') return name.substr(0, name.size() - 4);
    return name;
}

std::string ReadingReport(const std::string& songPath) {
    return "Reading " + songPath;
}

std::string SongReadReport(const std::string& songPath, int32_t numTracksAsRead) {
    return songPath + " (" + std::to_string(numTracksAsRead) + " Tracks)";
}

std::string SavedReport(const std::string& songPath) {
    return "Saved " + songPath;
}

std::vector<TSongEntry> ReadSong(const std::string& songPath, int32_t& numTracksAsRead,
                                 std::vector<TTrack>* savedStates) {
    std::vector<TSongEntry> entries;
    if (savedStates != nullptr) savedStates->clear();
    TProfileFile file(songPath);
    numTracksAsRead = file.ReadInteger(kTracksSection, kNumTracksKey, 0);

    std::vector<int32_t> numbers;
    for (const std::string& key : file.ReadSection(kTracksSection)) {
        const int32_t n = TrackNumberOf(key);
        if (n >= 1 && n <= numTracksAsRead) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

    const std::string songFolder = FolderWithSeparator(songPath);
    std::set<std::string> seen;
    for (const int32_t n : numbers) {
        const std::string section = TrackKey(n);
        std::string path = file.ReadString(kTracksSection, section, "");
        if (path.empty()) continue;
        if (path.find('/') == std::string::npos) path = songFolder + path;
        TSongEntry entry;
        entry.path = path;
        entry.muted = file.ReadBool(section, "MUTE", false);
        entry.minimized = file.ReadBool(section, "MINIMIZED", false);
        entry.pan = ClampSlider(file.ReadInteger(section, "PAN", 0));
        entry.volume = ClampSlider(file.ReadInteger(section, "VOLUME", 0));
        entry.offset = file.ReadString(section, "OFFSET", kDefaultSongOffset);
        if (entry.offset.empty()) entry.offset = kDefaultSongOffset;
        if (savedStates != nullptr) savedStates->push_back(TrackStateOf(entry));
        if (seen.insert(path).second) entries.push_back(std::move(entry));
    }
    return entries;
}

TTrack TrackStateOf(const TSongEntry& entry) {
    return TTrack{entry.muted,  entry.minimized, entry.pan,
                  entry.volume, entry.offset,    UpperCasePath(entry.path)};
}

bool WriteSong(const std::string& songPath, const std::vector<TSongTrackOut>& tracks,
               std::vector<TTrack>& savedStates, std::string& error) {
    error.clear();
    if (songPath.empty()) {
        error = "No song file name";
        return false;
    }
    const std::string target = SaveTarget(songPath);
    const std::string work = MakeWorkFile(target, error);
    if (work.empty()) return false;
    TTempFileGuard guard(work);

    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            error = "Cannot save " + songPath + ": not a regular file";
            return false;
        }
        if (!CopyFileContents(target, work, error)) return false;
    } else if (errno != ENOENT) {
        error = "Cannot save " + songPath + ": " + std::strerror(errno);
        return false;
    }

    std::vector<TTrack> states;
    // The folder as the song path spells it: a wave file is listed by bare name only when its
    // folder is that exact text.
    if (!WriteTracks(work, FolderWithSeparator(songPath), tracks, states, error)) return false;
    if (!SaveFileOver(work, target, true, error)) return false;
    savedStates = std::move(states);
    return true;
}

void SetSongScratchFolderForTesting(const std::string* folder) {
    g_scratchOverridden = folder != nullptr;
    g_scratchOverride = folder != nullptr ? *folder : std::string();
}

bool SongModified(const std::vector<TTrack>& saved, const std::vector<TTrack>& current) {
    if (saved.size() != current.size()) return true;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        const TTrack& a = saved[i];
        const TTrack& b = current[i];
        if (a.muted != b.muted || a.minimized != b.minimized || a.pan != b.pan ||
            a.volume != b.volume || a.offset != b.offset ||
            UpperCasePath(a.fileName) != UpperCasePath(b.fileName))
            return true;
    }
    return false;
}
