#include "track/RecoveryRecord.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "audio/WaveFile.h"
#include "platform/ProfileFile.h"
#include "platform/TempFiles.h"

namespace {

constexpr const char* kMain = "Recovery";
constexpr const char* kUndo = "Undo";
constexpr const char* kEnd = "End";
constexpr int32_t kVersion = 1;

// Values may hold any byte: backslash and control characters are written as escapes, so that
// no value can break its line or lose a trailing carriage return.
std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            char buffer[5];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescape(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            i += 1;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 &&
                   HexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// FNV-1a over the fields in a fixed order, each closed by a byte no escaped field holds.
uint32_t Checksum(const TRecoveryRecord& r) {
    uint32_t hash = 2166136261u;
    auto add = [&hash](const std::string& field) {
        for (unsigned char c : field)
            hash = (hash ^ c) * 16777619u;
        hash = (hash ^ '\n') * 16777619u;
    };
    add(std::to_string(kVersion));
    add(std::to_string(r.Pid));
    add(std::to_string(r.ProcessStart));
    add(r.UserFileName);
    add(std::to_string(r.StartOffset));
    add(r.WorkingState);
    add(std::to_string(r.Undo.size()));
    for (const TRecoveryUndoEntry& entry : r.Undo) {
        add(entry.StateFile);
        add(entry.Name);
    }
    add(r.PendingState);
    add(r.PendingName);
    add(std::to_string(r.PendingTakeStart));
    return hash;
}

std::string ChecksumText(const TRecoveryRecord& r) {
    char buffer[9];
    std::snprintf(buffer, sizeof buffer, "%08X", Checksum(r));
    return buffer;
}

bool ParseUnsigned(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

std::string ErrnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

bool IsRecordName(const std::string& name) {
    if (name.size() != 15 || name.compare(0, 3, "WAV") != 0 || name.compare(11, 4, ".REC") != 0)
        return false;
    return std::all_of(name.begin() + 3, name.begin() + 11,
                       [](char c) { return HexDigit(c) >= 0; });
}

// The file a new version of the record is written to before it is renamed over the record.
std::string PendingName(const std::string& recordPath) {
    return recordPath + ".NEW";
}

bool RemoveIfPresent(const std::string& path, std::string& error) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    error = ErrnoText("Cannot delete " + path, errno);
    return false;
}

} // namespace

uint64_t ProcessStartTime(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!in || !std::getline(in, line)) return 0;
    // The command name in parentheses may hold blanks and ")": the fields follow the last ")".
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    // After the name: state (field 3) ... starttime (field 22).
    for (int index = 3; index <= 22; ++index)
        if (!(fields >> field)) return 0;
    uint64_t start = 0;
    return ParseUnsigned(field, start) ? start : 0;
}

