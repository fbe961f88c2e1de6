#include "platform/ConfigPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    return ".";
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string UserConfigHome() {
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return WithSlash(xdg);
    return WithSlash(HomeDir()) + ".config/";
}

// The folder of one line `XDG_MUSIC_DIR="$HOME/Music"` (a quoted value, "$HOME" only at its
// start, backslash escapes), or "" when the line is not that entry or names no absolute folder.
std::string MusicDirOf(const std::string& line) {
    std::size_t at = line.find_first_not_of(" \t");
    const std::string key = "XDG_MUSIC_DIR=\"";
    if (at == std::string::npos || line.compare(at, key.size(), key) != 0) return "";
    std::string value;
    for (at += key.size(); at < line.size() && line[at] != '"'; ++at) {
        if (line[at] == '\\' && at + 1 < line.size()) ++at;
        value += line[at];
    }
    if (at == line.size()) return ""; // no closing quote
    if (value == "$HOME" || value.compare(0, 6, "$HOME/") == 0) value = HomeDir() + value.substr(5);
    return !value.empty() && value[0] == '/' ? value : "";
}

std::string MusicDir() {
    std::ifstream dirs(UserConfigHome() + "user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        if (std::string music = MusicDirOf(line); !music.empty()) return WithSlash(music);
    }
    return WithSlash(HomeDir()) + "Music/";
}

} // namespace

std::string ConfigDir() {
    if (const char* own = std::getenv("WAVESTACK_CONFIG_DIR"); own && *own) return WithSlash(own);
    return UserConfigHome() + "wavestack/";
}

std::string PresetFilePath() {
    return ConfigDir() + "EffectsPreset.Ini";
}

std::string SettingsFilePath() {
    // A fixed name: deriving it from the executable's name would give a bare "TXT" for a name
    // without a dot.
    return ConfigDir() + "wavestack.TXT";
}

std::string DefaultTracksFolder() {
    return MusicDir() + "Tracks/";
}

bool EnsureParentFolder(const std::string& filePath) {
    const std::size_t cut = filePath.find_last_of('/');
    if (cut == std::string::npos || cut == 0) return true; // current folder or root
    const std::string folder = filePath.substr(0, cut);
    if (IsFolder(folder)) return true;
    // Each level in turn, from the top; one that already exists is fine.
    for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
        const std::string part = at == std::string::npos ? folder : folder.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (at == std::string::npos) break;
    }
    return IsFolder(folder);
}
