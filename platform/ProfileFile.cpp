#include "platform/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/TempFiles.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text, std::size_t begin, std::size_t end) {
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string Trim(const std::string& text) {
    return Trim(text, 0, text.size());
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

// Length of text without the CRs at its end (a lone CR before the line end, or the CR of a
// last line that has no LF).
std::size_t WithoutTrailingCr(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == '\r')
        --end;
    return end;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

std::string ErrnoText(const std::string& what, const std::string& path, int errorNumber) {
    return what + " " + path + ": " + std::strerror(errorNumber) + " (" +
           std::to_string(errorNumber) + ")";
}

void AddOnce(std::vector<std::string>& names, const std::string& name) {
    for (const std::string& known : names) {
        if (SameName(known, name)) return;
    }
    names.push_back(name);
}

constexpr char kBom[] = "\xEF\xBB\xBF";

// A file modified less than a timestamp tick ago may change again within the same tick, so that
// its next version can look unchanged: same inode number (numbers are reused once a write
// replaced the file), same size, same modification time. A time on a whole second suggests a
// file system that keeps seconds (some keep two); the others tick with the kernel's clock.
bool RecentlyModified(const timespec& mtime) {
    constexpr int64_t kSecondsTickNs = 3'000'000'000; // two-second stamps, and a margin
    constexpr int64_t kClockTickNs = 50'000'000;      // the slowest kernel clock ticks 10 ms
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t age = (static_cast<int64_t>(now.tv_sec) - mtime.tv_sec) * 1'000'000'000 +
                        (now.tv_nsec - mtime.tv_nsec);
    return age < (mtime.tv_nsec == 0 ? kSecondsTickNs : kClockTickNs);
}

} // namespace

bool TProfileFile::Snapshot::operator==(const Snapshot& other) const {
    return exists == other.exists && dev == other.dev && ino == other.ino && size == other.size &&
           mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec;
}

TProfileFile::TProfileFile(std::string path) : path_(std::move(path)) {}

TProfileFile::Line TProfileFile::ParseLine(std::string text, LineEnd end) {
    Line line;
    line.text = std::move(text);
    line.end = end;
    const std::string& t = line.text;
    const std::size_t visible = WithoutTrailingCr(t);
    std::size_t first = 0;
    while (first < visible && IsBlank(t[first]))
        ++first;
    if (first == visible || t[first] == ';') return line;
    if (t[first] == '[') {
        // The last "]" closes the name, so names holding "]" read back as written.
        const std::size_t close = t.rfind(']', visible - 1);
        if (close != std::string::npos && close > first) {
            line.kind = LineKind::Section;
            line.name = Trim(t, first + 1, close);
        }
        return line;
    }
    const std::size_t equals = t.find('=');
    if (equals == std::string::npos || equals >= visible) return line;
    std::string name = Trim(t, 0, equals);
    if (name.empty()) return line;
    line.kind = LineKind::Key;
    line.name = std::move(name);
    line.valueAt = equals + 1;
    return line;
}

std::string TProfileFile::ValueOf(const Line& line) {
    const std::size_t end = WithoutTrailingCr(line.text);
    return end > line.valueAt ? line.text.substr(line.valueAt, end - line.valueAt) : std::string();
}

bool TProfileFile::ParseInteger(const std::string& raw, int32_t& value) {
    const std::string text = Trim(raw);
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    uint64_t magnitude = 0;
    if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0 ||
        text.compare(i, 1, "$") == 0) {
        i += text[i] == '$' ? 1 : 2;
        if (i == text.size()) return false;
        for (; i < text.size(); ++i) {
            const char c = UpperAscii(text[i]);
            int digit;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                return false;
            }
            magnitude = magnitude * 16 + static_cast<uint64_t>(digit);
            if (magnitude > 0xFFFFFFFFull) return false;
        }
        if (negative) {
            if (magnitude > 0x80000000ull) return false;
            value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
        } else {
            // Up to 32 bits as a bit pattern, as colour values are commonly written.
            value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
        }
        return true;
    }
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > 0x80000000ull) return false;
    }
    if (negative) {
        value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
        return true;
    }
    if (magnitude > static_cast<uint64_t>(INT32_MAX)) return false;
    value = static_cast<int32_t>(magnitude);
    return true;
}

