// Feeds arbitrary bytes to the profile-file reader as a settings, song and preset file (users
// edit all three by hand): reads every section and key back, checking what a caller relies on,
// then runs the song, settings, preset and last-effect readers over the same file.
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "effects/EffectPresets.h"
#include "platform/ProfileFile.h"
#include "studio/core/SongFile.h"
#include "studio/core/StudioSettings.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// No value can hold a line break, so this default shows whether a key was found.
const std::string kMissing = "\n";

void ReadEverything(TProfileFile& file) {
    const std::vector<std::string> sections = file.ReadSections();
    for (const std::string& section : sections) {
        Check(file.SectionExists(section));
        for (const std::string& key : file.ReadSection(section)) {
            Check(!key.empty() && !IsBlank(key.front()) && !IsBlank(key.back()));
            Check(key.find('=') == std::string::npos);
            Check(file.ValueExists(section, key));
            const std::string value = file.ReadString(section, key, kMissing);
            Check(value.find('\n') == std::string::npos);
            // A number reads the same whatever the default; anything else gives the default,
            // for integers and booleans alike.
            const int32_t a = file.ReadInteger(section, key, 0);
            const int32_t b = file.ReadInteger(section, key, 1);
            if (a == b) {
                Check(file.ReadBool(section, key, false) == (a != 0));
                Check(file.ReadBool(section, key, true) == (a != 0));
            } else {
                Check(a == 0 && b == 1);
                Check(!file.ReadBool(section, key, false) && file.ReadBool(section, key, true));
            }
        }
    }
    Check(!file.SectionExists("\n"));
}

void ReadAsSong(const std::string& path) {
    int32_t numTracks = 0;
    std::vector<TTrack> states;
    const std::vector<TSongEntry> entries = ReadSong(path, numTracks, &states);
    Check(states.size() >= entries.size());
    for (const TSongEntry& entry : entries) {
        Check(!entry.path.empty() && !entry.offset.empty());
        Check(entry.pan >= kSongSliderMin && entry.pan <= kSongSliderMax);
        Check(entry.volume >= kSongSliderMin && entry.volume <= kSongSliderMax);
    }
}

void ReadAsSettings(TProfileFile& file) {
    const TStudioSettings settings = ReadStudioSettings(file);
    Check(settings.recentFiles.Paths().size() <= kMaxRecentFiles);
    Check(settings.recentFiles.MenuCaptions().size() == settings.recentFiles.Paths().size());
    ReadOpenFolder(file);
    ReadFirstChildMaximized(file);
    const TLastEffectSettings last = ReadLastEffectSettings(file);
    Check(last.page >= kPageEqualizer && last.page <= kPageDistortion);
}

template <class P> void LoadPresets(TEffectPresets& presets) {
    for (const std::string& name : presets.List(P::kWord)) {
        P params;
        presets.Load(name, params);
        Check(!presets.Listed(P::kWord, name).empty());
    }
}

void ReadAsPresets(const std::string& path) {
    TEffectPresets presets(path);
    LoadPresets<TDelayParams>(presets);
    LoadPresets<TFadeParams>(presets);
    LoadPresets<TEqualizerParams>(presets);
    LoadPresets<TDistortionParams>(presets);
}

// One scratch file per process, rewritten for every input, unlinked at once (libFuzzer may end
// without running exit handlers) and reached through its descriptor; on tmpfs when there is one.
int ScratchFd() {
    static const int fd = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string base = dir && *dir ? dir : "/tmp";
        if (::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
        std::string pattern = base + "/profilefuzzXXXXXX";
        const int made = ::mkstemp(pattern.data());
        if (made < 0) std::abort();
        ::unlink(pattern.c_str());
        return made;
    }();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const int fd = ScratchFd();
    // An old time, or every read would load the file changed this instant again.
    const timespec times[2] = {{0, UTIME_OMIT}, {1, 1}};
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) ||
        ::futimens(fd, times) != 0) {
        std::abort();
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    TProfileFile file(path);
    ReadEverything(file);
    ReadAsSong(path);
    ReadAsSettings(file);
    ReadAsPresets(path);
    return 0;
}
