#include "track/SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/TempFiles.h"

namespace {

std::atomic<int64_t> g_faultAfterBytes{-1};

std::string Reason(const std::string& target, int err) {
    return "Cannot save " + target + ": " + std::strerror(err);
}

} // namespace

// The process's file-creation mask, read without setting it: umask() can only be read by
// changing it, and a file another thread creates in between would get the wrong bits.
static mode_t CurrentUmask() {
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (status) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return static_cast<mode_t>(mask & 0777);
    }
    return 022; // the usual mask, where the kernel does not publish it
}

unsigned SaveFileMode(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    return 0666 & ~CurrentUmask();
}

namespace {

bool CopyIntoSibling(const std::string& source, const std::string& target, mode_t mode,
                     std::string& error) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = Reason(target, errno);
        return false;
    }
    std::string tempPath;
    std::string tempError;
    const int out = OpenSiblingTempFile(target, 0600, tempPath, tempError);
    if (out < 0) {
        ::close(in);
        error = "Cannot save " + target + ": " + tempError;
        return false;
    }
    TTempFileGuard guard(tempPath);
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kCopyBlockBytes]);
    int err = block ? 0 : ENOMEM;
    int64_t written = 0;
    const int64_t faultAt = g_faultAfterBytes.load();
    while (err == 0) {
        const ssize_t got = ::read(in, block.get(), kCopyBlockBytes);
        if (got < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        if (got == 0) break;
        if (faultAt >= 0 && written + got > faultAt) {
            err = ENOSPC;
            break;
        }
        if (!WriteAll(out, block.get(), static_cast<std::size_t>(got))) {
            err = errno;
            break;
        }
        written += got;
    }
    ::close(in);
    std::string syncError;
    if (err == 0 && ::fchmod(out, mode) != 0) err = errno;
    if (err == 0 && !SyncFile(out, syncError)) err = errno ? errno : EIO;
    if (::close(out) != 0 && err == 0) err = errno;
    if (err != 0) {
        error = Reason(target, err);
        return false;
    }
    std::string replaceError;
    if (!ReplaceFile(tempPath, target, replaceError)) {
        error = "Cannot save " + target + ": " + replaceError;
        return false;
    }
    guard.Release();
    return true;
}

} // namespace

void SetSaveFaultForTesting(int64_t failAfterBytes) {
    g_faultAfterBytes = failAfterBytes;
}

bool SaveFileOver(const std::string& source, const std::string& target, bool mayMoveSource,
                  std::string& error) {
    const mode_t mode = static_cast<mode_t>(SaveFileMode(target));
    if (mayMoveSource && g_faultAfterBytes.load() < 0) {
        std::string ignored;
        if (::chmod(source.c_str(), mode) == 0 && SyncFile(source, ignored)) {
            std::string replaceError;
            if (ReplaceFile(source, target, replaceError)) return true;
        }
        // Another file system (EXDEV) or a refused rename: copy instead.
    }
    return CopyIntoSibling(source, target, mode, error);
}
