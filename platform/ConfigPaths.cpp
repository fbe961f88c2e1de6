#include "platform/ConfigPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

} // namespace

std::string ConfigDir() {
    if (const char* own = std::getenv("WAVESTACK_CONFIG_DIR"); own && *own) return WithSlash(own);
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return WithSlash(xdg) + "wavestack/";
    return WithSlash(HomeDir()) + ".config/wavestack/";
}

std::string PresetFilePath() {
    return ConfigDir() + "EffectsPreset.Ini";
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
