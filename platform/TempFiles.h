// Unique temporary files and the small file operations a safe save is built from: create a
// file exclusively beside its target, fill it, sync it, rename it over the target.
// All functions are safe to call from any thread; none of them throws.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Creates an empty file named "WAV" + 8 upper-case hexadecimal digits + ".TMP" in the folder
// named by $TMPDIR (default "/tmp"), exclusively (O_CREAT|O_EXCL, mode 0600), and returns its
// full path. A name already taken by anything (file, folder, symlink) is skipped, never
// opened. On failure returns "" and sets `error` to "GetTempFileName " + the errno number.
std::string MakeTempFileName(std::string& error);
// As above, telling `beforeCreating` each name before it tries to create it, so that a
// recovery record can name a file before it exists (a kill can then leave no file unnamed).
std::string MakeTempFileName(std::string& error,
                             const std::function<void(const std::string&)>& beforeCreating);

// The folder MakeTempFileName creates its files in, without a trailing separator.
std::string TempFolder();

// True when the extension of the file-name part, upper-cased, is ".TMP".
bool IsTemporaryFile(const std::string& path);

// The cached waveform picture that lies beside a state file: the full path + "BMP".
inline std::string PictureFileName(const std::string& path) {
    return path + "BMP";
}

// The folder part of a path without the trailing separator: "/a/b.wav" -> "/a", "b.wav" ->
// ".", "/b.wav" -> "/".
std::string FolderOf(const std::string& path);

// Creates, exclusively, an empty hidden file ".wavestack-XXXXXXXX.tmp" in the folder of
// `targetPath` (so that a later rename over the target stays on one file system) and returns
// its open descriptor (O_WRONLY, close-on-exec) and its path. `mode` is filtered by the umask.
// On failure returns -1, leaves `tempPath` empty and sets `error`.
int OpenSiblingTempFile(const std::string& targetPath, mode_t mode, std::string& tempPath,
                        std::string& error);

// As OpenSiblingTempFile with mode 0600, closing the descriptor; returns the path or "".
std::string MakeSiblingTempFile(const std::string& targetPath, std::string& error);

// Flushes a file's data and size to the disk. False with `error` set on failure.
bool SyncFile(int fd, std::string& error);
bool SyncFile(const std::string& path, std::string& error);

// Renames `tempPath` over `targetPath` (atomic on one file system), then syncs the folder so
// the new name survives a crash. On failure the target is untouched and the temporary file is
// left for the caller to remove (it may still copy it instead, e.g. across file systems).
bool ReplaceFile(const std::string& tempPath, const std::string& targetPath, std::string& error);

// Copies the bytes of `src` into `dst` (created if missing, truncated otherwise) in blocks of
// kCopyBlockBytes, checking every read and write. Does not sync `dst`. False with `error` set
// on failure; `dst` may then hold part of the data.
inline constexpr std::size_t kCopyBlockBytes = 1 << 20;
bool CopyFileContents(const std::string& src, const std::string& dst, std::string& error);

// Writes all of `size` bytes, retrying short writes and interrupted calls. False on an error
// (errno is kept).
bool WriteAll(int fd, const void* data, std::size_t size);

// Removes a temporary file when it goes out of scope unless Release() was called, so an early
// return cannot leave one behind.
class TTempFileGuard {
  public:
    explicit TTempFileGuard(std::string path) : path_(std::move(path)) {}
    ~TTempFileGuard();
    TTempFileGuard(const TTempFileGuard&) = delete;
    TTempFileGuard& operator=(const TTempFileGuard&) = delete;

    const std::string& Path() const { return path_; }
    void Release() { path_.clear(); }

  private:
    std::string path_;
};

// The name search behind the functions above: tries folder + "/" + prefix + 8 upper-case hex
// digits of nextNumber() + suffix with O_CREAT|O_EXCL|O_WRONLY|O_NOFOLLOW until one is created
// or kMaxNameAttempts were taken. Returns the open descriptor and sets `path`, or returns -1
// with `errorNumber` set to the errno of the last attempt. Exposed so tests can choose names.
inline constexpr int kMaxNameAttempts = 10000;
int CreateUniqueFile(const std::string& folder, const std::string& prefix,
                     const std::string& suffix, mode_t mode,
                     const std::function<uint32_t()>& nextNumber, std::string& path,
                     int& errorNumber);

// The process-wide generator of name numbers: a random start mixed with a counter, so two
// calls never propose the same name and two processes rarely do.
uint32_t NextTempNumber();