TProfileFile::Snapshot TProfileFile::SnapshotOf(const struct stat& st) {
    Snapshot snapshot;
    snapshot.exists = true;
    snapshot.dev = st.st_dev;
    snapshot.ino = st.st_ino;
    snapshot.size = st.st_size;
    snapshot.mtime = st.st_mtim;
    return snapshot;
}

TProfileFile::Snapshot TProfileFile::Stat() const {
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) return Snapshot{};
    return SnapshotOf(st);
}

bool TProfileFile::Load() {
    content_ = Lines{};
    loaded_ = Snapshot{};
    loadedOnce_ = true;
    unreadable_ = false;
    // O_NONBLOCK: a FIFO planted at the path must not hang the reader; it is refused below.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true; // a missing file reads as defaults
        unreadable_ = true;
        lastError_ = ErrnoText("Open", path_, errno);
        return false;
    }
    struct stat st;
    int statError = 0;
    if (::fstat(fd, &st) != 0) {
        statError = errno;
    } else if (!S_ISREG(st.st_mode)) {
        statError = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    if (statError != 0) {
        ::close(fd);
        unreadable_ = true;
        lastError_ = ErrnoText("Read", path_, statError);
        return false;
    }
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) continue;
            const int errorNumber = errno;
            ::close(fd);
            unreadable_ = true;
            lastError_ = ErrnoText("Read", path_, errorNumber);
            return false;
        }
        if (got == 0) break;
        data.append(block, static_cast<std::size_t>(got));
    }
    ::close(fd);

    std::size_t start = 0;
    if (data.compare(0, 3, kBom) == 0) {
        content_.bom = true;
        start = 3;
    }
    while (start < data.size()) {
        const std::size_t newline = data.find('\n', start);
        if (newline == std::string::npos) {
            content_.lines.push_back(ParseLine(data.substr(start), LineEnd::None));
            break;
        }
        std::size_t end = newline;
        LineEnd lineEnd = LineEnd::Lf;
        if (end > start && data[end - 1] == '\r') {
            --end;
            lineEnd = LineEnd::CrLf;
        }
        content_.lines.push_back(ParseLine(data.substr(start, end - start), lineEnd));
        start = newline + 1;
    }
    loaded_ = SnapshotOf(st);
    loadedRecently_ = RecentlyModified(st.st_mtim);
    return true;
}

void TProfileFile::Refresh() {
    if (batchPending_ || batchRefreshed_) return; // the batch works on its own copy
    if (batchDepth_ > 0) batchRefreshed_ = true;
    // A recent version is read again: comparing snapshots could miss a change within its tick.
    if (!loadedOnce_ || loadedRecently_ || !(Stat() == loaded_)) Load();
}

bool TProfileFile::EndBatch() {
    if (batchDepth_ == 0 || --batchDepth_ > 0) return true;
    batchRefreshed_ = false;
    const bool pending = batchPending_;
    const bool abandoned = batchAbandoned_;
    batchPending_ = batchAbandoned_ = false;
    if (!pending) return !abandoned;
    if (!abandoned && Write(content_)) return true;
    const std::string error = lastError_;
    Load();
    lastError_ = error;
    return false;
}

void TProfileFile::AbandonBatch() {
    if (batchDepth_ == 0) return;
    batchAbandoned_ = true;
    EndBatch();
}

long TProfileFile::FindSection(const Lines& lines, const std::string& section) {
    const std::string name = Trim(section);
    for (std::size_t i = 0; i < lines.lines.size(); ++i) {
        const Line& line = lines.lines[i];
        if (line.kind == LineKind::Section && SameName(line.name, name))
            return static_cast<long>(i);
    }
    return -1;
}

long TProfileFile::FindKey(const Lines& lines, long header, const std::string& key) {
    const std::string name = Trim(key);
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < lines.lines.size(); ++i) {
        const Line& line = lines.lines[i];
        if (line.kind == LineKind::Section) break;
        if (line.kind == LineKind::Key && SameName(line.name, name)) return static_cast<long>(i);
    }
    return -1;
}

TProfileFile::LineEnd TProfileFile::DefaultEnd(const Lines& lines) const {
    for (const Line& line : lines.lines) {
        if (line.end != LineEnd::None) return line.end;
    }
    return LineEnd::Lf;
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue) {
    Refresh();
    const long header = FindSection(content_, section);
    if (header < 0) return defaultValue;
    const long at = FindKey(content_, header, key);
    if (at < 0) return defaultValue;
    return ValueOf(content_.lines[static_cast<std::size_t>(at)]);
}

