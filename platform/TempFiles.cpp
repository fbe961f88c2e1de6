#include "platform/TempFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::string ErrnoText(const std::string& what, const std::string& path, int errorNumber) {
    return what + " " + path + ": " + std::strerror(errorNumber) + " (" +
           std::to_string(errorNumber) + ")";
}

std::string Hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

bool CloseChecked(int fd) {
    // A close interrupted by a signal has still released the descriptor on Linux; retrying
    // could close a descriptor another thread has just opened.
    return ::close(fd) == 0 || errno == EINTR;
}

} // namespace

uint32_t NextTempNumber() {
    static const uint64_t seed = [] {
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) ^ device() ^
               (static_cast<uint64_t>(::getpid()) << 16);
    }();
    static std::atomic<uint64_t> counter{0};
    // splitmix64 of seed + n: a bijection of n, so one process never repeats a number within
    // 2^64 calls before truncation, and the truncated values look random to other processes.
    uint64_t z = seed + counter.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>(z ^ (z >> 31));
}

int CreateUniqueFile(const std::string& folder, const std::string& prefix,
                     const std::string& suffix, mode_t mode,
                     const std::function<uint32_t()>& nextNumber, std::string& path,
                     int& errorNumber) {
    path.clear();
    errorNumber = EEXIST;
    const std::string base = folder == "/" ? std::string("/") : folder + "/";
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        const std::string candidate = base + prefix + Hex8(nextNumber()) + suffix;
        // O_EXCL never opens an existing name and, with O_CREAT, never follows a symlink
        // planted there; O_NOFOLLOW says the same for readers of this code.
        const int fd =
            ::open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            path = candidate;
            return fd;
        }
        errorNumber = errno;
        if (errorNumber != EEXIST && errorNumber != EINTR) return -1;
    }
    return -1;
}

std::string TempFolder() {
    const char* env = std::getenv("TMPDIR");
    std::string folder = env && *env ? env : "/tmp";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string MakeTempFileName(std::string& error) {
    return MakeTempFileName(error, nullptr);
}

std::string MakeTempFileName(std::string& error,
                             const std::function<void(const std::string&)>& beforeCreating) {
    std::string path;
    int errorNumber = 0;
    const std::string folder = TempFolder();
    const std::string base = folder == "/" ? std::string("/") : folder + "/";
    const auto next = [&]() -> uint32_t {
        const uint32_t number = NextTempNumber();
        if (beforeCreating) beforeCreating(base + "WAV" + Hex8(number) + ".TMP");
        return number;
    };
    const int fd = CreateUniqueFile(folder, "WAV", ".TMP", 0600, next, path, errorNumber);
    if (fd < 0) {
        error = "GetTempFileName " + std::to_string(errorNumber);
        return {};
    }
    if (!CloseChecked(fd)) {
        errorNumber = errno;
        ::unlink(path.c_str());
        error = "GetTempFileName " + std::to_string(errorNumber);
        return {};
    }
    return path;
}

bool IsTemporaryFile(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return false;
    const std::string ext = path.substr(dot);
    if (ext.size() != 4) return false;
    static const char kTmp[] = ".TMP";
    for (std::size_t i = 0; i < 4; ++i) {
        char c = ext[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kTmp[i]) return false;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    std::size_t end = slash;
    while (end > 0 && path[end - 1] == '/')
        --end;
    return end == 0 ? std::string("/") : path.substr(0, end);
}

int OpenSiblingTempFile(const std::string& targetPath, mode_t mode, std::string& tempPath,
                        std::string& error) {
    int errorNumber = 0;
    const std::string folder = FolderOf(targetPath);
    const int fd = CreateUniqueFile(folder, ".wavestack-", ".tmp", mode, NextTempNumber, tempPath,
                                    errorNumber);
    if (fd < 0) error = ErrnoText("Create temporary file in", folder, errorNumber);
    return fd;
}

std::string MakeSiblingTempFile(const std::string& targetPath, std::string& error) {
    std::string path;
    const int fd = OpenSiblingTempFile(targetPath, 0600, path, error);
    if (fd < 0) return {};
    if (!CloseChecked(fd)) {
        error = ErrnoText("Close", path, errno);
        ::unlink(path.c_str());
        return {};
    }
    return path;
}

bool SyncFile(int fd, std::string& error) {
    if (::fsync(fd) == 0) return true;
    error = ErrnoText("Sync", "descriptor " + std::to_string(fd), errno);
    return false;
}

bool SyncFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = ErrnoText("Open", path, errno);
        return false;
    }
    bool ok = ::fsync(fd) == 0;
    if (!ok) error = ErrnoText("Sync", path, errno);
    ::close(fd);
    return ok;
}

bool ReplaceFile(const std::string& tempPath, const std::string& targetPath, std::string& error) {
    if (::rename(tempPath.c_str(), targetPath.c_str()) != 0) {
        error = ErrnoText("Rename " + tempPath + " to", targetPath, errno);
        return false;
    }
    const std::string folder = FolderOf(targetPath);
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return true; // the rename stands; only its durability is unconfirmed
    bool ok = true;
    // Some file systems cannot sync a folder (EINVAL); the rename itself has still happened.
    if (::fsync(dirFd) != 0 && errno != EINVAL && errno != ENOTSUP) {
        error = ErrnoText("Sync folder", folder, errno);
        ok = false;
    }
    ::close(dirFd);
    return ok;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CopyFileContents(const std::string& src, const std::string& dst, std::string& error) {
    const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = ErrnoText("Open", src, errno);
        return false;
    }
    const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        error = ErrnoText("Create", dst, errno);
        ::close(in);
        return false;
    }
    std::vector<char> block(kCopyBlockBytes);
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, block.data(), block.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            error = ErrnoText("Read", src, errno);
            ok = false;
            break;
        }
        if (got == 0) break;
        if (!WriteAll(out, block.data(), static_cast<std::size_t>(got))) {
            error = ErrnoText("Write", dst, errno);
            ok = false;
            break;
        }
    }
    ::close(in);
    // Delayed write errors (NFS, quota) surface at close.
    if (!CloseChecked(out) && ok) {
        error = ErrnoText("Close", dst, errno);
        ok = false;
    }
    return ok;
}

TTempFileGuard::~TTempFileGuard() {
    if (!path_.empty()) ::unlink(path_.c_str());
}
