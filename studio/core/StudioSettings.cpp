#include "studio/core/StudioSettings.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/ConfigPaths.h"
#include "track/RecordingState.h"

namespace {

constexpr const char* kFiles = "FILES";
constexpr const char* kSound = "SOUND";
constexpr const char* kTrackFormat = "TRACKWAVEFORMATEX";
constexpr const char* kOutputFormat = "OUTPUTWAVEFORMATEX";
constexpr const char* kOpen = "OPEN";
constexpr const char* kStudioForm = "TFormStudio";

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperAscii(x) == UpperAscii(y);
           });
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// n of a key "FILE<n>" written the way the writer writes it (decimal, no leading zero), or 0.
int32_t RecentFileNumber(const std::string& key) {
    if (key.size() < 5 || !SameText(key.substr(0, 4), "FILE") || key[4] == '0') return 0;
    int64_t n = 0;
    for (std::size_t i = 4; i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9') return 0;
        n = n * 10 + (key[i] - '0');
        if (n > INT32_MAX) return 0;
    }
    return static_cast<int32_t>(n);
}

std::string RecentFileKey(std::size_t n) {
    return "FILE" + std::to_string(n);
}

WAVEFORMATEX ReadFormat(TProfileFile& file, const char* section, const WAVEFORMATEX& base) {
    auto read16 = [&](const char* key, uint16_t fallback) {
        return static_cast<uint16_t>(file.ReadInteger(section, key, fallback));
    };
    auto read32 = [&](const char* key, uint32_t fallback) {
        return static_cast<uint32_t>(
            file.ReadInteger(section, key, static_cast<int32_t>(fallback)));
    };
    WAVEFORMATEX format;
    format.wFormatTag = read16("wFormatTag", base.wFormatTag);
    format.nChannels = read16("nChannels", base.nChannels);
    format.nSamplesPerSec = read32("nSamplesPerSec", base.nSamplesPerSec);
    format.nAvgBytesPerSec = read32("nAvgBytesPerSec", base.nAvgBytesPerSec);
    format.nBlockAlign = read16("nBlockAlign", base.nBlockAlign);
    format.wBitsPerSample = read16("wBitsPerSample", base.wBitsPerSample);
    format.cbSize = read16("cbSize", base.cbSize);
    return format;
}

bool WriteFormat(TProfileFile& file, const char* section, const WAVEFORMATEX& format) {
    auto write32 = [&](const char* key, uint32_t value) {
        return file.WriteInteger(section, key, static_cast<int32_t>(value));
    };
    return file.WriteInteger(section, "wFormatTag", format.wFormatTag) &&
           file.WriteInteger(section, "nChannels", format.nChannels) &&
           write32("nSamplesPerSec", format.nSamplesPerSec) &&
           write32("nAvgBytesPerSec", format.nAvgBytesPerSec) &&
           file.WriteInteger(section, "nBlockAlign", format.nBlockAlign) &&
           file.WriteInteger(section, "wBitsPerSample", format.wBitsPerSample) &&
           file.WriteInteger(section, "cbSize", format.cbSize);
}

} // namespace

bool TRecentFiles::Remember(const std::string& path) {
    if (path.find_first_of("\r\n") != std::string::npos) return false;
    for (const std::string& known : paths_) {
        if (SameText(known, path)) return false;
    }
    if (paths_.size() >= kMaxRecentFiles) {
        paths_.pop_back();
        paths_.insert(paths_.begin(), path);
    } else {
        paths_.push_back(path);
    }
    return true;
}

std::vector<std::string> TRecentFiles::MenuCaptions() const {
    std::vector<std::string> captions;
    for (std::size_t i = 0; i < paths_.size(); ++i)
        captions.push_back(std::to_string(i + 1) + ". " + FileNameOf(paths_[i]));
    return captions;
}

std::string TRecentFiles::PathOfCaption(const std::string& caption) const {
    const std::size_t point = caption.find('.');
    if (point == std::string::npos) return "";
    std::size_t number = 0;
    bool anyDigit = false;
    for (std::size_t i = 0; i < point; ++i) {
        if (caption[i] < '0' || caption[i] > '9') continue; // "&" of the accelerator
        number = number * 10 + static_cast<std::size_t>(caption[i] - '0');
        anyDigit = true;
        if (number > kMaxRecentFiles) return "";
    }
    if (!anyDigit || number == 0 || number > paths_.size()) return "";
    return paths_[number - 1];
}