int32_t TProfileFile::ReadInteger(const std::string& section, const std::string& key,
                                  int32_t defaultValue) {
    Refresh();
    const long header = FindSection(content_, section);
    if (header < 0) return defaultValue;
    const long at = FindKey(content_, header, key);
    if (at < 0) return defaultValue;
    int32_t value;
    return ParseInteger(ValueOf(content_.lines[static_cast<std::size_t>(at)]), value)
               ? value
               : defaultValue;
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
    Refresh();
    const long header = FindSection(content_, section);
    if (header < 0) return defaultValue;
    const long at = FindKey(content_, header, key);
    if (at < 0) return defaultValue;
    int32_t value;
    return ParseInteger(ValueOf(content_.lines[static_cast<std::size_t>(at)]), value)
               ? value != 0
               : defaultValue;
}

std::vector<std::string> TProfileFile::ReadSection(const std::string& section) {
    Refresh();
    std::vector<std::string> names;
    const long header = FindSection(content_, section);
    if (header < 0) return names;
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < content_.lines.size(); ++i) {
        const Line& line = content_.lines[i];
        if (line.kind == LineKind::Section) break;
        if (line.kind == LineKind::Key) AddOnce(names, line.name);
    }
    return names;
}

std::vector<std::string> TProfileFile::ReadSections() {
    Refresh();
    std::vector<std::string> names;
    for (const Line& line : content_.lines) {
        if (line.kind == LineKind::Section) AddOnce(names, line.name);
    }
    return names;
}

bool TProfileFile::SectionExists(const std::string& section) {
    Refresh();
    return FindSection(content_, section) >= 0;
}

bool TProfileFile::ValueExists(const std::string& section, const std::string& key) {
    Refresh();
    const long header = FindSection(content_, section);
    return header >= 0 && FindKey(content_, header, key) >= 0;
}

bool TProfileFile::CanWrite() {
    Refresh();
    if (!unreadable_) return true;
    // lastError_ already says why the file could not be read; rewriting it now would
    // replace content this object never saw.
    Load();
    return !unreadable_;
}

bool TProfileFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
    const std::string sectionName = Trim(section);
    const std::string keyName = Trim(key);
    if (HasLineBreak(sectionName) || HasLineBreak(keyName) || HasLineBreak(value)) {
        lastError_ = "Line break in profile entry [" + sectionName + "] " + keyName;
        return false;
    }
    if (keyName.empty() || keyName.find('=') != std::string::npos || keyName[0] == ';' ||
        keyName[0] == '[') {
        lastError_ = "Invalid profile key name \"" + keyName + "\"";
        return false;
    }
    if (!CanWrite()) return false;

    Lines next = content_;
    const LineEnd newEnd = DefaultEnd(next);
    std::vector<Line>& lines = next.lines;
    const long header = FindSection(next, sectionName);
    if (header < 0) {
        if (!lines.empty() && lines.back().end == LineEnd::None) lines.back().end = newEnd;
        lines.push_back(ParseLine("[" + sectionName + "]", newEnd));
        lines.push_back(ParseLine(keyName + "=" + value, newEnd));
        return Commit(next);
    }
    const long at = FindKey(next, header, keyName);
    if (at >= 0) {
        Line& line = lines[static_cast<std::size_t>(at)];
        if (ValueOf(line) == value) return true;
        // Everything up to and including "=" stays as written.
        line = ParseLine(line.text.substr(0, line.valueAt) + value, line.end);
        return Commit(next);
    }
    std::size_t insertAt = static_cast<std::size_t>(header) + 1;
    for (std::size_t i = insertAt; i < lines.size() && lines[i].kind != LineKind::Section; ++i) {
        if (lines[i].kind == LineKind::Key) insertAt = i + 1;
    }
    if (lines[insertAt - 1].end == LineEnd::None) lines[insertAt - 1].end = newEnd;
    lines.insert(lines.begin() + static_cast<long>(insertAt),
                 ParseLine(keyName + "=" + value, newEnd));
    return Commit(next);
}