namespace {

std::string RecordText(const TRecoveryRecord& record) {
    std::string text =
        std::string("[") + kMain + "]\nVersion=" + std::to_string(kVersion) +
        "\nPid=" + std::to_string(record.Pid) + "\nStarted=" + std::to_string(record.ProcessStart) +
        "\nUserFile=" + Escape(record.UserFileName) +
        "\nStartOffset=" + std::to_string(record.StartOffset) +
        "\nState=" + Escape(record.WorkingState) + "\nPending=" + Escape(record.PendingState) +
        "\nPendingName=" + Escape(record.PendingName) +
        "\nTakeStart=" + std::to_string(record.PendingTakeStart) + "\n[" + kUndo +
        "]\nCount=" + std::to_string(record.Undo.size()) + "\n";
    for (std::size_t i = 0; i < record.Undo.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        text += "File" + n + "=" + Escape(record.Undo[i].StateFile) + "\nName" + n + "=" +
                Escape(record.Undo[i].Name) + "\n";
    }
    // The checksum comes last, so a record cut anywhere loses or breaks it.
    text += std::string("[") + kEnd + "]\nSum=" + ChecksumText(record) + "\n";
    return text;
}

// Gives the written file a name (a nameless one through its descriptor, else by its own
// name); fails with EEXIST when the name is taken.
bool LinkWritten(int fd, const std::string& written, const std::string& path) {
    if (!written.empty()) return ::link(written.c_str(), path.c_str()) == 0;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

std::string NewRecordName(const std::string& folder) {
    char name[16];
    std::snprintf(name, sizeof name, "WAV%08X.REC", static_cast<unsigned>(NextTempNumber()));
    return (folder == "/" ? std::string() : folder) + "/" + name;
}

} // namespace

bool WriteRecoveryRecord(const std::string& folder, TRecoveryRecord& record, std::string& error) {
    if (record.Undo.size() > kMaxRecoveryUndoEntries) {
        error = "Too many undo entries for a recovery record";
        return false;
    }
    record.Pid = ::getpid();
    // Read once per process (a forked child has its own id and start): /proc costs more than
    // the rest of a write.
    static std::atomic<pid_t> cachedPid{0};
    static std::atomic<uint64_t> cachedStart{0};
    if (cachedPid.load() != record.Pid) {
        cachedStart.store(ProcessStartTime(record.Pid));
        cachedPid.store(record.Pid);
    }
    record.ProcessStart = cachedStart.load();
    const std::string text = RecordText(record);
    // The record is written whole into a file with no name and only then named: a writer
    // killed at any point leaves the old record, or the new one, never an empty or cut one
    // that nobody could tell the owner of.
    const std::string where = record.Path.empty() ? folder : FolderOf(record.Path);
    int fd = ::open(where.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    // A file system without nameless files: a hidden named one, which a kill may leave behind.
    std::string written;
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        fd = OpenSiblingTempFile(where + "/record", 0600, written, error);
    if (fd < 0) {
        error = ErrnoText("Cannot write a recovery record in " + where, errno);
        return false;
    }
    bool ok = WriteAll(fd, text.data(), text.size());
    if (!ok) error = ErrnoText("Cannot write a recovery record in " + where, errno);
    if (ok && record.Path.empty()) {
        ok = false;
        for (int attempt = 0; attempt < 1000 && !ok; ++attempt) {
            const std::string path = NewRecordName(folder);
            if (LinkWritten(fd, written, path)) {
                record.Path = path;
                ok = true;
            } else if (errno != EEXIST) {
                error = ErrnoText("Cannot create a recovery record in " + folder, errno);
                break;
            }
        }
        if (!ok && error.empty()) error = "Cannot create a recovery record in " + folder;
    } else if (ok) {
        // Replaced through a fixed sibling (a rename cannot take a nameless file): a writer
        // killed between the two steps leaves it beside a whole record, removed with it.
        const std::string next = PendingName(record.Path);
        ::unlink(next.c_str());
        ok = LinkWritten(fd, written, next);
        if (ok && std::rename(next.c_str(), record.Path.c_str()) != 0) {
            ::unlink(next.c_str());
            ok = false;
        }
        if (!ok) error = ErrnoText("Cannot replace " + record.Path, errno);
    }
    ::close(fd);
    if (!written.empty()) ::unlink(written.c_str());
    return ok;
}

bool ReadRecoveryRecord(const std::string& path, TRecoveryRecord& record, std::string& error) {
    record = TRecoveryRecord{};
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = ErrnoText("Cannot read the recovery record " + path, errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxRecoveryRecordBytes) {
        error = "The recovery record " + path + " is not a plain file of a sensible size";
        return false;
    }
    const std::string damaged = "The recovery record " + path + " is damaged or incomplete";
    TProfileFile file(path);
    TProfileBatch batch(file); // one view of the file for every read below
    TRecoveryRecord r;
    r.Path = path;
    uint64_t started = 0;
    if (file.ReadInteger(kMain, "Version", 0) != kVersion ||
        !ParseUnsigned(file.ReadString(kMain, "Started", ""), started)) {
        error = file.LastError().empty() ? damaged : file.LastError();
        return false;
    }
    r.ProcessStart = started;
    r.Pid = file.ReadInteger(kMain, "Pid", 0);
    const int32_t count = file.ReadInteger(kUndo, "Count", -1);
    bool ok =
        r.Pid > 0 && count >= 0 && static_cast<std::size_t>(count) <= kMaxRecoveryUndoEntries &&
        file.ValueExists(kMain, "StartOffset") &&
        Unescape(file.ReadString(kMain, "UserFile", ""), r.UserFileName) &&
        Unescape(file.ReadString(kMain, "State", ""), r.WorkingState) && !r.WorkingState.empty() &&
        Unescape(file.ReadString(kMain, "Pending", ""), r.PendingState) &&
        Unescape(file.ReadString(kMain, "PendingName", ""), r.PendingName);
    r.StartOffset = file.ReadInteger(kMain, "StartOffset", 0);
    r.PendingTakeStart = file.ReadInteger(kMain, "TakeStart", -1);
    for (int32_t i = 1; ok && i <= count; ++i) {
        const std::string n = std::to_string(i);
        TRecoveryUndoEntry entry;
        ok = file.ValueExists(kUndo, "File" + n) && file.ValueExists(kUndo, "Name" + n) &&
             Unescape(file.ReadString(kUndo, "File" + n, ""), entry.StateFile) &&
             Unescape(file.ReadString(kUndo, "Name" + n, ""), entry.Name) &&
             !entry.StateFile.empty();
        if (ok) r.Undo.push_back(std::move(entry));
    }
    if (!ok || file.ReadString(kEnd, "Sum", "") != ChecksumText(r)) {
        error = damaged;
        return false;
    }
    record = std::move(r);
    return true;
}

bool RemoveRecoveryRecord(const TRecoveryRecord& record, std::string& error) {
    return record.Path.empty() || (RemoveIfPresent(PendingName(record.Path), error) &&
                                   RemoveIfPresent(record.Path, error));
}

bool RecordWriterRuns(const TRecoveryRecord& record) {
    if (record.Pid <= 0) return false;
    if (::kill(record.Pid, 0) != 0 && errno == ESRCH) return false;
    // The id is alive (or cannot be asked): it is the writer unless it started at another time.
    if (record.ProcessStart == 0) return true;
    const uint64_t start = ProcessStartTime(record.Pid);
    return start == 0 || start == record.ProcessStart;
}

std::vector<TRecoveryOrphan> FindOrphanRecords(const std::string& folder) {
    std::vector<TRecoveryOrphan> orphans;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return orphans;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        if (IsRecordName(entry->d_name)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || st.st_uid != ::geteuid()) continue;
        TRecoveryOrphan orphan;
        std::string error;
        if (!ReadRecoveryRecord(path, orphan.Record, error) || RecordWriterRuns(orphan.Record))
            continue;
        std::vector<std::string> states{orphan.Record.WorkingState};
        for (const TRecoveryUndoEntry& entry : orphan.Record.Undo)
            states.push_back(entry.StateFile);
        for (const std::string& state : states) {
            struct stat stateStat {};
            if (::lstat(state.c_str(), &stateStat) == 0 && S_ISREG(stateStat.st_mode) &&
                std::find(orphan.ExistingStates.begin(), orphan.ExistingStates.end(), state) ==
                    orphan.ExistingStates.end())
                orphan.ExistingStates.push_back(state);
        }
        orphans.push_back(std::move(orphan));
    }
    return orphans;
}

bool DiscardOrphan(const TRecoveryRecord& record, std::string& error) {
    if (RecordWriterRuns(record)) {
        error = "The program that wrote " + record.Path + " is still running";
        return false;
    }
    std::vector<std::string> states{record.WorkingState, record.PendingState};
    for (const TRecoveryUndoEntry& entry : record.Undo)
        states.push_back(entry.StateFile);
    const std::string folder = FolderOf(record.Path);
    bool ok = true;
    for (const std::string& state : states) {
        // Only temporary states beside the record: a record never makes us delete a user's file.
        if (state.empty() || FolderOf(state) != folder || !IsTemporaryFile(state)) continue;
        ok = RemoveIfPresent(state, error) && ok;
        ok = RemoveIfPresent(PictureFileName(state), error) && ok;
    }
    return ok && RemoveRecoveryRecord(record, error);
}

bool OrphanHasUnsavedWork(const TRecoveryOrphan& orphan) {
    const TRecoveryRecord& r = orphan.Record;
    const auto exists = [&orphan](const std::string& state) {
        return std::find(orphan.ExistingStates.begin(), orphan.ExistingStates.end(), state) !=
               orphan.ExistingStates.end();
    };
    if (!exists(r.WorkingState)) return false;
    if (!r.Undo.empty()) return true;
    struct stat st {};
    return r.PendingTakeStart >= 0 && !r.PendingState.empty() &&
           ::lstat(r.PendingState.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_size > kWaveHeaderBytes + r.PendingTakeStart;
}

std::string RecoveryQuestion(const TRecoveryRecord& record) {
    const bool saved = !record.UserFileName.empty() && !IsTemporaryFile(record.UserFileName);
    return "Recover unsaved changes to " +
           (saved ? record.UserFileName : std::string("a new track (never saved)")) + "?";
}