TStudioSettings DefaultStudioSettings() {
    TStudioSettings settings;
    settings.trackFolder = DefaultTracksFolder();
    return settings;
}

TStudioSettings ReadStudioSettings(TProfileFile& file) {
    TStudioSettings settings = DefaultStudioSettings();
    TProfileBatch snapshot(file); // one consistent view of the file for every read

    // Only the keys that exist are visited, so a huge hand-written NUMFILES costs nothing.
    const int32_t count = file.ReadInteger(kFiles, "NUMFILES", 0);
    std::vector<int32_t> numbers;
    for (const std::string& key : file.ReadSection(kFiles)) {
        const int32_t n = RecentFileNumber(key);
        if (n >= 1 && n <= count) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    for (const int32_t n : numbers) {
        const std::string path = file.ReadString(kFiles, RecentFileKey(n), "");
        if (FileExists(path)) settings.recentFiles.Remember(path);
    }

    settings.device = file.ReadString(kSound, "DEVICE", settings.device);
    settings.recorder = file.ReadInteger(kSound, "RECORDER", settings.recorder);
    settings.latencyCompensation =
        file.ReadBool(kSound, "LATENCYCOMPENSATION", settings.latencyCompensation);
    settings.latencyOffsetMs =
        std::clamp(file.ReadInteger(kSound, "LATENCYOFFSET", settings.latencyOffsetMs),
                   -kMaxLatencyOffsetMs, kMaxLatencyOffsetMs);

    settings.trackFormat = ReadFormat(file, kTrackFormat, settings.trackFormat);
    settings.trackLength = file.ReadString(kTrackFormat, "LENGTH", settings.trackLength);
    settings.trackFolder = file.ReadString(kTrackFormat, "FOLDER", settings.trackFolder);

    settings.outputFormat = ReadFormat(file, kOutputFormat, settings.outputFormat);
    snapshot.Commit();
    // The takes of this start are placed as the settings say from the first one on.
    SetRecordingLatency({settings.latencyCompensation, settings.latencyOffsetMs});
    return settings;
}

bool WriteStudioSettings(TProfileFile& file, const TStudioSettings& settings) {
    EnsureParentFolder(file.FileName()); // a failure shows in the write below
    TProfileBatch batch(file);
    const std::vector<std::string>& paths = settings.recentFiles.Paths();
    if (!file.WriteInteger(kFiles, "NUMFILES", static_cast<int32_t>(paths.size()))) return false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!file.WriteString(kFiles, RecentFileKey(i + 1), paths[i])) return false;
    }
    if (!file.WriteString(kSound, "DEVICE", settings.device) ||
        !file.WriteInteger(kSound, "RECORDER", settings.recorder) ||
        !WriteFormat(file, kTrackFormat, settings.trackFormat) ||
        !file.WriteString(kTrackFormat, "LENGTH", settings.trackLength) ||
        !file.WriteString(kTrackFormat, "FOLDER", settings.trackFolder) ||
        !WriteFormat(file, kOutputFormat, settings.outputFormat)) {
        return false;
    }
    // Written once they differ from their defaults; from then on kept in step.
    if ((!settings.latencyCompensation || file.ValueExists(kSound, "LATENCYCOMPENSATION")) &&
        !file.WriteBool(kSound, "LATENCYCOMPENSATION", settings.latencyCompensation))
        return false;
    if ((settings.latencyOffsetMs != 0 || file.ValueExists(kSound, "LATENCYOFFSET")) &&
        !file.WriteInteger(kSound, "LATENCYOFFSET", settings.latencyOffsetMs))
        return false;
    return batch.Commit();
}

std::string ReadOpenFolder(TProfileFile& file) {
    return file.ReadString(kOpen, "PATH", "");
}

bool WriteOpenFolder(TProfileFile& file, const std::string& chosenFilePath) {
    const std::size_t slash = chosenFilePath.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? "" : chosenFilePath.substr(0, slash + 1);
    EnsureParentFolder(file.FileName());
    return file.WriteString(kOpen, "PATH", folder);
}

bool ReadFirstChildMaximized(TProfileFile& file) {
    return file.ReadBool(kStudioForm, "MAXIMIZED", false);
}

bool WriteFirstChildMaximized(TProfileFile& file, bool maximized) {
    EnsureParentFolder(file.FileName());
    return file.WriteBool(kStudioForm, "MAXIMIZED", maximized);
}