bool TProfileFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool TProfileFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TProfileFile::EraseSection(const std::string& section) {
    if (!CanWrite()) return false;
    if (FindSection(content_, section) < 0) return true;
    Lines next;
    next.bom = content_.bom;
    const std::string name = Trim(section);
    bool inErased = false;
    for (const Line& line : content_.lines) {
        if (line.kind == LineKind::Section) inErased = SameName(line.name, name);
        if (!inErased) next.lines.push_back(line);
    }
    return Commit(next);
}

bool TProfileFile::DeleteKey(const std::string& section, const std::string& key) {
    if (!CanWrite()) return false;
    const long header = FindSection(content_, section);
    if (header < 0 || FindKey(content_, header, key) < 0) return true;
    Lines next = content_;
    const std::string name = Trim(key);
    std::vector<Line>& lines = next.lines;
    std::size_t i = static_cast<std::size_t>(header) + 1;
    while (i < lines.size() && lines[i].kind != LineKind::Section) {
        if (lines[i].kind == LineKind::Key && SameName(lines[i].name, name)) {
            lines.erase(lines.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
    return Commit(next);
}

std::string TProfileFile::Render(const Lines& lines) const {
    std::size_t size = lines.bom ? 3 : 0;
    for (const Line& line : lines.lines)
        size += line.text.size() + 2;
    std::string data;
    data.reserve(size);
    if (lines.bom) data += kBom;
    for (const Line& line : lines.lines) {
        data += line.text;
        if (line.end == LineEnd::CrLf) data += "\r\n";
        if (line.end == LineEnd::Lf) data += '\n';
    }
    return data;
}

bool TProfileFile::Commit(const Lines& next) {
    if (batchDepth_ > 0) {
        content_ = next;
        batchPending_ = true;
        return true;
    }
    return Write(next);
}

bool TProfileFile::Write(const Lines& next) {
    // A symlinked profile stays a symlink: the file it points to is the one replaced.
    std::string target = path_;
    struct stat linkInfo;
    if (::lstat(path_.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (char* real = ::realpath(path_.c_str(), nullptr)) {
            target = real;
            std::free(real);
        } else {
            char link[PATH_MAX];
            const ssize_t length = ::readlink(path_.c_str(), link, sizeof link - 1);
            if (length <= 0) {
                lastError_ = ErrnoText("Resolve link", path_, errno ? errno : EINVAL);
                return false;
            }
            target.assign(link, static_cast<std::size_t>(length));
            if (target[0] != '/') target = FolderOf(path_) + "/" + target;
        }
    }

    struct stat old;
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    std::string tempPath;
    std::string error;
    // A new file gets the usual 0666 less the umask; a replaced one keeps its own bits.
    const int fd = OpenSiblingTempFile(target, replacing ? 0600 : 0666, tempPath, error);
    if (fd < 0) {
        lastError_ = error;
        return false;
    }
    TTempFileGuard guard(tempPath);
    const std::string data = Render(next);
    bool ok = true;
    if (replacing && ::fchmod(fd, old.st_mode & 07777) != 0) {
        lastError_ = ErrnoText("Set mode of", tempPath, errno);
        ok = false;
    }
    if (ok && !WriteAll(fd, data.data(), data.size())) {
        lastError_ = ErrnoText("Write", tempPath, errno);
        ok = false;
    }
    if (ok && !SyncFile(fd, error)) {
        lastError_ = error;
        ok = false;
    }
    // Our own version, even if another writer replaces it right after the rename.
    struct stat written;
    if (ok && ::fstat(fd, &written) != 0) {
        lastError_ = ErrnoText("Stat", tempPath, errno);
        ok = false;
    }
    if (::close(fd) != 0 && errno != EINTR && ok) {
        lastError_ = ErrnoText("Close", tempPath, errno);
        ok = false;
    }
    if (!ok) return false;
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        lastError_ = ErrnoText("Rename " + tempPath + " to", target, errno);
        return false;
    }
    guard.Release();
    content_ = next;
    loaded_ = SnapshotOf(written);
    loadedRecently_ = true;
    // The rename stands; syncing the folder only makes the new name survive a crash.
    const std::string folder = FolderOf(target);
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        const bool synced = ::fsync(dirFd) == 0 || errno == EINVAL || errno == ENOTSUP;
        if (!synced) lastError_ = ErrnoText("Sync folder", folder, errno);
        ::close(dirFd);
        return synced;
    }
    return true;
}
